#include "tracemodel.h"

#include <QBrush>
#include <QColor>

namespace varo::trace {

TraceModel::TraceModel(QObject *parent)
    : QAbstractTableModel(parent) {}

int TraceModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TraceModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString TraceModel::millisecondsText(qint64 ns) {
    return QString::number(double(ns) / 1e6, 'f', 3);
}

QString TraceModel::microsecondsText(qint64 ns) {
    return QString::number(double(ns) / 1e3, 'f', 3) + QStringLiteral(" µs");
}

QString TraceModel::directionCell(link::WireDirection direction) {
    return direction == link::WireDirection::ToReader ? QStringLiteral("→ to reader")
                                                      : QStringLiteral("← from reader");
}

QVariant TraceModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount)
        return {};
    const link::WireChunk &row = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case Time:
            return millisecondsText(row.elapsedNs);
        case Direction:
            return directionCell(row.direction);
        case Operation:
            return row.operation;
        case Length:
            return int(row.bytes.size());
        case Hex:
            return link::wireHex(row.bytes);
        case Text:
            return link::wirePrintable(row.bytes);
        }
        break;
    case Qt::ToolTipRole:
        if (index.column() == Time)
            return microsecondsText(row.elapsedNs);
        if (index.column() == Direction)
            return link::directionText(row.direction);
        break;
    case Qt::TextAlignmentRole:
        if (index.column() == Time || index.column() == Length)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        break;
    case Qt::BackgroundRole:
        // A light tint as a second cue; the direction column says it in words.
        return row.direction == link::WireDirection::ToReader ? QBrush(QColor(0xEE, 0xF4, 0xFF))
                                                              : QBrush(QColor(0xF2, 0xFB, 0xEE));
    case Qt::ForegroundRole:
        return QBrush(Qt::black);
    default:
        break;
    }
    return {};
}

QVariant TraceModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Time:
        return QStringLiteral("Time (ms)");
    case Direction:
        return QStringLiteral("Direction");
    case Operation:
        return QStringLiteral("Operation");
    case Length:
        return QStringLiteral("Length");
    case Hex:
        return QStringLiteral("Hex");
    case Text:
        return QStringLiteral("Text");
    }
    return {};
}

void TraceModel::dropOldest(qsizetype count) {
    count = std::min<qsizetype>(count, qsizetype(m_rows.size()));
    if (count <= 0)
        return;
    beginRemoveRows({}, 0, int(count - 1));
    for (auto it = m_rows.begin(); it != m_rows.begin() + count; ++it)
        m_keptBytes -= it->bytes.size();
    m_rows.erase(m_rows.begin(), m_rows.begin() + count);
    endRemoveRows();
    m_dropped += count;
    emit droppedCountChanged(m_dropped);
}

void TraceModel::makeRoom(qsizetype incomingRows, qint64 incomingBytes) {
    qsizetype count = std::max<qsizetype>(0, qsizetype(m_rows.size()) + incomingRows - m_capacity);
    qint64 bytes = m_keptBytes + incomingBytes;
    for (auto it = m_rows.begin(); it != m_rows.begin() + count; ++it)
        bytes -= it->bytes.size();
    for (auto it = m_rows.begin() + count; bytes > m_byteCapacity && it != m_rows.end(); ++it) {
        bytes -= it->bytes.size();
        ++count;
    }
    dropOldest(count);
}

void TraceModel::append(std::vector<link::WireChunk> batch) {
    if (batch.empty())
        return;
    // The newest rows of the batch that fit both caps on their own are kept; the rest of the
    // batch counts as dropped.
    qsizetype adding = 0;
    qint64 addingBytes = 0;
    for (auto it = batch.rbegin(); it != batch.rend() && adding < m_capacity; ++it) {
        if (addingBytes + it->bytes.size() > m_byteCapacity)
            break;
        addingBytes += it->bytes.size();
        ++adding;
    }
    const qsizetype skip = qsizetype(batch.size()) - adding;
    makeRoom(adding, addingBytes);
    if (skip > 0) {
        m_dropped += skip;
        emit droppedCountChanged(m_dropped);
    }
    if (adding <= 0)
        return;
    const int first = int(m_rows.size());
    beginInsertRows({}, first, first + int(adding) - 1);
    for (auto it = batch.begin() + skip; it != batch.end(); ++it)
        m_rows.push_back(std::move(*it));
    endInsertRows();
    m_keptBytes += addingBytes;
}

void TraceModel::clear() {
    beginResetModel();
    m_rows.clear();
    m_keptBytes = 0;
    endResetModel();
    if (m_dropped != 0) {
        m_dropped = 0;
        emit droppedCountChanged(0);
    }
}

void TraceModel::setCapacity(qsizetype capacity) {
    m_capacity = std::max<qsizetype>(1, capacity);
    makeRoom(0, 0);
}

void TraceModel::setByteCapacity(qint64 bytes) {
    m_byteCapacity = std::max<qint64>(1, bytes);
    makeRoom(0, 0);
}

} // namespace varo::trace
