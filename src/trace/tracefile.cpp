#include "tracefile.h"

#include "tracerecorder.h"

#include "common/atomicfile.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace varo::trace {

namespace {

// A cell a spreadsheet would run as a formula gets a leading apostrophe inside quotes.
QString csvField(const QString &text) {
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
    const bool formula = !text.isEmpty() && kFormulaStarts.contains(text.front());
    if (!formula && !text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    QString quoted = formula ? u'\'' + text : text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QStringList headerLines(const TraceHeader &header, qsizetype rowCount) {
    const QString opened = header.linkOpenedAt.isValid()
                               ? header.linkOpenedAt.toString(Qt::ISODateWithMs)
                               : QStringLiteral("unknown");
    QStringList lines{QStringLiteral("Varo Utility wire trace"),
                      QStringLiteral("Link: %1").arg(linkSettingsText(header.settings)),
                      QStringLiteral("Link opened: %1 (times are since then)").arg(opened),
                      QStringLiteral("Rows: %1").arg(rowCount)};
    if (header.droppedRows > 0)
        lines << QStringLiteral("Rows dropped before the first one: %1").arg(header.droppedRows);
    return lines;
}

} // namespace

TraceFormat formatForPath(const QString &path) {
    return QFileInfo(path).suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0
               ? TraceFormat::Csv
               : TraceFormat::Text;
}

void writeTrace(QIODevice &out, TraceFormat format, const TraceHeader &header,
                const std::deque<link::WireChunk> &rows) {
    QTextStream stream(&out);
    stream.setEncoding(QStringConverter::Utf8);
    const QStringList head = headerLines(header, qsizetype(rows.size()));
    if (format == TraceFormat::Text) {
        for (const QString &line : head)
            stream << "# " << line << '\n';
        for (const link::WireChunk &chunk : rows)
            stream << link::wireLogLine(chunk) << '\n';
        return;
    }
    for (const QString &line : head)
        stream << csvField(line) << '\n';
    stream << "time_ms,direction,operation,length,hex,text\n";
    for (const link::WireChunk &chunk : rows) {
        stream << QString::number(double(chunk.elapsedNs) / 1e6, 'f', 3) << ','
               << link::directionText(chunk.direction) << ',' << csvField(chunk.operation) << ','
               << chunk.bytes.size() << ',' << link::wireHex(chunk.bytes) << ','
               << csvField(link::wirePrintable(chunk.bytes)) << '\n';
    }
}

std::optional<QString> saveTrace(const QString &path, TraceFormat format, const TraceHeader &header,
                                 const std::deque<link::WireChunk> &rows) {
    QByteArray text;
    QBuffer buffer(&text);
    buffer.open(QIODevice::WriteOnly);
    writeTrace(buffer, format, header, rows);
    buffer.close();
    if (const std::optional<QString> reason = writeFileAtomically(path, text)) {
        return QStringLiteral("Could not save the trace to %1: %2")
            .arg(QDir::toNativeSeparators(path), *reason);
    }
    return std::nullopt;
}

} // namespace varo::trace
