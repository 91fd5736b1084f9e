#include "epolldispatcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <utility>

namespace varo::common {

namespace {

constexpr qint64 kNsPerMs = 1'000'000;
constexpr int kMaxEvents = 256;

qint64 nowNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

struct Ready {
    int fd;
    quint32 events;
};

} // namespace

EpollDispatcher::EpollDispatcher(QObject *parent)
    : QAbstractEventDispatcher(parent) {
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = m_wake;
    if (m_epoll < 0 || m_wake < 0 || ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &event) != 0) {
        for (int *fd : {&m_epoll, &m_wake}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    }
}

EpollDispatcher::~EpollDispatcher() {
    for (const int fd : {m_epoll, m_wake}) {
        if (fd >= 0)
            ::close(fd);
    }
}

// --- Socket notifiers ----------------------------------------------------------------------

void EpollDispatcher::registerSocketNotifier(QSocketNotifier *notifier) {
    const int fd = int(notifier->socket());
    Watch &watch = m_watches[fd];
    switch (notifier->type()) {
    case QSocketNotifier::Read:
        watch.read = notifier;
        break;
    case QSocketNotifier::Write:
        watch.write = notifier;
        break;
    case QSocketNotifier::Exception:
        watch.exception = notifier;
        break;
    }
    updateWatch(fd);
}

void EpollDispatcher::unregisterSocketNotifier(QSocketNotifier *notifier) {
    const int fd = int(notifier->socket());
    const auto it = m_watches.find(fd);
    if (it == m_watches.end())
        return;
    for (QSocketNotifier **slot : {&it->read, &it->write, &it->exception}) {
        if (*slot == notifier)
            *slot = nullptr;
    }
    updateWatch(fd);
}

// Brings the kernel's interest in `fd` in line with its notifiers.
void EpollDispatcher::updateWatch(int fd) {
    const auto it = m_watches.find(fd);
    if (it == m_watches.end())
        return;
    Watch &watch = *it;
    quint32 mask = 0;
    if (watch.read)
        mask |= EPOLLIN;
    if (watch.write)
        mask |= EPOLLOUT;
    if (watch.exception)
        mask |= EPOLLPRI;
    if (mask == 0) {
        // The descriptor may be closed already, which removed it from the set.
        if (watch.mask != 0)
            ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
        m_watches.erase(it);
        return;
    }
    if (watch.polled || mask == watch.mask)
        return;
    epoll_event event{};
    event.events = mask;
    event.data.fd = fd;
    int op = watch.mask == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
    if (::epoll_ctl(m_epoll, op, fd, &event) != 0) {
        // A descriptor closed under its notifier and reused is new to the set (or still in
        // it when the other end of a dup stays open).
        if (errno == ENOENT || errno == EEXIST) {
            op = op == EPOLL_CTL_ADD ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
            if (::epoll_ctl(m_epoll, op, fd, &event) == 0) {
                watch.mask = mask;
                return;
            }
        }
        // epoll refuses regular files, which poll() reports as always ready.
        watch.polled = errno == EPERM;
        watch.mask = 0;
        return;
    }
    watch.mask = mask;
}

// Activates the notifiers of `fd` for `events`, looking each up again: an activation may
// remove or replace the others.
int EpollDispatcher::activateNotifiers(int fd, quint32 events) {
    int activated = 0;
    const auto activate = [this, fd, &activated](QSocketNotifier *Watch::*slot) {
        const auto it = m_watches.constFind(fd);
        if (it == m_watches.cend() || !((*it).*slot))
            return;
        QEvent event(QEvent::SockAct);
        QCoreApplication::sendEvent((*it).*slot, &event);
        ++activated;
    };
    if (events & (EPOLLIN | EPOLLHUP | EPOLLERR))
        activate(&Watch::read);
    if (events & (EPOLLOUT | EPOLLERR))
        activate(&Watch::write);
    if (events & EPOLLPRI)
        activate(&Watch::exception);
    return activated;
}

// --- Timers ----------------------------------------------------------------------------------

void EpollDispatcher::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                                    QObject *object) {
    const qint64 due = nowNs() + std::max<qint64>(0, interval) * kNsPerMs;
    m_timers.insert(timerId, {object, interval, timerType, due, false});
    m_due.emplace(due, timerId);
}

bool EpollDispatcher::unregisterTimer(int timerId) {
    const auto it = m_timers.find(timerId);
    if (it == m_timers.end())
        return false;
    auto [first, last] = m_due.equal_range(it->dueNs);
    for (; first != last; ++first) {
        if (first->second == timerId) {
            m_due.erase(first);
            break;
        }
    }
    m_timers.erase(it);
    return true;
}

