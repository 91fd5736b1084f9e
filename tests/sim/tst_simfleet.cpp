// Unplugging and re-plugging the simulator's front ends, and fleets of simulated readers.

#include "sim/readersimulator.h"
#include "sim/simfault.h"
#include "sim/simfleet.h"
#include "sim/simpty.h"
#include "sim/simtcpserver.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using varo::sim::FaultMode;
using varo::sim::ReaderSimulator;
using varo::sim::SimFleet;
using varo::sim::SimPty;
using varo::sim::SimTcpServer;

namespace {

const QByteArray kFirmwareReply = "VARO SIM V1.0\r";

QByteArray readFd(int fd) {
    QByteArray bytes;
    char buffer[256];
    ssize_t count = 0;
    while ((count = ::read(fd, buffer, sizeof buffer)) > 0) {
        bytes.append(buffer, count);
    }
    return bytes;
}

int openPath(const QString &path) {
    return ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
}

// Asks for the firmware identification over a slave descriptor and waits for the answer.
bool firmwareOverFd(int fd) {
    if (::write(fd, "\r\rV\r", 4) != 4) {
        return false;
    }
    QByteArray reply;
    for (int i = 0; i < 100 && reply != kFirmwareReply; ++i) {
        QTest::qWait(10);
        reply += readFd(fd);
    }
    return reply == kFirmwareReply;
}

bool firmwareOverTcp(QTcpSocket &socket) {
    socket.write("\r\rV\r");
    QByteArray reply;
    for (int i = 0; i < 100 && reply != kFirmwareReply; ++i) {
        QTest::qWait(10); // the simulator runs on this thread's event loop
        reply += socket.readAll();
    }
    return reply == kFirmwareReply;
}

// The slave of a closed master reports a hang-up.
bool hungUp(int fd) {
    pollfd probe{fd, POLLIN, 0};
    return ::poll(&probe, 1, 0) == 1 && (probe.revents & POLLHUP);
}

QAbstractSocket::SocketError connectError(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (socket.waitForConnected(2000)) {
        return QAbstractSocket::UnknownSocketError;
    }
    return socket.error();
}

} // namespace

class TestSimFleet : public QObject {
    Q_OBJECT

private slots:
    void ptyLinkFollowsEveryReplug();
    void ptyLinkNeverReplacesAFile_data();
    void ptyLinkNeverReplacesAFile();
    void tcpUnplugDropsClientAndRefuses();
    void readersKeepTheirOwnState();
    void readersListenOnConsecutivePorts();
    void faultyReaders_data();
    void faultyReaders();
    void faultyListParsing_data();
    void faultyListParsing();
    void unplugAndReplugOnSchedule();
    void controlLinesUnplugOneReader();
};

void TestSimFleet::ptyLinkFollowsEveryReplug() {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("reader"));
    ReaderSimulator sim;
    SimPty pty(&sim);
    QVERIFY(pty.setLinkPath(link));
    QVERIFY(pty.open());
    QCOMPARE(QFileInfo(link).symLinkTarget(), pty.slavePath());

    const int first = openPath(link);
    QVERIFY(first >= 0);
    QVERIFY(firmwareOverFd(first));
    const QString firstDevice = pty.slavePath();

    // Unplugged: the holder of the old device sees a hang-up and the stable path is gone.
    pty.closeMaster();
    QTRY_VERIFY(hungUp(first));
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(openPath(link) < 0);

    // Re-plugged while the old device is still held: a new device behind the same path.
    QVERIFY(pty.open());
    QVERIFY(pty.slavePath() != firstDevice);
    QCOMPARE(QFileInfo(link).symLinkTarget(), pty.slavePath());
    const int second = openPath(link);
    QVERIFY(second >= 0);
    QVERIFY(firmwareOverFd(second));
    QVERIFY(!QFile::exists(link + QStringLiteral(".new")));
    ::close(first);
    ::close(second);
}

void TestSimFleet::ptyLinkNeverReplacesAFile_data() {
    QTest::addColumn<QString>("placed"); // the name of what is already there, beside "notes"
    QTest::addColumn<bool>("asLink");    // a symbolic link to another file rather than a file
    QTest::newRow("a file at the path") << "notes" << false;
    QTest::newRow("a file at path.new") << "notes.new" << false;
    QTest::newRow("a link elsewhere at the path") << "notes" << true;
}

void TestSimFleet::ptyLinkNeverReplacesAFile() {
    QFETCH(QString, placed);
    QFETCH(bool, asLink);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("notes"));
    const QString kept = dir.filePath(QStringLiteral("kept"));
    QFile file(kept);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    const QString there = dir.filePath(placed);
    QVERIFY(asLink ? QFile::link(kept, there) : QFile::copy(kept, there));
    ReaderSimulator sim;
    SimPty pty(&sim);
    QVERIFY(!pty.setLinkPath(path));
    QVERIFY(pty.open());
    QFile again(there);
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll(), QByteArray("keep me"));
    QCOMPARE(QFileInfo(there).isSymLink(), asLink);
    if (asLink)
        QCOMPARE(QFileInfo(there).symLinkTarget(), kept);
}

