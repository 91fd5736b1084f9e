#pragma once

#include <QByteArray>
#include <QLoggingCategory>
#include <QMetaType>
#include <QString>

namespace varo::link {

// Every chunk written to or received from a reader is logged under "varo.wire" at debug level
// (off by default): QT_LOGGING_RULES="varo.wire.debug=true" prints the whole exchange.
Q_DECLARE_LOGGING_CATEGORY(lcWire)

enum class WireDirection { ToReader, FromReader };

// One chunk as it crossed the link: written in one write, or delivered by one read.
struct WireChunk {
    qint64 elapsedNs = 0; // since the link was opened
    WireDirection direction = WireDirection::ToReader;
    QString operation; // the operation that held the link; empty when none
    QByteArray bytes;
};

// "to reader" / "from reader".
QString directionText(WireDirection direction);
// "0D 0A 41": two upper-case hex digits a byte, blank-separated.
QString wireHex(const QByteArray &bytes);
// The bytes as text: printable ASCII as it is, control bytes by name in angle brackets
// (<CR>, <LF>, <NUL>, <ESC>, ...), other bytes as <xHH>.
QString wirePrintable(const QByteArray &bytes);
// One log line: "  12.345 ms  to reader    [Program Reader]  4 bytes  58 30 30 31  X001" with
// `source` (a target or link name) in front when given.
QString wireLogLine(const WireChunk &chunk, const QString &source = {});
// The same line, UTF-8, appended to `line` (no allocation once `line` has room).
void appendWireLogLine(QByteArray &line, const WireChunk &chunk, const QString &source = {});

// Where "varo.wire" lines go when the category is on: by default Qt's message log; a
// command-line tool that prints tens of thousands of them may take them itself, as chunks,
// and skip building a message per line. Set once, before any link runs.
using WireLogSink = void (*)(const WireChunk &chunk, const QString &source);
void setWireLogSink(WireLogSink sink);
WireLogSink wireLogSink();

} // namespace varo::link

Q_DECLARE_METATYPE(varo::link::WireChunk)
