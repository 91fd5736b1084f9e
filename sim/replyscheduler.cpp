#include "sim/replyscheduler.h"

#include <algorithm>
#include <utility>

namespace varo::sim {

ReplyScheduler::ReplyScheduler(Emit send, Close close, LineRate rate)
    : m_emit(std::move(send))
    , m_close(std::move(close))
    , m_rate(std::move(rate)) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { pump(); });
    m_clock.start();
}

void ReplyScheduler::enqueue(const QByteArray &bytes, int delayMs, int pieceSize, int pieceGapMs) {
    if (bytes.isEmpty()) {
        return;
    }
    if (pieceSize <= 0 || pieceSize >= bytes.size()) {
        m_queue.append({bytes, std::max(0, delayMs), false});
    } else {
        for (qsizetype at = 0; at < bytes.size(); at += pieceSize) {
            m_queue.append(
                {bytes.mid(at, pieceSize), std::max(0, at == 0 ? delayMs : pieceGapMs), false});
        }
    }
    pump();
}

void ReplyScheduler::enqueueClose() {
    m_queue.append({{}, 0, true});
    pump();
}

void ReplyScheduler::clear() {
    m_queue.clear();
    m_timer.stop();
    m_paced = false;
}

qint64 ReplyScheduler::pending() const {
    qint64 total = 0;
    for (const Item &item : m_queue) {
        total += item.bytes.size();
    }
    return total;
}

void ReplyScheduler::pump() {
    // Emitting may reach back into the simulator (a front end closing the link clears the
    // queue); the outer call carries on with whatever is left.
    if (m_pumping || m_timer.isActive()) {
        return;
    }
    m_pumping = true;
    while (!m_queue.isEmpty() && !m_timer.isActive()) {
        Item &front = m_queue.first();
        if (front.delayMs > 0) {
            m_paced = false;
            m_timer.start(front.delayMs);
            front.delayMs = 0;
            break;
        }
        if (front.close) {
            m_queue.removeFirst();
            m_close();
            continue;
        }
        const int rate = m_rate();
        if (rate <= 0) {
            const QByteArray bytes = m_queue.takeFirst().bytes;
            m_emit(bytes);
            continue;
        }
        // Paced: every byte occupies the line for 1/rate seconds.
        const qint64 perByteNs = 1'000'000'000LL / rate;
        const qint64 nowNs = m_clock.nsecsElapsed();
        if (!m_paced) {
            // The line was idle: no credit for the time it stood still.
            m_lineFreeAtNs = std::max(m_lineFreeAtNs, nowNs);
        }
        // A byte may leave up to one timer tick before its slot: the timer counts whole
        // milliseconds, and rounding each wait up would leave a 9,600-baud line idle for most
        // of a millisecond after every byte. Over any stretch the rate stays the line's.
        constexpr qint64 kTickNs = 1'000'000;
        qsizetype count = 0;
        while (count < front.bytes.size() && m_lineFreeAtNs <= nowNs + kTickNs) {
            m_lineFreeAtNs += perByteNs;
            ++count;
        }
        if (count == 0) {
            // The line is still busy with earlier bytes.
            m_paced = true;
            m_timer.start(int((m_lineFreeAtNs - nowNs) / kTickNs));
            break;
        }
        const QByteArray bytes = front.bytes.left(count);
        if (count == front.bytes.size()) {
            m_queue.removeFirst();
        } else {
            front.bytes.remove(0, count);
        }
        m_paced = !m_queue.isEmpty();
        m_emit(bytes);
        if (m_paced && !m_queue.isEmpty() && !m_timer.isActive()) {
            const qint64 waitNs = m_lineFreeAtNs - m_clock.nsecsElapsed();
            m_timer.start(int(std::max<qint64>(0, waitNs / kTickNs)));
        }
    }
    m_pumping = false;
}

} // namespace varo::sim
