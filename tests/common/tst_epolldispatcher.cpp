#include "common/epolldispatcher.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <memory>

using varo::common::EpollDispatcher;

// Runs with the dispatcher installed for the main thread, as varo-cli does.
class TestEpollDispatcher : public QObject {
    Q_OBJECT
private slots:
    void isTheMainThreadsDispatcher();
    void timersFireOnTimeAndStopWhenKilled();
    void notifiersFollowTheirDescriptors();
    void regularFileIsAlwaysReady();
    void postedEventsAndOtherThreadsWakeTheWait();
    void tcpExchangeOnLoopback();
};

void TestEpollDispatcher::isTheMainThreadsDispatcher() {
    QVERIFY(qobject_cast<EpollDispatcher *>(QAbstractEventDispatcher::instance()));
}

void TestEpollDispatcher::timersFireOnTimeAndStopWhenKilled() {
    QElapsedTimer clock;
    clock.start();
    qint64 singleAt = -1;
    QTimer::singleShot(80, Qt::PreciseTimer, this, [&] { singleAt = clock.elapsed(); });
    QTimer repeating;
    int ticks = 0;
    connect(&repeating, &QTimer::timeout, this, [&] {
        if (++ticks == 5)
            repeating.stop();
    });
    repeating.start(10);
    QTimer zero;
    int zeroTicks = 0;
    connect(&zero, &QTimer::timeout, this, [&] {
        if (++zeroTicks == 3)
            zero.stop();
    });
    zero.start(0);
    QVERIFY(repeating.remainingTime() >= 0 && repeating.remainingTime() <= 10);
    QTRY_VERIFY(singleAt >= 0);
    QVERIFY2(singleAt >= 79, qPrintable(QString::number(singleAt)));
    QTest::qWait(60);
    QCOMPARE(ticks, 5);
    QCOMPARE(zeroTicks, 3);
    QVERIFY(!repeating.isActive());
}

void TestEpollDispatcher::notifiersFollowTheirDescriptors() {
    int pair[2];
    QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
    QSocketNotifier reader(pair[0], QSocketNotifier::Read);
    auto *writer = new QSocketNotifier(pair[0], QSocketNotifier::Write);
    int reads = 0;
    int writes = 0;
    connect(&reader, &QSocketNotifier::activated, this, [&] {
        char byte;
        if (::read(pair[0], &byte, 1) == 1)
            ++reads;
    });
    // A writable socket is ready at once; the notifier removes itself from inside its own
    // activation, and the read notifier on the same descriptor goes on.
    connect(writer, &QSocketNotifier::activated, this, [&] {
        ++writes;
        delete writer;
    });
    QTRY_COMPARE(writes, 1);
    QCOMPARE(::write(pair[1], "ab", 2), 2);
    QTRY_COMPARE(reads, 2);

    reader.setEnabled(false);
    QCOMPARE(::write(pair[1], "c", 1), 1);
    QTest::qWait(30);
    QCOMPARE(reads, 2);
    reader.setEnabled(true);
    QTRY_COMPARE(reads, 3);

    // The far end closing wakes the read notifier (a read of 0 bytes tells).
    ::close(pair[1]);
    bool hungUp = false;
    disconnect(&reader, nullptr, this, nullptr);
    connect(&reader, &QSocketNotifier::activated, this, [&] {
        char byte;
        hungUp = ::read(pair[0], &byte, 1) == 0;
        reader.setEnabled(false);
    });
    QTRY_VERIFY(hungUp);
    ::close(pair[0]);
}

void TestEpollDispatcher::regularFileIsAlwaysReady() {
    QTemporaryFile file;
    QVERIFY(file.open());
    QSocketNotifier notifier(file.handle(), QSocketNotifier::Read);
    int activations = 0;
    connect(&notifier, &QSocketNotifier::activated, this, [&] {
        if (++activations == 2)
            notifier.setEnabled(false);
    });
    QTRY_COMPARE(activations, 2);
}

void TestEpollDispatcher::postedEventsAndOtherThreadsWakeTheWait() {
    bool later = false;
    QMetaObject::invokeMethod(
        this, [&] { later = true; }, Qt::QueuedConnection);
    auto *doomed = new QObject;
    bool deleted = false;
    connect(doomed, &QObject::destroyed, this, [&] { deleted = true; });
    doomed->deleteLater();
    QTRY_VERIFY(later && deleted);

    // The only early end of the wait is the other thread's post; the timer is a safety net.
    QEventLoop loop;
    QTimer::singleShot(3000, &loop, &QEventLoop::quit);
    QThread *poster = QThread::create([&loop] {
        QThread::msleep(50);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    QElapsedTimer clock;
    clock.start();
    poster->start();
    loop.exec();
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    poster->wait();
    delete poster;
}

void TestEpollDispatcher::tcpExchangeOnLoopback() {
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.serverPort());
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *peer = server.nextPendingConnection();
    connect(peer, &QTcpSocket::readyRead, peer, [peer] { peer->write(peer->readAll()); });
    QTRY_COMPARE(client.state(), QAbstractSocket::ConnectedState);
    QByteArray echoed;
    connect(&client, &QTcpSocket::readyRead, this, [&] { echoed += client.readAll(); });
    client.write("V\r");
    QTRY_COMPARE(echoed, QByteArray("V\r"));
    peer->disconnectFromHost();
    QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
}

int main(int argc, char *argv[]) {
    auto dispatcher = std::make_unique<EpollDispatcher>();
    if (!dispatcher->isValid())
        return 1;
    QCoreApplication::setEventDispatcher(dispatcher.release());
    QCoreApplication app(argc, argv);
    TestEpollDispatcher test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_epolldispatcher.moc"
