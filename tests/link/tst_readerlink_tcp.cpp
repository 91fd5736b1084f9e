#include "link/readerlink.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace varo::link;
using namespace std::chrono_literals;

// Plays the reader by hand on 127.0.0.1; connectLink() checks that it listens.
class Peer : public QObject {
public:
    Peer() {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            socket = server.nextPendingConnection();
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            connect(socket, &QTcpSocket::readyRead, this,
                    [this] { received += socket->readAll(); });
        });
    }
    void send(const QByteArray &bytes) {
        socket->write(bytes);
        socket->flush();
    }
    QTcpServer server;
    QTcpSocket *socket = nullptr;
    QByteArray received;
};

class TestReaderLinkTcp : public QObject {
    Q_OBJECT
private slots:
    void connectsAndRefusesASecondConnect();
    void commandAndWakeupBytes();
    void repliesFollowTheBlockRule();
    void earlierBytesLeadTheNextReply();
    void timesOutAfterTheReplyTimeout();
    void endlessLineIsBoundedAndFailsAsTimeout();
    void peerClosingMidReplyEndsTheWaitWithALinkError();
    void badSettingsAndRefusedConnectionStayDisconnected();
    void silentAddressGivesUpAfterTheConnectWindow();
    void oneReplyWaitAtATime();

private:
    void connectLink(ReaderLink &link, Peer &peer);
};

namespace {
LinkSettings tcpSettings(quint16 port, const QString &host = QStringLiteral("127.0.0.1")) {
    LinkSettings settings;
    settings.mode = LinkMode::Tcp;
    settings.host = host;
    settings.tcpPort = port;
    return settings;
}
} // namespace

void TestReaderLinkTcp::connectLink(ReaderLink &link, Peer &peer) {
    QVERIFY(peer.server.isListening());
    link.setTimings({300ms, 1000ms});
    QSignalSpy finished(&link, &ReaderLink::connectFinished);
    QVERIFY(
        link.connectReader(tcpSettings(peer.server.serverPort(), QStringLiteral(" 127.0.0.1 "))));
    QVERIFY(finished.wait(2000));
    QCOMPARE(finished.first().first().toBool(), true);
    QCOMPARE(link.status(), QStringLiteral("Connected"));
    QTRY_VERIFY(peer.socket != nullptr);
}

void TestReaderLinkTcp::connectsAndRefusesASecondConnect() {
    Peer peer;
    QStringList shown; // the status at each change: "Connected" only once the link is open
    ReaderLink link;
    QSignalSpy states(&link, &ReaderLink::stateChanged);
    connect(&link, &ReaderLink::stateChanged, this,
            [&shown](LinkState state) { shown << statusText(state); });
    connectLink(link, peer);
    QCOMPARE(states.count(), 2);
    QCOMPARE(states.at(0).first().value<LinkState>(), LinkState::Connecting);
    QCOMPARE(states.at(1).first().value<LinkState>(), LinkState::Connected);
    QCOMPARE(shown, QStringList({"Disconnected", "Connected"}));
    // "Disconnect first before connecting"; the open link keeps its settings.
    QVERIFY(!link.connectReader(LinkSettings{}));
    QCOMPARE(link.status(), QStringLiteral("Connected"));
    QVERIFY(link.settings().isTcp());
    QCOMPARE(link.settings().tcpPort, peer.server.serverPort());

    QVERIFY(link.disconnectReader());
    QCOMPARE(link.status(), QStringLiteral("Disconnected"));
    QCOMPARE(states.last().first().value<LinkState>(), LinkState::Disconnected);
    QVERIFY(!link.disconnectReader()); // "Already disconnected"
    QTRY_COMPARE(peer.socket->state(), QAbstractSocket::UnconnectedState);
}

void TestReaderLinkTcp::commandAndWakeupBytes() {
    Peer peer;
    ReaderLink link;
    connectLink(link, peer);
    QVERIFY(link.sendWakeup());
    QVERIFY(link.sendCommand("V"));
    QVERIFY(link.sendCommand(QByteArray("\x00U1", 3)));
    QTRY_COMPARE(peer.received, QByteArray("\r\rV\r\x00U1\r", 8));
    QVERIFY(!link.sendFailed());
}

void TestReaderLinkTcp::repliesFollowTheBlockRule() {
    Peer peer;
    ReaderLink link;
    connectLink(link, peer);

    std::optional<ReplyResult> result;
    QVERIFY(link.readReply(this, [&](const ReplyResult &r) { result = r; }));
    peer.send("O");
    QTest::qWait(30);
    QVERIFY(!result.has_value());
    peer.send("K\r");
    QTRY_VERIFY(result.has_value());
    QVERIFY(result->ok());
    QCOMPARE(result->reply, QByteArray("OK"));

    // A block ending in CR LF does not end the reply: the wait runs into its timeout.
    result.reset();
    QVERIFY(link.readReply(this, [&](const ReplyResult &r) { result = r; }));
    peer.send("OK\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 2000);
    QVERIFY(result->timedOut());
}

void TestReaderLinkTcp::earlierBytesLeadTheNextReply() {
    Peer peer;
    ReaderLink link;
    connectLink(link, peer);
    peer.send("xy");
    QTRY_COMPARE(link.pendingCount(), 2);
    QVERIFY(link.sendCommand("V")); // TCP keeps what is waiting
    std::optional<ReplyResult> result;
    link.readReply(this, [&](const ReplyResult &r) { result = r; });
    peer.send("FW1\r");
    QTRY_VERIFY(result.has_value());
    QCOMPARE(result->reply, QByteArray("xyFW1"));
}

void TestReaderLinkTcp::timesOutAfterTheReplyTimeout() {
    Peer peer;
    ReaderLink link;
    connectLink(link, peer);
    link.setTimings({200ms, 1000ms});
    std::optional<ReplyResult> result;
    QElapsedTimer clock;
    clock.start();
    link.readReply(this, [&](const ReplyResult &r) { result = r; });
    QTest::qWait(100);
    QVERIFY(!result.has_value());
    QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 2000);
    QVERIFY(result->timedOut());
    QVERIFY(clock.elapsed() >= 190);
    QVERIFY(clock.elapsed() < 1500);
}

