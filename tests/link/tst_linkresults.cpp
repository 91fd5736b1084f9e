#include "link/operation.h"
#include "link/readerlink.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <chrono>

using namespace varo::link;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(varo::link::ConnectFailure)
Q_DECLARE_METATYPE(varo::link::LinkSettings)
Q_DECLARE_METATYPE(varo::link::ResultCode)

namespace {

// A medium that never answers its open.
class SilentTransport : public Transport {
public:
    void open() override {}
    bool isOpen() const override { return false; }
    bool write(const QByteArray &) override { return false; }
    void close() override {}
};

// A port on 127.0.0.1 that nothing listens on.
quint16 closedPort() {
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

} // namespace

// How link ends and reply waits become results, and how a failed connect names its kind.
class TestLinkResults : public QObject {
    Q_OBJECT
private slots:
    void resultOfLinkEndAndReply_data();
    void resultOfLinkEndAndReply();
    void connectFailureHasItsKind_data();
    void connectFailureHasItsKind();
};

void TestLinkResults::resultOfLinkEndAndReply_data() {
    QTest::addColumn<int>("end"); // WaitEnd; -1 = a LinkEnd by the user, -2 = a LinkEnd by error
    QTest::addColumn<ResultCode>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("reply") << int(WaitEnd::Reply) << ResultCode::Ok << "";
    QTest::newRow("timeout") << int(WaitEnd::Timeout) << ResultCode::Timeout << "no answer";
    QTest::newRow("wait disconnected")
        << int(WaitEnd::Disconnected) << ResultCode::Disconnected << "Disconnected";
    QTest::newRow("wait link error")
        << int(WaitEnd::LinkError) << ResultCode::LinkError << "device gone";
    QTest::newRow("link disconnected") << -1 << ResultCode::Disconnected << "Disconnected";
    QTest::newRow("link broke") << -2 << ResultCode::LinkError << "device gone";
}

void TestLinkResults::resultOfLinkEndAndReply() {
    QFETCH(int, end);
    QFETCH(ResultCode, code);
    QFETCH(QString, message);
    const QString reason = QStringLiteral("device gone");
    OperationResult result;
    if (end == -1) {
        result = resultOf(LinkEnd{WaitEnd::Disconnected, {}});
    } else if (end == -2) {
        result = resultOf(LinkEnd{WaitEnd::LinkError, reason});
    } else {
        const WaitEnd why = WaitEnd(end);
        result = resultOf(ReplyResult{why, "PAR", why == WaitEnd::LinkError ? reason : QString()},
                          QStringLiteral("no answer"));
    }
    QCOMPARE(result.code, code);
    QCOMPARE(result.message, message);
}

void TestLinkResults::connectFailureHasItsKind_data() {
    QTest::addColumn<LinkSettings>("settings");
    QTest::addColumn<bool>("silent"); // the medium never answers its open
    QTest::addColumn<ConnectFailure>("kind");

    LinkSettings refused;
    refused.mode = LinkMode::Tcp;
    refused.host = QStringLiteral("127.0.0.1");
    refused.tcpPort = closedPort();
    QTest::newRow("refused") << refused << false << ConnectFailure::Refused;
    LinkSettings noPort = refused;
    noPort.tcpPort = 0;
    QTest::newRow("no port") << noPort << false << ConnectFailure::Other;
    LinkSettings noDevice;
    noDevice.serialDevice = QStringLiteral("/nonexistent/varo-tty");
    QTest::newRow("no such device") << noDevice << false << ConnectFailure::NoSuchDevice;
    QTest::newRow("timed out") << refused << true << ConnectFailure::TimedOut;
}

void TestLinkResults::connectFailureHasItsKind() {
    QFETCH(LinkSettings, settings);
    QFETCH(bool, silent);
    QFETCH(ConnectFailure, kind);
    ReaderLink link;
    link.setTimings({100ms, 100ms});
    if (silent)
        link.setTransportFactory(
            [](const LinkSettings &) { return std::make_unique<SilentTransport>(); });
    QSignalSpy finished(&link, &ReaderLink::connectFinished);
    QVERIFY(link.connectReader(settings));
    QVERIFY(!finished.isEmpty() || finished.wait(3000));
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(link.connectError().kind, kind);
    QVERIFY(!link.connectError().message.isEmpty());
    QCOMPARE(link.connectError().message, link.lastError());
    QCOMPARE(link.state(), LinkState::Disconnected);
}

QTEST_GUILESS_MAIN(TestLinkResults)
#include "tst_linkresults.moc"
