#pragma once

#include "sim/simoptions.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <type_traits>

namespace varo::sim {
class ReaderSimulator;
class SimPty;
class SimTcpServer;
} // namespace varo::sim

namespace varo::bench {

// The simulated reader on a thread of its own, served over 127.0.0.1 and a pseudo-terminal, so
// that the utility under test and the blocking baseline client both have the calling thread to
// themselves and neither pays for the simulator's work.
class SimHost {
public:
    explicit SimHost(const sim::SimOptions &options = {});
    ~SimHost();
    SimHost(const SimHost &) = delete;
    SimHost &operator=(const SimHost &) = delete;

    bool isValid() const { return m_tcpPort != 0 && !m_ptyPath.isEmpty(); }
    quint16 tcpPort() const { return m_tcpPort; }
    QString ptyPath() const { return m_ptyPath; }

    // TCP clients the server has accepted so far; a client is served once this has grown.
    int acceptedClients() const { return m_accepted.load(); }

    // Runs `f(simulator)` on the simulator's thread and returns its result.
    template <typename F> auto call(F &&f) -> std::invoke_result_t<F, sim::ReaderSimulator &> {
        using Result = std::invoke_result_t<F, sim::ReaderSimulator &>;
        if constexpr (std::is_void_v<Result>) {
            QMetaObject::invokeMethod(
                m_anchor, [&] { f(*m_sim); }, Qt::BlockingQueuedConnection);
        } else {
            Result result{};
            QMetaObject::invokeMethod(
                m_anchor, [&] { result = f(*m_sim); }, Qt::BlockingQueuedConnection);
            return result;
        }
    }

    // Forgets what was received and zeroes the fault counters; the link state is kept.
    void clearRecording();
    // Puts the simulator back in line mode with nothing to send, as a newly linked reader.
    // A client that follows another on the pseudo-terminal needs it: when the simulator's
    // thread is slow to see the last client's hang-up, the new one opens the terminal first,
    // the hang-up is never seen, and a loopback test left running would echo the next
    // client's start sequence.
    void startNewLink();
    QByteArray received();

private:
    QThread m_thread;
    QObject *m_anchor = nullptr;
    sim::ReaderSimulator *m_sim = nullptr;
    sim::SimTcpServer *m_server = nullptr;
    sim::SimPty *m_pty = nullptr;
    quint16 m_tcpPort = 0;
    QString m_ptyPath;
    std::atomic<int> m_accepted{0};
};

} // namespace varo::bench
