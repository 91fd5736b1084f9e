#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>

#include <chrono>

namespace varo::link {

// The time-out of one wait at a time, for waits that follow each other closely (an exchange,
// an echoed byte). Ending a wait does not stop the timer, and the next wait arms it only when
// it must fire sooner: a run of thousands of answered waits registers a timer once, not once
// per wait. Firing before the current wait's deadline, the timer is armed again for the rest;
// with no wait left it simply stops. Timeouts are never cut short.
class WaitTimeout : public QObject {
    Q_OBJECT
public:
    explicit WaitTimeout(QObject *parent = nullptr);

    // Starts a wait that expires `timeout` from now (0: at the next event-loop pass).
    void start(std::chrono::milliseconds timeout);
    // Ends the wait: expired() will not come for it.
    void cancel() { m_waiting = false; }
    bool isWaiting() const { return m_waiting; }

signals:
    // The current wait's deadline has passed; the wait is over.
    void expired();

private:
    void arm();
    void onTimer();

    QTimer m_timer;
    QDeadlineTimer m_deadline;
    QDeadlineTimer m_timerDue; // when the armed timer fires
    bool m_waiting = false;
};

} // namespace varo::link
