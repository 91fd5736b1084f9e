#include "tracefind.h"

#include <QRegularExpression>

#include <array>
#include <vector>

namespace varo::trace {

std::optional<QByteArray> parseHexBytes(const QString &text) {
    QString digits = text;
    digits.replace(QRegularExpression(QStringLiteral("0[xX]([0-9A-Fa-f]{1,2})")),
                   QStringLiteral("\\1 "));
    QByteArray bytes;
    for (const QString &group :
         digits.split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts)) {
        // A group is one byte ("D", "0D") or several whole bytes written together ("0D0A").
        const QString padded = group.size() == 1 ? QStringLiteral("0") + group : group;
        if (padded.size() % 2 != 0)
            return std::nullopt;
        for (qsizetype i = 0; i < padded.size(); i += 2) {
            bool ok = false;
            const uint byte = padded.mid(i, 2).toUInt(&ok, 16);
            if (!ok)
                return std::nullopt;
            bytes.append(char(byte));
        }
    }
    if (bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

namespace {

// The last bytes seen in one direction (fewer than the needle's length) and the row each came
// from, so a match can start in an earlier chunk.
struct Carry {
    QByteArray bytes;
    std::vector<qsizetype> rows;
};

std::optional<TraceMatch> search(const std::deque<link::WireChunk> &rows, const QByteArray &needle,
                                 qsizetype from, qsizetype to) {
    std::array<Carry, 2> carries;
    const qsizetype keep = needle.size() - 1;
    for (qsizetype r = from; r < to; ++r) {
        const link::WireChunk &chunk = rows[size_t(r)];
        Carry &carry = carries[chunk.direction == link::WireDirection::ToReader ? 0 : 1];
        const QByteArray hay = carry.bytes + chunk.bytes;
        const qsizetype at = hay.indexOf(needle);
        if (at >= 0) {
            const qsizetype first = at < carry.bytes.size() ? carry.rows[size_t(at)] : r;
            const qsizetype endAt = at + needle.size() - 1;
            const qsizetype last = endAt < carry.bytes.size() ? carry.rows[size_t(endAt)] : r;
            return TraceMatch{first, last};
        }
        // Keep the tail that could begin a match continuing in a later chunk.
        const qsizetype tail = std::min(keep, hay.size());
        std::vector<qsizetype> tailRows;
        tailRows.reserve(size_t(tail));
        for (qsizetype i = hay.size() - tail; i < hay.size(); ++i)
            tailRows.push_back(i < carry.bytes.size() ? carry.rows[size_t(i)] : r);
        carry.bytes = hay.right(tail);
        carry.rows = std::move(tailRows);
    }
    return std::nullopt;
}

} // namespace

std::optional<TraceMatch> findBytes(const std::deque<link::WireChunk> &rows,
                                    const QByteArray &needle, qsizetype fromRow) {
    const auto count = qsizetype(rows.size());
    if (needle.isEmpty() || count == 0)
        return std::nullopt;
    fromRow = std::clamp<qsizetype>(fromRow, 0, count);
    if (auto match = search(rows, needle, fromRow, count))
        return match;
    return fromRow > 0 ? search(rows, needle, 0, count) : std::nullopt;
}

} // namespace varo::trace
