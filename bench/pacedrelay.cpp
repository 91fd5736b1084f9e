#include "pacedrelay.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <limits>
#include <vector>

namespace varo::bench {

namespace {

long long nowNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

bool makeRaw(int fd) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return false;
    ::cfmakeraw(&settings);
    settings.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

void writeAll(int fd, const char *data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                pollfd entry{fd, POLLOUT, 0};
                ::poll(&entry, 1, 100);
                continue;
            }
            return; // the far end is gone; the run will report the failure
        }
        data += written;
        size -= std::size_t(written);
    }
}

// The median time for a byte to go to another thread and back through a pseudo-terminal pair:
// two hand-overs, as a byte takes through the relay in one direction.
long long measureHandOverNs() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    const char *name = nullptr;
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        !(name = ::ptsname(master))) {
        if (master >= 0)
            ::close(master);
        return 0;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0 || !makeRaw(slave)) {
        if (slave >= 0)
            ::close(slave);
        ::close(master);
        return 0;
    }
    constexpr int kTrips = 2001;
    const auto waitAndRead = [](int fd, char &byte) {
        pollfd entry{fd, POLLIN, 0};
        return ::poll(&entry, 1, 1000) == 1 && ::read(fd, &byte, 1) == 1;
    };
    std::thread echo([&] {
        char byte = 0;
        for (int i = 0; i < kTrips && waitAndRead(slave, byte); ++i)
            writeAll(slave, &byte, 1);
    });
    std::vector<long long> trips;
    trips.reserve(kTrips);
    char byte = 'x';
    for (int i = 0; i < kTrips; ++i) {
        const long long start = nowNs();
        writeAll(master, &byte, 1);
        if (!waitAndRead(master, byte))
            break;
        trips.push_back(nowNs() - start);
    }
    echo.join();
    ::close(slave);
    ::close(master);
    if (trips.empty())
        return 0;
    std::nth_element(trips.begin(), trips.begin() + trips.size() / 2, trips.end());
    return trips[trips.size() / 2];
}

// The median time by which a wait of `waitNs` overshoots: the machine's timer wake-up latency,
// tens of microseconds on a virtual machine.
long long measureWakeLatenessNs(long long waitNs) {
    if (waitNs <= 0)
        return 0;
    constexpr int kWaits = 501;
    std::vector<long long> late;
    late.reserve(kWaits);
    for (int i = 0; i < kWaits; ++i) {
        const timespec wait{time_t(waitNs / 1'000'000'000LL), long(waitNs % 1'000'000'000LL)};
        const long long start = nowNs();
        ::ppoll(nullptr, 0, &wait, nullptr);
        late.push_back(std::max(0LL, nowNs() - start - waitNs));
    }
    std::nth_element(late.begin(), late.begin() + late.size() / 2, late.end());
    return late[late.size() / 2];
}

} // namespace

PacedRelay::PacedRelay(const QString &simulatorPath, int baud)
    : m_nsPerByte(baud > 0 ? 10'000'000'000LL / baud : 0) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const char *name = nullptr;
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
        !(name = ::ptsname(m_master))) {
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    m_heldSlave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_heldSlave < 0 || !makeRaw(m_heldSlave))
        return;
    m_simulator =
        ::open(simulatorPath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_simulator < 0 || !makeRaw(m_simulator)) {
        if (m_simulator >= 0)
            ::close(m_simulator);
        m_simulator = -1;
        return;
    }
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    // Never more than the byte's own time: the line's spacing must hold.
    m_handOverNs = std::min(measureHandOverNs(), m_nsPerByte);
    {
        // Measured on this thread's timer slack, as the relay's thread will run.
        std::thread probe([this] {
            ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
            m_wakeEarlyNs = std::min(measureWakeLatenessNs(m_nsPerByte - m_handOverNs),
                                     m_nsPerByte - m_handOverNs);
        });
        probe.join();
    }
    m_thread = std::thread([this] { run(); });
}

PacedRelay::~PacedRelay() {
    if (m_thread.joinable()) {
        m_stop = true;
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(m_wake[1], &byte, 1);
        m_thread.join();
    }
    for (const int fd : {m_master, m_heldSlave, m_simulator, m_wake[0], m_wake[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

namespace {

// One direction of the line: bytes leave in order, each ten bit times after the one before it
// and, less what the hand-overs already took, after it was written.
class Direction {
public:
    Direction(long long nsPerByte, long long handOverNs)
        : m_nsPerByte(nsPerByte)
        , m_holdNs(nsPerByte - handOverNs) {}

    void take(const char *bytes, std::size_t count, long long now) {
        for (std::size_t i = 0; i < count; ++i) {
            m_lastDueNs = std::max(m_lastDueNs + m_nsPerByte, now + m_holdNs);
            m_queue.push_back({bytes[i], m_lastDueNs});
        }
    }

    // Writes every byte that is due by `now` to `fd`; returns how many.
    std::size_t deliver(int fd, long long now) {
        m_due.clear();
        while (!m_queue.empty() && m_queue.front().dueNs <= now) {
            m_due.push_back(m_queue.front().byte);
            m_queue.pop_front();
        }
        if (!m_due.empty())
            writeAll(fd, m_due.data(), m_due.size());
        return m_due.size();
    }

    // When the next byte is due; -1 when none waits.
    long long nextDueNs() const { return m_queue.empty() ? -1 : m_queue.front().dueNs; }

private:
    struct Queued {
        char byte;
        long long dueNs;
    };
    long long m_nsPerByte;
    long long m_holdNs;
    long long m_lastDueNs = std::numeric_limits<long long>::min() / 2;
    std::deque<Queued> m_queue;
    std::vector<char> m_due;
};

} // namespace

void PacedRelay::run() {
    // A byte at 115,200 baud lasts 87 us: wake-ups must not be pushed back by the default
    // 50 us timer slack.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    Direction up(m_nsPerByte, m_handOverNs);
    Direction down(m_nsPerByte, m_handOverNs);
    std::vector<char> chunk(4096);

    while (!m_stop) {
        // Woken up to m_wakeEarlyNs before a byte is due (the timer overshoots by about that
        // much), so bytes due within that margin go now.
        const long long now = nowNs() + m_wakeEarlyNs;
        m_up += qint64(up.deliver(m_simulator, now));
        m_down += qint64(down.deliver(m_master, now));

        pollfd entries[3] = {
            {m_master, POLLIN, 0}, {m_simulator, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        long long next = -1;
        for (const long long due : {up.nextDueNs(), down.nextDueNs()}) {
            if (due >= 0 && (next < 0 || due < next))
                next = due;
        }
        timespec timeout{};
        timespec *wait = nullptr;
        if (next >= 0) {
            const long long left = std::max(0LL, next - m_wakeEarlyNs - nowNs());
            timeout.tv_sec = time_t(left / 1'000'000'000LL);
            timeout.tv_nsec = long(left % 1'000'000'000LL);
            wait = &timeout;
        }
        if (::ppoll(entries, 3, wait, nullptr) < 0 && errno != EINTR)
            return;

        if (entries[0].revents & POLLIN) {
            const ssize_t got = ::read(m_master, chunk.data(), chunk.size());
            if (got > 0)
                up.take(chunk.data(), std::size_t(got), nowNs());
        }
        if (entries[1].revents & POLLIN) {
            const ssize_t got = ::read(m_simulator, chunk.data(), chunk.size());
            if (got > 0)
                down.take(chunk.data(), std::size_t(got), nowNs());
        }
    }
}

} // namespace varo::bench
