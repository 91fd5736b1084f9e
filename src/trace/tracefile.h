#pragma once

#include "link/linksettings.h"
#include "link/wiretrace.h"

#include <QDateTime>
#include <QString>

#include <deque>
#include <optional>

class QIODevice;

namespace varo::trace {

enum class TraceFormat { Text, Csv };

// What a saved trace names at its top.
struct TraceHeader {
    link::LinkSettings settings;
    QDateTime linkOpenedAt; // when the link the rows were recorded on was opened
    qint64 droppedRows = 0; // rows dropped before the first kept one
};

// A ".csv" name saves CSV, anything else text.
TraceFormat formatForPath(const QString &path);

// The whole trace as UTF-8: a few header lines ("#" in front in the text form), then one line
// per row. Text rows read like the varo.wire log lines; CSV has the columns
// time_ms,direction,operation,length,hex,text with the text quoted as CSV requires.
void writeTrace(QIODevice &out, TraceFormat format, const TraceHeader &header,
                const std::deque<link::WireChunk> &rows);

// Writes the trace to `path` through a QSaveFile, so a failed save leaves any earlier file as it
// was. Returns the error to show ("Could not save the trace to <path>: <reason>"), or nothing.
std::optional<QString> saveTrace(const QString &path, TraceFormat format, const TraceHeader &header,
                                 const std::deque<link::WireChunk> &rows);

} // namespace varo::trace
