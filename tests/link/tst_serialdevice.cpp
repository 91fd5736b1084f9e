#include "link/serialdevices.h"
#include "link/serialtransport.h"
#include "rawpty.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace varo::link;

namespace {

// The serial flags of the device at `path`, when it has any (a real UART or USB adapter).
std::optional<int> serialFlags(const QString &path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    serial_struct serial{};
    const bool ok = ::ioctl(fd, TIOCGSERIAL, &serial) == 0;
    ::close(fd);
    return ok ? std::optional<int>(serial.flags) : std::nullopt;
}

void setLowLatencyFlag(const QString &path, bool on) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return;
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags = on ? serial.flags | ASYNC_LOW_LATENCY : serial.flags & ~ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &serial);
    }
    ::close(fd);
}

} // namespace

class TestSerialDevice : public QObject {
    Q_OBJECT
private slots:
    void pseudoTerminalRefusesLowLatencyAndWorks();
    void deviceWithTheSettingOpensAtLowLatency();
    void directReadsKeepOrderAndReportTheHangUp();
    void stableNameLeadsToTheDevice();
};

void TestSerialDevice::pseudoTerminalRefusesLowLatencyAndWorks() {
    RawPty pty;
    QVERIFY(pty.isValid());
    SerialTransport transport(pty.slavePath(), 115200);
    QSignalSpy opened(&transport, &Transport::opened);
    QSignalSpy failed(&transport, &Transport::failed);
    QSignalSpy received(&transport, &Transport::dataReceived);
    transport.open();
    QCOMPARE(opened.count(), 1);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(transport.lowLatency(), LowLatency::Refused);

    QVERIFY(transport.write("V\r"));
    QVERIFY(transport.flush());
    QCOMPARE(pty.readAtLeast(2), QByteArray("V\r"));
    QVERIFY(pty.write("OK\r"));
    QTRY_VERIFY(!received.isEmpty());
    QCOMPARE(received.first().first().toByteArray(), QByteArray("OK\r"));
}

void TestSerialDevice::deviceWithTheSettingOpensAtLowLatency() {
    // Only where this machine has a serial device that offers the setting and may be opened.
    QStringList candidates;
    for (const QString &pattern :
         {QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*"), QStringLiteral("ttyS*")}) {
        for (const QString &name : QDir(QStringLiteral("/dev")).entryList({pattern}, QDir::System))
            candidates << QStringLiteral("/dev/") + name;
    }
    QString device;
    int flagsBefore = 0;
    for (const QString &path : std::as_const(candidates)) {
        if (const std::optional<int> flags = serialFlags(path)) {
            device = path;
            flagsBefore = *flags;
            break;
        }
    }
    if (device.isEmpty())
        QSKIP("no serial device here offers the low-latency setting");

    SerialTransport transport(device, 9600);
    QSignalSpy opened(&transport, &Transport::opened);
    transport.open();
    QCOMPARE(opened.count(), 1);
    const bool on = serialFlags(device).value_or(0) & ASYNC_LOW_LATENCY;
    QCOMPARE(transport.lowLatency() == LowLatency::On, on);
    QVERIFY(transport.write(QByteArray(1, '\r')));
    transport.close();
    setLowLatencyFlag(device, flagsBefore & ASYNC_LOW_LATENCY);
}

void TestSerialDevice::directReadsKeepOrderAndReportTheHangUp() {
    RawPty pty;
    QVERIFY(pty.isValid());
    SerialTransport transport(pty.slavePath(), 115200);
    QSignalSpy failed(&transport, &Transport::failed);
    QByteArray received;
    connect(&transport, &Transport::dataReceived, this,
            [&received](const QByteArray &bytes) { received += bytes; });
    transport.open();
    QVERIFY(transport.isOpen());
    QVERIFY(transport.readsDirectly());

    // More than one read takes, written in pieces while the transport reads.
    QByteArray sent;
    for (int i = 0; i < 50000; ++i)
        sent += char('0' + i % 75);
    for (qsizetype at = 0; at < sent.size(); at += 3000) {
        QVERIFY(pty.write(sent.mid(at, 3000)));
        QTest::qWait(1);
    }
    QTRY_COMPARE(received.size(), sent.size());
    QCOMPARE(received, sent);

    pty.closeMaster();
    QTRY_COMPARE(failed.count(), 1);
    QVERIFY(failed.first().first().toString().contains(QStringLiteral("stopped working")));
    QVERIFY(!transport.isOpen());
    QTest::qWait(50);
    QCOMPARE(failed.count(), 1);
}

void TestSerialDevice::stableNameLeadsToTheDevice() {
    RawPty first;
    RawPty second;
    QVERIFY(first.isValid() && second.isValid());
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString firstName = folder.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART_A1-if00"));
    QVERIFY(QFile::link(first.slavePath(), firstName));
    QVERIFY(QFile::link(QStringLiteral("/nonexistent/ttyUSB7"), folder.filePath("usb-gone")));

    QCOMPARE(stableDevicePath(first.slavePath(), folder.path()), firstName);
    QCOMPARE(stableDevicePath(second.slavePath(), folder.path()), QString());
    QCOMPARE(stableDevicePath(first.slavePath(), folder.filePath("absent")), QString());
}

QTEST_GUILESS_MAIN(TestSerialDevice)
#include "tst_serialdevice.moc"