void TestSimFleet::tcpUnplugDropsClientAndRefuses() {
    ReaderSimulator sim;
    SimTcpServer server(&sim);
    QVERIFY(server.listen());
    const quint16 port = server.port();
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(client.waitForConnected(2000));
    QVERIFY(firmwareOverTcp(client));

    QSignalSpy gone(&server, &SimTcpServer::clientDisconnected);
    server.unplug();
    QCOMPARE(gone.count(), 1);
    QVERIFY(!server.isListening());
    QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(connectError(port), QAbstractSocket::ConnectionRefusedError);
    QCOMPARE(server.port(), port);

    QVERIFY(server.replug());
    QCOMPARE(server.port(), port);
    QTcpSocket again;
    again.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(again.waitForConnected(2000));
    QVERIFY(firmwareOverTcp(again));
}

void TestSimFleet::readersKeepTheirOwnState() {
    SimFleet fleet({}, 3);
    QString error;
    QVERIFY2(fleet.listen(0, &error), qPrintable(error));
    QTcpSocket first;
    QTcpSocket third;
    first.connectToHost(QHostAddress::LocalHost, fleet.tcp(0)->port());
    third.connectToHost(QHostAddress::LocalHost, fleet.tcp(2)->port());
    QVERIFY(first.waitForConnected(2000));
    QVERIFY(third.waitForConnected(2000));

    first.write("\r\rlc\r"); // clears the first reader's memory only
    QByteArray cleared;
    QTRY_VERIFY((cleared += first.readAll()).contains("OK"));
    QVERIFY(firmwareOverTcp(third));

    QCOMPARE(fleet.reader(0)->remainingRecords(), 0);
    QCOMPARE(fleet.reader(1)->remainingRecords(), 5);
    QCOMPARE(fleet.reader(2)->remainingRecords(), 5);
    QCOMPARE(fleet.reader(0)->commands(), QList<QByteArray>{"lc"});
    QVERIFY(fleet.reader(1)->received().isEmpty());
    QCOMPARE(fleet.reader(2)->commands(), QList<QByteArray>{"V"});

    // Unplugging one reader leaves the others connected.
    fleet.unplug(0);
    QTRY_COMPARE(first.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(fleet.tcp(1)->isListening());
    QVERIFY(firmwareOverTcp(third));
}

void TestSimFleet::readersListenOnConsecutivePorts() {
    // Any free port as a base; the ports above it are usually free too.
    for (int attempt = 0; attempt < 5; ++attempt) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 base = probe.serverPort();
        probe.close();
        if (base > 65000) {
            continue;
        }
        SimFleet fleet({}, 4);
        QString error;
        if (!fleet.listen(base, &error)) {
            continue;
        }
        for (int i = 0; i < fleet.size(); ++i) {
            QCOMPARE(int(fleet.tcp(i)->port()), base + i);
        }
        return;
    }
    QSKIP("no four consecutive free ports found");
}

void TestSimFleet::faultyReaders_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("reply"); // to "V", from the faulty reader
    QTest::addColumn<bool>("connects");
    QTest::addColumn<bool>("staysConnected");
    QTest::newRow("silent") << "silent" << QByteArray() << true << true;
    QTest::newRow("close") << "close" << QByteArray() << true << false;
    QTest::newRow("empty") << "empty" << QByteArray("\r") << true << true;
    QTest::newRow("refuse") << "refuse" << QByteArray() << false << false;
}

void TestSimFleet::faultyReaders() {
    QFETCH(QString, mode);
    QFETCH(QByteArray, reply);
    QFETCH(bool, connects);
    QFETCH(bool, staysConnected);
    const auto fault = varo::sim::faultModeFromName(mode);
    QVERIFY(fault);
    SimFleet fleet({}, 3, {{1, *fault}});
    QString error;
    QVERIFY(fleet.listen(0, &error));
    QVERIFY(fleet.fault(1) == fault);
    QVERIFY(!fleet.fault(0));

    // The healthy neighbours answer either way.
    for (const int healthy : {0, 2}) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, fleet.tcp(healthy)->port());
        QVERIFY(socket.waitForConnected(2000));
        QVERIFY(firmwareOverTcp(socket));
    }

    if (!connects) {
        QCOMPARE(connectError(fleet.tcp(1)->port()), QAbstractSocket::ConnectionRefusedError);
        QVERIFY(fleet.replug()); // a refusing reader stays refusing
        QCOMPARE(connectError(fleet.tcp(1)->port()), QAbstractSocket::ConnectionRefusedError);
        return;
    }
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, fleet.tcp(1)->port());
    QVERIFY(socket.waitForConnected(2000));
    socket.write("\r\rV\r");
    QTest::qWait(300);
    QCOMPARE(socket.readAll(), reply);
    QCOMPARE(socket.state() == QAbstractSocket::ConnectedState, staysConnected);
}

