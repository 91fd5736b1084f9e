#include "tracerecorder.h"

#include "tracemodel.h"

#include "link/readerlink.h"

namespace varo::trace {

TraceRecorder::TraceRecorder(link::ReaderLink *link, TraceModel *model, QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_model(model) {
    m_batchTimer.setSingleShot(true);
    m_batchTimer.setInterval(kBatchInterval);
    connect(&m_batchTimer, &QTimer::timeout, this, &TraceRecorder::flush);
}

void TraceRecorder::setRecording(bool on) {
    if (on == m_recording)
        return;
    m_recording = on;
    if (on && m_link) {
        m_connection = connect(m_link, &link::ReaderLink::wireTraffic, this, &TraceRecorder::take);
    } else {
        disconnect(m_connection);
        flush();
    }
    emit recordingChanged(on);
}

void TraceRecorder::take(const link::WireChunk &chunk) {
    // The time base restarts when the link is opened again: note when that was.
    if (chunk.elapsedNs < m_lastElapsedNs || !m_openedAt.isValid()) {
        m_openedAt = QDateTime::currentDateTime().addMSecs(-chunk.elapsedNs / 1'000'000);
        if (m_link)
            m_settings = m_link->settings();
        m_canJoin = false;
    }
    const qint64 gap = chunk.elapsedNs - m_lastElapsedNs;
    m_lastElapsedNs = chunk.elapsedNs;
    if (m_canJoin && !m_batch.empty()) {
        link::WireChunk &last = m_batch.back();
        if (last.direction == chunk.direction && gap < kJoinGapNs &&
            last.bytes.size() + chunk.bytes.size() <= kMaxJoinedBytes &&
            last.operation == chunk.operation) {
            last.bytes += chunk.bytes;
            return;
        }
    }
    m_canJoin = true;
    m_batch.push_back(chunk);
    // A read hands over the device's whole read buffer: a one-byte reply can come in an array
    // of 32 or 64 KiB. A kept row holds only its own bytes, or 100,000 one-byte rows would
    // hold gigabytes.
    QByteArray &kept = m_batch.back().bytes;
    if (kept.capacity() - kept.size() > kMaxKeptSlack)
        kept = QByteArray(kept.constData(), kept.size());
    if (!m_batchTimer.isActive())
        m_batchTimer.start();
}

void TraceRecorder::flush() {
    m_batchTimer.stop();
    if (m_batch.empty())
        return;
    std::vector<link::WireChunk> batch;
    batch.swap(m_batch);
    m_canJoin = false;
    m_batchTimer.setInterval(batch.size() >= kFloodRows ? kFloodInterval : kBatchInterval);
    m_model->append(std::move(batch));
    emit rowsRecorded();
}

void TraceRecorder::clear() {
    m_batchTimer.stop();
    m_batch.clear();
    m_canJoin = false;
    m_model->clear();
}

QString linkSettingsText(const link::LinkSettings &settings) {
    if (settings.isTcp())
        return QStringLiteral("TCP %1:%2").arg(settings.host).arg(settings.tcpPort);
    return QStringLiteral("Serial COM%1 (%2) %3")
        .arg(settings.commPort)
        .arg(settings.serialDevicePath(), link::serialSettingsString(settings.baudRate));
}

} // namespace varo::trace
