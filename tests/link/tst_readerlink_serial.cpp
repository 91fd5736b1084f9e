#include "link/readerlink.h"
#include "rawpty.h"
#include "support/fakelink.h"

#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

using namespace varo::link;
using namespace std::chrono_literals;

class TestReaderLinkSerial : public QObject {
    Q_OBJECT
private slots:
    void deviceMappingAndSettingsStrings();
    void framingOverAPseudoTerminal();
    void wakeupIsTwoSeparateCrs();
    void silentReaderTimesOut();
    void timedOutPartialReplyIsDropped();
    void vanishedPeerClosesTheDeviceAndLaterSendsFail();
    void missingDeviceStaysDisconnected();
    void busyDeviceStaysDisconnected();
    void sendWithoutLinkFails();

private:
    void connectTo(ReaderLink &link, RawPty &pty);
};

void TestReaderLinkSerial::connectTo(ReaderLink &link, RawPty &pty) {
    QVERIFY(pty.isValid());
    qputenv("VARO_COM3", pty.slavePath().toLocal8Bit());
    LinkSettings settings;
    settings.commPort = 3;
    settings.baudRate = 9600;
    link.setTimings({300ms, 1000ms});
    QSignalSpy finished(&link, &ReaderLink::connectFinished);
    QVERIFY(link.connectReader(settings));
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toBool(), true);
    QCOMPARE(link.status(), QStringLiteral("Connected"));
}

void TestReaderLinkSerial::deviceMappingAndSettingsStrings() {
    qunsetenv("VARO_COM5");
    QCOMPARE(serialDeviceForPort(5), QStringLiteral("/dev/ttyS4"));
    qputenv("VARO_COM5", "/dev/ttyUSB0");
    QCOMPARE(serialDeviceForPort(5), QStringLiteral("/dev/ttyUSB0"));
    LinkSettings settings;
    settings.commPort = 5;
    QCOMPARE(settings.serialDevicePath(), QStringLiteral("/dev/ttyUSB0"));
    settings.serialDevice = QStringLiteral("/dev/ttyACM1");
    QCOMPARE(settings.serialDevicePath(), QStringLiteral("/dev/ttyACM1"));
    qunsetenv("VARO_COM5");
    QCOMPARE(serialSettingsString(115200), QStringLiteral("115200,N,8,1"));
}

void TestReaderLinkSerial::framingOverAPseudoTerminal() {
    RawPty pty;
    ReaderLink link;
    connectTo(link, pty);

    // Leftovers of an earlier reply are dropped before the next command goes out.
    pty.write("\nstale");
    QTRY_COMPARE(link.pendingCount(), 6);
    QVERIFY(link.sendCommand(QByteArray("\x00U1", 3)));
    QCOMPARE(link.pendingCount(), 0);
    QCOMPARE(pty.readAtLeast(4), QByteArray("\x00U1\r", 4));

    QVERIFY(link.sendCommand("V"));
    QCOMPARE(pty.readAtLeast(2), QByteArray("V\r"));
    std::optional<ReplyResult> result;
    link.readReply(this, [&](const ReplyResult &r) { result = r; });
    pty.write("OK\r\nREST");
    QTRY_VERIFY(result.has_value());
    QVERIFY(result->ok());
    QCOMPARE(result->reply, QByteArray("OK"));
    QTRY_COMPARE(link.pendingCount(), 5);
    QCOMPARE(link.takePending(), QByteArray("\nREST"));
}

void TestReaderLinkSerial::wakeupIsTwoSeparateCrs() {
    // The device sees the two CRs...
    RawPty pty;
    ReaderLink link;
    connectTo(link, pty);
    QVERIFY(link.sendWakeup());
    QCOMPARE(pty.readAtLeast(2), QByteArray("\r\r"));

    // ...handed over as two writes in serial mode and as one over TCP.
    FakeLink serial(false);
    QVERIFY(serial.link.sendWakeup());
    QCOMPARE(serial.transport->writes, (QList<QByteArray>{"\r", "\r"}));
    FakeLink tcp(true);
    QVERIFY(tcp.link.sendWakeup());
    QCOMPARE(tcp.transport->writes, QList<QByteArray>{"\r\r"});
}

void TestReaderLinkSerial::silentReaderTimesOut() {
    RawPty pty;
    ReaderLink link;
    connectTo(link, pty);
    std::optional<ReplyResult> result;
    link.readReply(this, [&](const ReplyResult &r) { result = r; });
    QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 2000);
    QVERIFY(result->timedOut());
    QVERIFY(result->reply.isEmpty());
}

void TestReaderLinkSerial::timedOutPartialReplyIsDropped() {
    RawPty pty;
    ReaderLink link;
    connectTo(link, pty);
    std::optional<ReplyResult> result;
    link.readReply(this, [&](const ReplyResult &r) { result = r; });
    pty.write("PARTIAL");
    QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 2000);
    QVERIFY(result->timedOut());
    QCOMPARE(result->reply, QByteArray("PARTIAL"));
    // Gone with its exchange: neither the next reply nor a character-level reader sees it.
    QCOMPARE(link.pendingCount(), 0);
    result.reset();
    link.readReply(this, [&](const ReplyResult &r) { result = r; });
    pty.write("OK\r");
    QTRY_VERIFY(result.has_value());
    QCOMPARE(result->reply, QByteArray("OK"));
}

void TestReaderLinkSerial::vanishedPeerClosesTheDeviceAndLaterSendsFail() {
    auto pty = std::make_unique<RawPty>();
    ReaderLink link;
    connectTo(link, *pty);
    QSignalSpy errors(&link, &ReaderLink::linkErrorOccurred);
    pty.reset();
    QTRY_VERIFY_WITH_TIMEOUT(errors.count() >= 1, 3000);
    QTRY_VERIFY(!link.isTransportOpen());
    QTest::qWait(100);
    QCOMPARE(errors.count(), 1); // reported once, not in a loop
    QCOMPARE(link.state(), LinkState::Lost);
    QVERIFY(!link.sendCommand("V"));
    QVERIFY(link.sendFailed());
    QVERIFY(link.disconnectReader());
}

void TestReaderLinkSerial::missingDeviceStaysDisconnected() {
    qputenv("VARO_COM4", "/nonexistent/varo-device");
    ReaderLink link;
    LinkSettings settings;
    settings.commPort = 4;
    QSignalSpy finished(&link, &ReaderLink::connectFinished);
    QVERIFY(link.connectReader(settings));
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(link.status(), QStringLiteral("Disconnected"));
}

void TestReaderLinkSerial::busyDeviceStaysDisconnected() {
    RawPty pty;
    QVERIFY(pty.isValid());
    QSerialPort holder(pty.slavePath());
    QVERIFY(holder.open(QIODevice::ReadWrite));
    qputenv("VARO_COM6", pty.slavePath().toLocal8Bit());
    ReaderLink link;
    LinkSettings settings;
    settings.commPort = 6;
    QSignalSpy finished(&link, &ReaderLink::connectFinished);
    QVERIFY(link.connectReader(settings));
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(link.status(), QStringLiteral("Disconnected"));
}

void TestReaderLinkSerial::sendWithoutLinkFails() {
    ReaderLink link;
    QVERIFY(!link.sendCommand("V"));
    QVERIFY(link.sendFailed());
    QVERIFY(!link.sendWakeup());
    QVERIFY(link.sendFailed());
}

QTEST_GUILESS_MAIN(TestReaderLinkSerial)
#include "tst_readerlink_serial.moc"
