#include "lifecycle.h"

#include "app/commform.h"
#include "link/readerlink.h"
#include "sim/readersimulator.h"
#include "sim/simpty.h"
#include "sim/simtcpserver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

#include <sys/resource.h>

namespace varo::bench {

namespace {

double threadCpu() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the event loop until `done` holds (looked at whenever the link's state changes) or
// `timeoutMs` passes.
template <typename Predicate> bool runUntil(link::ReaderLink &link, Predicate done, int timeoutMs) {
    if (done())
        return true;
    QEventLoop loop;
    QObject::connect(&link, &link::ReaderLink::stateChanged, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

void idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

ReplugTiming reconnectAfterReplug(Transport transport, int awayMs) {
    sim::ReaderSimulator simulator;
    std::unique_ptr<sim::SimTcpServer> tcp;
    std::unique_ptr<sim::SimPty> pty;
    QTemporaryDir dir;
    link::LinkSettings settings;
    if (transport == Transport::Tcp) {
        tcp = std::make_unique<sim::SimTcpServer>(&simulator);
        if (!tcp->listen())
            throw BenchError("cannot listen");
        settings.mode = link::LinkMode::Tcp;
        settings.host = QStringLiteral("127.0.0.1");
        settings.tcpPort = tcp->port();
    } else {
        pty = std::make_unique<sim::SimPty>(&simulator);
        if (!dir.isValid() || !pty->setLinkPath(dir.filePath(QStringLiteral("ttyVARO"))) ||
            !pty->open())
            throw BenchError("cannot open the pseudo-terminal");
        settings.serialDevice = pty->linkPath();
    }
    link::ReaderLink link;
    link.setAutoReconnect(true);
    link.connectReader(settings);
    const auto connected = [&] { return link.state() == link::LinkState::Connected; };
    if (!runUntil(link, connected, 3000))
        throw BenchError("cannot connect");

    if (tcp)
        tcp->unplug();
    else
        pty->closeMaster();
    if (!runUntil(
            link, [&] { return link.state() == link::LinkState::Reconnecting; }, 3000))
        throw BenchError("the loss was not seen");
    idle(awayMs);

    ReplugTiming timing;
    timing.step = link.nextRetryDelay();
    QElapsedTimer back;
    back.start();
    if (tcp ? !tcp->replug() : !pty->open())
        throw BenchError("cannot plug the reader back");
    if (!runUntil(link, connected, 10000))
        throw BenchError("no reconnect");
    timing.secondsToConnected = back.nsecsElapsed() / 1e9;
    link.disconnectReader();
    return timing;
}

double communicationsIdleCpu(double window) {
    link::ReaderLink link;
    app::CommForm form(&link);
    form.show();
    idle(200); // the first paint and the device scan are not idle time
    const double before = threadCpu();
    idle(int(window * 1000));
    return threadCpu() - before;
}

} // namespace varo::bench
