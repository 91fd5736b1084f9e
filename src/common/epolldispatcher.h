#pragma once

#include <QAbstractEventDispatcher>
#include <QAtomicInt>
#include <QHash>

#include <map>
#include <vector>

namespace varo::common {

// An event dispatcher for Linux on epoll. Qt's own dispatchers hand the kernel every watched
// descriptor on every pass (poll), which costs a pass over all of them each time anything
// happens: with a thousand reader links open that scan is a quarter of the process's CPU. With
// epoll the kernel keeps the set and reports only what is ready.
//
// Timers, socket notifiers, posted events, wake-ups and interrupts behave as with Qt's
// dispatchers; timers fire at millisecond precision whatever their type. A descriptor epoll
// cannot watch (a regular file) reports ready on every pass, as poll() would. Install it
// before the application object exists: QCoreApplication::setEventDispatcher().
class EpollDispatcher : public QAbstractEventDispatcher {
    Q_OBJECT
public:
    explicit EpollDispatcher(QObject *parent = nullptr);
    ~EpollDispatcher() override;

    // False when the kernel refused epoll or eventfd; the dispatcher must not be used then.
    bool isValid() const { return m_epoll >= 0 && m_wake >= 0; }

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;

    void registerSocketNotifier(QSocketNotifier *notifier) override;
    void unregisterSocketNotifier(QSocketNotifier *notifier) override;

    void registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                       QObject *object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject *object) override;
    QList<TimerInfo> registeredTimers(QObject *object) const override;
    int remainingTime(int timerId) override;

    void wakeUp() override;
    void interrupt() override;

private:
    struct Watch {
        QSocketNotifier *read = nullptr;
        QSocketNotifier *write = nullptr;
        QSocketNotifier *exception = nullptr;
        quint32 mask = 0;    // what the kernel watches for; 0 when it is not in the set
        bool polled = false; // epoll refused it: reported ready on every pass
    };
    struct Timer {
        QObject *object = nullptr;
        qint64 intervalMs = 0;
        Qt::TimerType type = Qt::CoarseTimer;
        qint64 dueNs = 0;
        bool firing = false; // its timerEvent() is running: not fired again from inside it
    };

    void updateWatch(int fd);
    int waitMs(bool includeTimers) const;
    int activateTimers();
    int activateNotifiers(int fd, quint32 events);
    void drainWake();

    int m_epoll = -1;
    int m_wake = -1; // eventfd: wakeUp() and interrupt() from any thread
    QAtomicInt m_interrupted;
    QHash<int, Watch> m_watches;
    QHash<int, Timer> m_timers;
    std::multimap<qint64, int> m_due; // due time (ns) -> timer id
};

} // namespace varo::common