bool EpollDispatcher::unregisterTimers(QObject *object) {
    QList<int> ids;
    for (auto it = m_timers.cbegin(); it != m_timers.cend(); ++it) {
        if (it->object == object)
            ids.append(it.key());
    }
    for (const int id : std::as_const(ids))
        unregisterTimer(id);
    return !ids.isEmpty();
}

QList<QAbstractEventDispatcher::TimerInfo>
EpollDispatcher::registeredTimers(QObject *object) const {
    QList<TimerInfo> timers;
    for (auto it = m_timers.cbegin(); it != m_timers.cend(); ++it) {
        if (it->object == object)
            timers.append({it.key(), int(it->intervalMs), it->type});
    }
    return timers;
}

int EpollDispatcher::remainingTime(int timerId) {
    const auto it = m_timers.constFind(timerId);
    if (it == m_timers.cend())
        return -1;
    const qint64 left = std::max<qint64>(0, it->dueNs - nowNs());
    return int((left + kNsPerMs - 1) / kNsPerMs);
}

// Fires every timer due now, each at most once a pass and never from inside its own
// timerEvent(). A repeating timer's next time counts from when it was due, so it keeps its
// rate; one that fell behind starts again from now.
int EpollDispatcher::activateTimers() {
    const qint64 now = nowNs();
    std::vector<int> due;
    for (auto it = m_due.cbegin(); it != m_due.cend() && it->first <= now; ++it)
        due.push_back(it->second);
    int fired = 0;
    for (const int id : due) {
        auto it = m_timers.find(id);
        if (it == m_timers.end() || it->firing || it->dueNs > now)
            continue;
        const qint64 interval = std::max<qint64>(0, it->intervalMs) * kNsPerMs;
        qint64 next = it->dueNs + interval;
        if (next <= now)
            next = now + interval;
        for (auto [first, last] = m_due.equal_range(it->dueNs); first != last; ++first) {
            if (first->second == id) {
                m_due.erase(first);
                break;
            }
        }
        it->dueNs = next;
        m_due.emplace(next, id);
        it->firing = true;
        QObject *object = it->object;
        QTimerEvent event(id);
        QCoreApplication::sendEvent(object, &event);
        ++fired;
        // The timer may be gone, or its id given to a new one, by now.
        if (const auto after = m_timers.find(id); after != m_timers.end())
            after->firing = false;
    }
    return fired;
}

// How long a pass may wait: until the next timer, or for ever (-1).
int EpollDispatcher::waitMs(bool includeTimers) const {
    if (!includeTimers || m_due.empty())
        return -1;
    const qint64 left = m_due.cbegin()->first - nowNs();
    if (left <= 0)
        return 0;
    return int(std::min<qint64>((left + kNsPerMs - 1) / kNsPerMs, std::numeric_limits<int>::max()));
}

// --- Passes ----------------------------------------------------------------------------------

void EpollDispatcher::wakeUp() {
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof one);
}

void EpollDispatcher::interrupt() {
    m_interrupted.storeRelaxed(1);
    wakeUp();
}

void EpollDispatcher::drainWake() {
    quint64 count = 0;
    [[maybe_unused]] const ssize_t got = ::read(m_wake, &count, sizeof count);
}

bool EpollDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags) {
    m_interrupted.storeRelaxed(0);
    emit awake();
    QCoreApplication::sendPostedEvents();

    const bool includeTimers = !(flags & QEventLoop::X11ExcludeTimers);
    const bool includeNotifiers = !(flags & QEventLoop::ExcludeSocketNotifiers);
    const bool mayWait = (flags & QEventLoop::WaitForMoreEvents) && !m_interrupted.loadRelaxed();
    if (mayWait)
        emit aboutToBlock();
    if (m_interrupted.loadRelaxed())
        return false;

    std::vector<Ready> ready;
    if (includeNotifiers) {
        for (auto it = m_watches.cbegin(); it != m_watches.cend(); ++it) {
            if (it->polled)
                ready.push_back({it.key(), EPOLLIN | EPOLLOUT});
        }
    }
    const int timeout = mayWait && ready.empty() ? waitMs(includeTimers) : 0;
    int handled = 0;
    if (includeNotifiers) {
        epoll_event events[kMaxEvents];
        const int count = ::epoll_wait(m_epoll, events, kMaxEvents, timeout);
        for (int i = 0; i < count; ++i) {
            if (events[i].data.fd == m_wake) {
                drainWake();
                ++handled;
            } else {
                ready.push_back({events[i].data.fd, events[i].events});
            }
        }
    } else {
        // Ready descriptors would end every wait at once: wait on the wake-up alone.
        pollfd wake{m_wake, POLLIN, 0};
        if (::poll(&wake, 1, timeout) > 0) {
            drainWake();
            ++handled;
        }
    }
    for (const Ready &entry : ready)
        handled += activateNotifiers(entry.fd, entry.events);
    if (includeTimers)
        handled += activateTimers();
    return handled > 0;
}

} // namespace varo::common
