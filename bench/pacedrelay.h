#pragma once

#include <QString>

#include <atomic>
#include <thread>

namespace varo::bench {

// A serial line between the utility and the simulator's pseudo-terminal: in each direction a
// byte arrives when its ten bit times have passed, after the bytes before it. The simulator
// paces its own output as well (SimOptions::lineRateBaud), which only spaces its bytes the way
// this line already does. The utility opens utilityPath() as its serial device.
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

private:
    void run();

    int m_master = -1;    // our pseudo-terminal, whose slave the utility opens
    int m_heldSlave = -1; // keeps the master from hanging up while the utility has it closed
    int m_simulator = -1; // the slave of the simulator's pseudo-terminal
    int m_wake[2] = {-1, -1};
    QString m_slavePath;
    long long m_nsPerByte = 0;
    std::atomic<qint64> m_up{0};
    std::atomic<qint64> m_down{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace varo::bench
