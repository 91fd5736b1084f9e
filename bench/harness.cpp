#include "harness.h"

#include "simhost.h"

#include "link/readerlink.h"

#include <QElapsedTimer>

#include <thread>
#include <time.h>

namespace varo::bench {

namespace {

constexpr std::chrono::milliseconds kServeTimeout{5000};
// The simulator's pseudo-terminal looks for a reopened slave every 50 ms.
constexpr std::chrono::milliseconds kPtySettle{120};
constexpr int kBenchPort = 1;

void waitForAccept(SimHost &host, int before) {
    QElapsedTimer clock;
    clock.start();
    while (host.acceptedClients() == before) {
        if (clock.elapsed() > kServeTimeout.count())
            throw BenchError("the simulator did not accept the connection");
        runEventsFor(std::chrono::milliseconds(1));
    }
}

} // namespace

QString transportName(Transport transport) {
    return transport == Transport::Tcp ? QStringLiteral("tcp") : QStringLiteral("pty");
}

void connectLink(link::ReaderLink &link, SimHost &host, Transport transport,
                 const QString &ptyPath) {
    link::LinkSettings settings;
    const int accepted = host.acceptedClients();
    if (transport == Transport::Tcp) {
        settings.mode = link::LinkMode::Tcp;
        settings.host = QStringLiteral("127.0.0.1");
        settings.tcpPort = host.tcpPort();
    } else {
        settings.mode = link::LinkMode::Serial;
        settings.commPort = kBenchPort;
        settings.baudRate = 115200;
        qputenv("VARO_COM1", (ptyPath.isEmpty() ? host.ptyPath() : ptyPath).toLocal8Bit());
    }
    SignalWait connected(&link, &link::ReaderLink::connectFinished);
    if (!link.connectReader(settings))
        throw BenchError("the link refused to connect");
    if (!link.isConnected())
        connected.wait(kServeTimeout, "the link did not connect");
    if (!link.isConnected())
        throw BenchError("the link could not connect to the simulator");
    if (transport == Transport::Tcp)
        waitForAccept(host, accepted);
    else
        runEventsFor(kPtySettle);
    host.startNewLink();
    host.clearRecording();
}

RawClient connectBaseline(SimHost &host, Transport transport, const QString &ptyPath) {
    const int accepted = host.acceptedClients();
    RawClient client;
    if (transport == Transport::Tcp) {
        client = RawClient::connectTcp(host.tcpPort());
        QElapsedTimer clock;
        clock.start();
        while (host.acceptedClients() == accepted) {
            if (clock.elapsed() > kServeTimeout.count())
                throw BenchError("the simulator did not accept the baseline");
            sleepFor(std::chrono::milliseconds(1));
        }
    } else {
        client = RawClient::openPty(ptyPath.isEmpty() ? host.ptyPath() : ptyPath);
        sleepFor(kPtySettle);
    }
    host.startNewLink();
    host.clearRecording();
    return client;
}

void runEventsFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void sleepFor(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

void SignalWait::wait(std::chrono::milliseconds timeout, const char *what) {
    if (!m_fired) {
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, &m_loop, &QEventLoop::quit);
        watchdog.start(timeout);
        m_loop.exec();
    }
    if (!m_fired)
        throw BenchError(what);
    m_fired = false;
}

double threadCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double wallSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

} // namespace varo::bench
