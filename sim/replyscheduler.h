#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QTimer>

#include <functional>

namespace varo::sim {

// Ordered output queue of the simulator. Each item waits for its own delay after the previous
// item has gone out; with a line rate set, bytes leave no faster than the line would carry them.
// Items with nothing to wait for are emitted synchronously from enqueue().
class ReplyScheduler {
public:
    using Emit = std::function<void(const QByteArray &)>;
    using Close = std::function<void()>;
    using LineRate = std::function<int()>; // bytes per second, 0 = unlimited

    ReplyScheduler(Emit send, Close close, LineRate rate);

    // Splits `bytes` into pieces of pieceSize bytes (0 = one piece); the first piece waits
    // delayMs, every later one pieceGapMs.
    void enqueue(const QByteArray &bytes, int delayMs = 0, int pieceSize = 0, int pieceGapMs = 0);
    void enqueueClose();
    void clear();
    qint64 pending() const;

private:
    struct Item {
        QByteArray bytes;
        int delayMs = 0;
        bool close = false;
    };

    void pump();

    Emit m_emit;
    Close m_close;
    LineRate m_rate;
    QList<Item> m_queue;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lineFreeAtNs = 0;
    bool m_paced = false; // paced bytes are going out back to back
    bool m_pumping = false;
};

} // namespace varo::sim
