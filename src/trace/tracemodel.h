#pragma once

#include "link/wiretrace.h"

#include <QAbstractTableModel>

#include <deque>
#include <vector>

namespace varo::trace {

// The kept rows of the wire trace, one chunk a row, oldest first. At most capacity() rows and
// byteCapacity() bytes (of the chunks' bytes) are kept: one row can hold a whole received chunk,
// so a streaming peer is bounded by bytes as well. Appending beyond either cap drops the
// oldest, and droppedCount() tells how many went that way.
// Rows arrive in batches (append()), so a view repaints once a batch, not once a chunk.
class TraceModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Time, Direction, Operation, Length, Hex, Text, ColumnCount };
    static constexpr qsizetype kDefaultCapacity = 100'000;
    static constexpr qint64 kDefaultByteCapacity = 64 * 1024 * 1024;

    explicit TraceModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void append(std::vector<link::WireChunk> batch);
    void clear();

    qsizetype capacity() const { return m_capacity; }
    // Drops the oldest rows when fewer are allowed than are kept.
    void setCapacity(qsizetype capacity);
    qint64 byteCapacity() const { return m_byteCapacity; }
    // Drops the oldest rows when fewer bytes are allowed than are kept.
    void setByteCapacity(qint64 bytes);
    qint64 keptBytes() const { return m_keptBytes; }
    // Rows dropped to stay within the capacity since the last clear().
    qint64 droppedCount() const { return m_dropped; }

    const link::WireChunk &chunk(qsizetype row) const { return m_rows[size_t(row)]; }
    const std::deque<link::WireChunk> &rows() const { return m_rows; }

    // "12.345" (milliseconds with microseconds) and "12345.678 µs".
    static QString millisecondsText(qint64 ns);
    static QString microsecondsText(qint64 ns);
    // "→ to reader" / "← from reader": told apart by the arrow and the words, not by colour.
    static QString directionCell(link::WireDirection direction);

signals:
    void droppedCountChanged(qint64 dropped);

private:
    void dropOldest(qsizetype count);
    // Drops the oldest rows until both caps hold with `incomingRows` and `incomingBytes` more.
    void makeRoom(qsizetype incomingRows, qint64 incomingBytes);

    std::deque<link::WireChunk> m_rows;
    qsizetype m_capacity = kDefaultCapacity;
    qint64 m_byteCapacity = kDefaultByteCapacity;
    qint64 m_keptBytes = 0;
    qint64 m_dropped = 0;
};

} // namespace varo::trace
