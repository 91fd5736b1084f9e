#pragma once

#include <QString>

#include <atomic>
#include <thread>

namespace varo::bench {

// A serial line between the utility and the simulator's pseudo-terminal: in each direction a
// byte reaches the far end ten bit times after it was written, and no sooner than ten bit times
// after the byte before it. A byte crosses two pseudo-terminals on its way (writer to relay,
// relay to reader), and each hand-over costs a kernel work item and a wake-up, tens of
// microseconds on a busy machine: at 115,200 baud that is about as long as the byte itself. So
// the relay measures that cost when it starts and holds each byte only for what is left of its
// ten bit times; the spacing between bytes stays the line's. Likewise it sets its timer early
// by the measured overshoot of the machine's timer wake-ups. The simulator paces its own output
// as well (SimOptions::lineRateBaud), which only spaces its bytes the way this line already
// does. The utility opens utilityPath() as its serial device.
class PacedRelay {
public:
    PacedRelay(const QString &simulatorPath, int baud);
    ~PacedRelay();
    PacedRelay(const PacedRelay &) = delete;
    PacedRelay &operator=(const PacedRelay &) = delete;

    bool isValid() const { return m_master >= 0 && m_simulator >= 0; }
    QString utilityPath() const { return m_slavePath; }

    // Bytes carried so far: utility to simulator, and back.
    qint64 bytesUp() const { return m_up.load(); }
    qint64 bytesDown() const { return m_down.load(); }

    // What the relay takes off each byte's hold: the measured cost of one direction's two
    // pseudo-terminal hand-overs.
    long long handOverNs() const { return m_handOverNs; }
    // How early the relay sets its timer: the measured overshoot of a wait as long as a hold.
    long long wakeEarlyNs() const { return m_wakeEarlyNs; }

private:
    void run();

    int m_master = -1;    // our pseudo-terminal, whose slave the utility opens
    int m_heldSlave = -1; // keeps the master from hanging up while the utility has it closed
    int m_simulator = -1; // the slave of the simulator's pseudo-terminal
    int m_wake[2] = {-1, -1};
    QString m_slavePath;
    long long m_nsPerByte = 0;
    long long m_handOverNs = 0;
    long long m_wakeEarlyNs = 0;
    std::atomic<qint64> m_up{0};
    std::atomic<qint64> m_down{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace varo::bench
