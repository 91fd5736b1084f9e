#pragma once

#include "link/wiretrace.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <optional>

namespace varo::trace {

// "0D 0A", "0d0a" or "0x0D,0x0A" as bytes; std::nullopt when it is not whole hex bytes.
std::optional<QByteArray> parseHexBytes(const QString &text);

// Where a byte sequence was found: the row holding its first byte and the row holding its last.
struct TraceMatch {
    qsizetype firstRow = 0;
    qsizetype lastRow = 0;
    bool operator==(const TraceMatch &) const = default;
};

// Looks for `needle` in the byte stream of each direction (the chunks of one direction joined
// in order, so a sequence split across chunks is found), starting with the row `fromRow`. The
// match whose first byte lies in the earliest row wins. Without a match from `fromRow` on, the
// search goes round from the first row.
std::optional<TraceMatch> findBytes(const std::deque<link::WireChunk> &rows,
                                    const QByteArray &needle, qsizetype fromRow = 0);

} // namespace varo::trace
