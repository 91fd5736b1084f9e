#pragma once

#include "link/linksettings.h"
#include "link/wiretrace.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <vector>

namespace varo::link {
class ReaderLink;
}

namespace varo::trace {

class TraceModel;

// Feeds the link's wire traffic into a TraceModel while recording is on. While it is off the
// recorder does not listen at all, so the link does not even build the chunks. Chunks collect
// and reach the model in batches, at most every kBatchInterval, so a fast stream costs one
// model update a batch, not one a chunk. After a batch of kFloodRows or more (a download
// scrolls thousands of rows past each update, too fast to read), the next waits
// kFloodInterval instead: each update repaints the whole view, and in a flood that repaint
// costs more than recording the rows.
//
// A chunk that follows the previous one in the same direction, for the same operation, within
// kJoinGap, joins its row (up to kMaxJoinedBytes): a reply that arrives in several reads, or
// bytes written one at a time, make one row rather than burying the exchange (and costing a
// row each). The row keeps the time of its first byte.
class TraceRecorder : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kBatchInterval{200};
    static constexpr std::chrono::milliseconds kFloodInterval{1000};
    static constexpr std::size_t kFloodRows = 1000;
    static constexpr qint64 kJoinGapNs = 1'000'000;
    static constexpr qsizetype kMaxJoinedBytes = 1024;
    static constexpr qsizetype kMaxKeptSlack = 64;

    TraceRecorder(link::ReaderLink *link, TraceModel *model, QObject *parent = nullptr);

    bool isRecording() const { return m_recording; }
    void setRecording(bool on);
    // Hands what has collected to the model now (also done before saving and finding).
    void flush();
    // Forgets the kept rows and what has not reached the model yet.
    void clear();

    // When the link that carried the latest chunk was opened (local time) and its settings:
    // the head of a saved trace. Invalid before the first chunk.
    QDateTime linkOpenedAt() const { return m_openedAt; }
    const link::LinkSettings &linkSettings() const { return m_settings; }

signals:
    void recordingChanged(bool on);
    // Rows reached the model.
    void rowsRecorded();

private:
    void take(const link::WireChunk &chunk);

    QPointer<link::ReaderLink> m_link;
    TraceModel *m_model;
    bool m_recording = false;
    std::vector<link::WireChunk> m_batch;
    QTimer m_batchTimer;
    QMetaObject::Connection m_connection;
    QDateTime m_openedAt;
    qint64 m_lastElapsedNs = -1;
    bool m_canJoin = false; // the batch's last row may take the next chunk
    link::LinkSettings m_settings;
};

// "TCP 127.0.0.1:57" or "Serial COM2 (/dev/ttyS1) 9600,N,8,1".
QString linkSettingsText(const link::LinkSettings &settings);

} // namespace varo::trace
