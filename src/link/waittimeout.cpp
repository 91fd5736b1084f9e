#include "waittimeout.h"

namespace varo::link {

WaitTimeout::WaitTimeout(QObject *parent)
    : QObject(parent) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &WaitTimeout::onTimer);
}

void WaitTimeout::start(std::chrono::milliseconds timeout) {
    m_waiting = true;
    m_deadline = QDeadlineTimer(timeout, Qt::PreciseTimer);
    if (!m_timer.isActive() || m_deadline < m_timerDue)
        arm();
}

void WaitTimeout::arm() {
    m_timerDue = m_deadline;
    m_timer.start(std::chrono::milliseconds(m_deadline.remainingTime()));
}

void WaitTimeout::onTimer() {
    if (!m_waiting)
        return;
    if (!m_deadline.hasExpired()) {
        // Armed for an earlier wait that has since ended.
        arm();
        return;
    }
    m_waiting = false;
    emit expired();
}

} // namespace varo::link
