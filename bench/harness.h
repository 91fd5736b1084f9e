#pragma once

#include "rawclient.h"

#include <QEventLoop>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

namespace varo::link {
class ReaderLink;
}

namespace varo::bench {

class SimHost;

enum class Transport { Tcp, Pty };
QString transportName(Transport transport);

// Connects `link` to the simulator and waits until the simulator serves it; what the simulator
// received so far is forgotten. `ptyPath` replaces the simulator's own pseudo-terminal (a relay).
void connectLink(link::ReaderLink &link, SimHost &host, Transport transport,
                 const QString &ptyPath = {});
// The baseline's connection to the same simulator, served and with its recording cleared.
RawClient connectBaseline(SimHost &host, Transport transport, const QString &ptyPath = {});

// Lets the event loop run for `duration`.
void runEventsFor(std::chrono::milliseconds duration);
// Blocks the calling thread (baseline pauses).
void sleepFor(std::chrono::milliseconds duration);

// Waits, running the event loop, for one emission of a signal. Made before the operation
// starts, so an emission from inside the starting call is not missed.
class SignalWait {
public:
    template <typename Sender, typename Signal> SignalWait(const Sender *sender, Signal signal) {
        QObject::connect(sender, signal, &m_loop, [this] {
            m_fired = true;
            m_loop.quit();
        });
    }

    // Throws BenchError naming `what` when the signal has not come within `timeout`.
    void wait(std::chrono::milliseconds timeout, const char *what);

private:
    QEventLoop m_loop;
    bool m_fired = false;
};

// Thread CPU time of the calling thread, in seconds.
double threadCpuSeconds();
// Monotonic wall time in seconds.
double wallSeconds();

} // namespace varo::bench