void TestReaderLinkTcp::endlessLineIsBoundedAndFailsAsTimeout() {
    Peer peer;
    ReaderLink link;
    connectLink(link, peer);
    link.setTimings({5000ms, 1000ms});
    std::optional<ReplyResult> result;
    link.readReply(this, [&](const ReplyResult &r) { result = r; });
    peer.send(QByteArray(ReaderLink::kMaxReplyBytes * 4, 'A'));
    QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 3000);
    QVERIFY(result->timedOut());
    QVERIFY(result->reply.size() <= ReaderLink::kMaxReplyBytes);
    QTRY_VERIFY(link.pendingCount() <= ReaderLink::kMaxPendingBytes);
}

void TestReaderLinkTcp::peerClosingMidReplyEndsTheWaitWithALinkError() {
    Peer peer;
    ReaderLink link;
    connectLink(link, peer);
    link.setTimings({3000ms, 1000ms});
    QSignalSpy errors(&link, &ReaderLink::linkErrorOccurred);
    std::optional<ReplyResult> result;
    link.readReply(this, [&](const ReplyResult &r) { result = r; });
    peer.send("PART");
    peer.socket->disconnectFromHost();
    QTRY_VERIFY(result.has_value());
    QCOMPARE(result->end, WaitEnd::LinkError);
    QVERIFY(!result->linkError.isEmpty());
    QCOMPARE(result->reply, QByteArray("PART"));
    QCOMPARE(errors.count(), 1);
    // The link stays lost until the user disconnects; later writes fail with the reason.
    QCOMPARE(link.state(), LinkState::Lost);
    QVERIFY(link.status() != QStringLiteral("Connected"));
    QVERIFY(link.isConnected());
    QVERIFY(!link.sendCommand("V"));
    QVERIFY(link.sendFailed());
    QCOMPARE(link.lastError(), result->linkError);
    QVERIFY(!link.sendWakeup());
    QVERIFY(link.disconnectReader());
    QCOMPARE(link.state(), LinkState::Disconnected);
}

void TestReaderLinkTcp::badSettingsAndRefusedConnectionStayDisconnected() {
    ReaderLink link;
    const QStringList badPorts{QString(), QStringLiteral("abc"), QStringLiteral("0"),
                               QStringLiteral("70000")};
    for (const QString &port : badPorts)
        QCOMPARE(tcpPortFromText(port), quint16(0));
    QCOMPARE(tcpPortFromText(QStringLiteral(" 4001 ")), quint16(4001));
    for (const LinkSettings &bad : {tcpSettings(0), tcpSettings(4001, QStringLiteral("  "))}) {
        QSignalSpy finished(&link, &ReaderLink::connectFinished);
        QVERIFY(link.connectReader(bad));
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.first().first().toBool(), false);
        QCOMPARE(link.status(), QStringLiteral("Disconnected"));
    }

    // A port nobody listens on: refused at once, long before the window closes.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 closedPort = probe.serverPort();
    probe.close();
    link.setTimings({5000ms, 3000ms});
    QElapsedTimer clock;
    clock.start();
    QSignalSpy finished(&link, &ReaderLink::connectFinished);
    QVERIFY(link.connectReader(tcpSettings(closedPort)));
    QVERIFY(finished.wait(4000));
    QCOMPARE(finished.first().first().toBool(), false);
    QVERIFY(clock.elapsed() < 2000);
    QVERIFY(!link.sendCommand("V"));
}

void TestReaderLinkTcp::silentAddressGivesUpAfterTheConnectWindow() {
    // A loopback listener whose accept queue is full never completes further handshakes.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QVERIFY(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    QVERIFY(::listen(fd, 0) == 0);
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost(QHostAddress::LocalHost, ntohs(addr.sin_port));
    }
    QTest::qWait(200);

    ReaderLink link;
    link.setTimings({5000ms, 3000ms});
    QSignalSpy finished(&link, &ReaderLink::connectFinished);
    QElapsedTimer clock;
    clock.start();
    const LinkSettings silent = tcpSettings(ntohs(addr.sin_port));
    QVERIFY(link.connectReader(silent));
    QVERIFY(!link.connectReader(silent)); // an attempt is already running
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.first().first().toBool(), false);
    QVERIFY2(clock.elapsed() >= 2900 && clock.elapsed() < 4000,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(link.status(), QStringLiteral("Disconnected"));
    ::close(fd);
}

void TestReaderLinkTcp::oneReplyWaitAtATime() {
    Peer peer;
    ReaderLink link;
    connectLink(link, peer);
    int calls = 0;
    QVERIFY(link.readReply(this, [&](const ReplyResult &) { ++calls; }));
    QVERIFY(!link.readReply(this, [&](const ReplyResult &) { calls += 100; }));
    peer.send("A\r");
    QTRY_COMPARE(calls, 1);

    {
        const OperationClaim upload = link.claim(varo::link::Operation::Upload);
        QVERIFY(upload);
        QVERIFY(!link.claim(varo::link::Operation::ProgramReader));
        QCOMPARE(link.activeOperationName(), QStringLiteral("Upload Stored Data"));
    }
    QVERIFY(!link.isBusy());
}

QTEST_GUILESS_MAIN(TestReaderLinkTcp)
#include "tst_readerlink_tcp.moc"
