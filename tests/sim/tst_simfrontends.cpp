#include "sim/readersimulator.h"
#include "sim/simpty.h"
#include "sim/simtcpserver.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using varo::sim::ReaderSimulator;
using varo::sim::SimPty;
using varo::sim::SimTcpServer;

namespace {

// Non-blocking read of whatever the slave side has.
QByteArray readFd(int fd) {
    QByteArray bytes;
    char buffer[256];
    ssize_t count = 0;
    while ((count = ::read(fd, buffer, sizeof buffer)) > 0) {
        bytes.append(buffer, count);
    }
    return bytes;
}

int openSlave(const QString &path) {
    return ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
}

} // namespace

class TestSimFrontends : public QObject {
    Q_OBJECT

private slots:
    void tcpServesOneClientAtATime();
    void tcpClosesOnFault();
    void ptyIsRawAndSurvivesReopen();
    void ptyMasterClose();
};

void TestSimFrontends::tcpServesOneClientAtATime() {
    ReaderSimulator sim;
    SimTcpServer server(&sim);
    QVERIFY(server.listen());
    QVERIFY(server.port() != 0);
    QSignalSpy connected(&server, &SimTcpServer::clientConnected);

    QTcpSocket first;
    first.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(first.waitForConnected(2000));
    QTRY_COMPARE(connected.count(), 1);
    QCOMPARE(first.peerAddress(), QHostAddress(QHostAddress::LocalHost));
    first.write("\r\rV\r");
    QByteArray reply;
    QTRY_COMPARE((reply += first.readAll()), QByteArray("VARO SIM V1.0\r"));

    // A second client replaces the first, and starts in line mode.
    first.write(QByteArray("\x00\x1b\x0d\x00\x1b\x0d*", 7));
    QTRY_COMPARE(sim.mode(), ReaderSimulator::Mode::Loopback);
    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(second.waitForConnected(2000));
    QTRY_COMPARE(first.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(sim.mode(), ReaderSimulator::Mode::Line);
    second.write("t\r");
    reply.clear();
    QTRY_COMPARE((reply += second.readAll()).size(), 13);
    QVERIFY(sim.received().startsWith("\r\rV\r"));
}

void TestSimFrontends::tcpClosesOnFault() {
    ReaderSimulator sim;
    sim.options().closeAfterCommands = 1;
    SimTcpServer server(&sim);
    QVERIFY(server.listen());
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(client.waitForConnected(2000));
    client.write("V\r");
    QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(client.readAll(), QByteArray("VARO SIM V1.0\r"));
    QVERIFY(!server.hasClient());

    // The server keeps listening.
    sim.options().closeAfterCommands = -1;
    QTcpSocket again;
    again.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(again.waitForConnected(2000));
    again.write("V\r");
    QByteArray reply;
    QTRY_COMPARE((reply += again.readAll()), QByteArray("VARO SIM V1.0\r"));
}

void TestSimFrontends::ptyIsRawAndSurvivesReopen() {
    ReaderSimulator sim;
    SimPty pty(&sim);
    QVERIFY(pty.open());
    QVERIFY(pty.slavePath().startsWith("/dev/"));
    QVERIFY(pty.masterFd() >= 0);

    int fd = openSlave(pty.slavePath());
    QVERIFY(fd >= 0);
    termios settings{};
    QCOMPARE(::tcgetattr(fd, &settings), 0);
    QCOMPARE(settings.c_lflag & (ECHO | ICANON), tcflag_t(0));
    QCOMPARE(settings.c_iflag & (ICRNL | IXON), tcflag_t(0));
    QCOMPARE(settings.c_oflag & OPOST, tcflag_t(0));

    QCOMPARE(::write(fd, "V\r", 2), ssize_t(2));
    QByteArray reply;
    QTRY_COMPARE((reply += readFd(fd)), QByteArray("VARO SIM V1.0\r"));

    // The utility closes the port and opens it again.
    QSignalSpy gone(&pty, &SimPty::peerGone);
    ::close(fd);
    QTRY_COMPARE(gone.count(), 1);
    fd = openSlave(pty.slavePath());
    QVERIFY(fd >= 0);
    const QByteArray loopback("\x00\x1b\x0d\x00\x1b\x0d*\x01\x0d\x0a", 10);
    QCOMPARE(::write(fd, loopback.constData(), size_t(loopback.size())), ssize_t(loopback.size()));
    reply.clear();
    QTRY_COMPARE((reply += readFd(fd)), QByteArray("\x01\x0d\x0a"));
    ::close(fd);
    QTRY_COMPARE(gone.count(), 2);
    QCOMPARE(sim.mode(), ReaderSimulator::Mode::Line);

    // A peer that opens the port again and only listens is served as well.
    fd = openSlave(pty.slavePath());
    QVERIFY(fd >= 0);
    QTest::qWait(150);
    sim.streamText("HELLO", 0);
    reply.clear();
    QTRY_COMPARE((reply += readFd(fd)), QByteArray("HELLO"));
    ::close(fd);
}

void TestSimFrontends::ptyMasterClose() {
    ReaderSimulator sim;
    sim.options().closeAfterCommands = 0;
    SimPty pty(&sim);
    QVERIFY(pty.open());
    const int fd = openSlave(pty.slavePath());
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "V\r", 2), ssize_t(2));
    QTRY_VERIFY(!pty.isOpen());
    char byte = 0;
    const ssize_t count = ::read(fd, &byte, 1);
    QVERIFY(count == 0 || (count < 0 && errno == EIO));
    ::close(fd);
}

QTEST_GUILESS_MAIN(TestSimFrontends)
#include "tst_simfrontends.moc"