void TestSimFleet::faultyListParsing_data() {
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("expected"); // "index:mode ..." or "error"
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("default mode") << "0,3"
                                  << "0:silent 3:silent";
    QTest::newRow("own modes") << "1:close, 2:refuse,3"
                               << "1:close 2:refuse 3:silent";
    QTest::newRow("past the last reader") << "4"
                                          << "error";
    QTest::newRow("negative") << "-1"
                              << "error";
    QTest::newRow("not a number") << "two"
                                  << "error";
    QTest::newRow("unknown mode") << "1:flaky"
                                  << "error";
}

void TestSimFleet::faultyListParsing() {
    QFETCH(QString, list);
    QFETCH(QString, expected);
    QString error;
    const auto parsed = varo::sim::parseFaultyReaders(list, 4, FaultMode::Silent, &error);
    if (expected == QLatin1String("error")) {
        QVERIFY(!parsed);
        QVERIFY(!error.isEmpty());
        return;
    }
    QVERIFY2(parsed, qPrintable(error));
    QStringList got;
    const QStringList names{"silent", "close", "empty", "refuse", "loader-nak"};
    for (auto it = parsed->modes.cbegin(); it != parsed->modes.cend(); ++it) {
        got.append(QStringLiteral("%1:%2").arg(it.key()).arg(names[int(it.value())]));
    }
    QCOMPARE(got.join(QLatin1Char(' ')), expected);
}

// The executable's schedule: unplugged at 300 ms, back at 600 ms, with the link re-pointed.
void TestSimFleet::unplugAndReplugOnSchedule() {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyVARO"));
    QProcess sim;
    sim.start(QStringLiteral(VARO_SIM_PATH),
              {QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--pty"),
               QStringLiteral("--pty-link"), link, QStringLiteral("--unplug-at"),
               QStringLiteral("300"), QStringLiteral("--replug-at"), QStringLiteral("600"),
               QStringLiteral("--reply-delay"), QStringLiteral("20")});
    QVERIFY(sim.waitForStarted(5000));
    QByteArray out;
    QTRY_VERIFY((out += sim.readAllStandardOutput()).contains("PTY "));
    const int held = openPath(link);
    QVERIFY(held >= 0);
    QTRY_VERIFY_WITH_TIMEOUT((out += sim.readAllStandardOutput()).contains("UNPLUGGED 0"), 3000);
    QVERIFY(hungUp(held));
    QTRY_VERIFY_WITH_TIMEOUT((out += sim.readAllStandardOutput()).contains("REPLUGGED 0 /dev/"),
                             3000);
    const QString device = QString::fromLocal8Bit(out.mid(out.indexOf("REPLUGGED 0 ") + 12))
                               .section(QLatin1Char('\n'), 0, 0);
    QCOMPARE(QFileInfo(link).symLinkTarget(), device);
    const int fd = openPath(link);
    QVERIFY(fd >= 0);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(firmwareOverFd(fd));
    QVERIFY(clock.elapsed() >= 20); // --reply-delay
    ::close(fd);
    ::close(held);
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QVERIFY(!QFileInfo(link).isSymLink());
}

// "unplug 1" on stdin takes reader 1 away and leaves reader 0 serving.
void TestSimFleet::controlLinesUnplugOneReader() {
    QProcess sim;
    sim.start(QStringLiteral(VARO_SIM_PATH),
              {QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--readers"),
               QStringLiteral("2"), QStringLiteral("--control")});
    QVERIFY(sim.waitForStarted(5000));
    QByteArray out;
    QTRY_COMPARE((out += sim.readAllStandardOutput()).count("TCP 127.0.0.1 "), 2);
    const QList<QByteArray> lines = out.split('\n');
    const auto port = [&lines](int index) {
        return quint16(lines[index].split(' ').last().toUInt());
    };

    sim.write("unplug 1\n");
    QTRY_VERIFY((out += sim.readAllStandardOutput()).contains("UNPLUGGED 1"));
    QCOMPARE(connectError(port(1)), QAbstractSocket::ConnectionRefusedError);
    QCOMPARE(connectError(port(0)), QAbstractSocket::UnknownSocketError); // connects

    sim.write("replug 1\n");
    QTRY_VERIFY((out += sim.readAllStandardOutput()).contains("REPLUGGED 1"));
    QVERIFY(!out.contains("REPLUGGED 0"));
    QCOMPARE(connectError(port(1)), QAbstractSocket::UnknownSocketError);

    sim.write("quit\n");
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestSimFleet)
#include "tst_simfleet.moc"
