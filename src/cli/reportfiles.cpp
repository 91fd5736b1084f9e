#include "cli/reportfiles.h"

#include "common/controltext.h"

#include <QXmlStreamWriter>

#include <array>
#include <cmath>
#include <optional>

namespace varo::cli {

namespace {

QString decimal(double value, int decimals = 3) {
    return QString::number(value, 'f', decimals);
}

bool succeeded(const TargetResult &result) {
    return result.status == Status::Ok || result.status == Status::Changed;
}

bool ran(const TargetResult &result) {
    return result.endedAt > 0;
}

void writeTestCase(QXmlStreamWriter &xml, const QString &command, const TargetResult &result) {
    xml.writeStartElement(QStringLiteral("testcase"));
    xml.writeAttribute(QStringLiteral("classname"), QStringLiteral("varo-cli.") + command);
    xml.writeAttribute(QStringLiteral("name"), namedControls(result.target));
    xml.writeAttribute(QStringLiteral("time"), decimal(result.seconds));
    const QString message = namedControls(result.message);
    if (result.status == Status::Skipped) {
        xml.writeStartElement(QStringLiteral("skipped"));
        xml.writeAttribute(QStringLiteral("message"), message);
        xml.writeEndElement();
    } else if (!succeeded(result)) {
        xml.writeStartElement(QStringLiteral("failure"));
        xml.writeAttribute(QStringLiteral("message"), message);
        xml.writeAttribute(QStringLiteral("type"), statusName(result.status));
        xml.writeCharacters(QStringLiteral("step: %1\nexit: %2\n%3\n")
                                .arg(namedControls(result.step), reasonName(result.exit), message));
        xml.writeEndElement();
    } else {
        xml.writeTextElement(QStringLiteral("system-out"),
                             statusName(result.status) + QStringLiteral(": ") + message);
    }
    xml.writeEndElement();
}

// One sample of a metric family: its extra labels ({kind="used"}) and value.
struct Sample {
    QString labels;
    double value;
};
using Samples = QList<Sample>;

// Each family's samples for one target; none where the command did not read the value.
struct MetricRow {
    const char *name;
    const char *help;
    Samples (*samples)(const TargetResult &result);
};

const std::array<MetricRow, 7> kMetrics{{
    {"varo_reader_up",
     "Whether the reader answered (1), or could not be reached or fell silent or off the link "
     "(0).",
     [](const TargetResult &r) {
         const bool known = ran(r) && r.status != Status::Interrupted;
         const bool silent =
             r.status == Status::Unreachable ||
             (r.status == Status::Failed && (r.exit == Reason::Timeout || r.exit == Reason::Link));
         return known ? Samples{{{}, silent ? 0.0 : 1.0}} : Samples{};
     }},
    {"varo_operation_success", "Whether the command succeeded on the reader (1) or not (0).",
     [](const TargetResult &r) {
         return Samples{{{}, succeeded(r) ? 1.0 : 0.0}};
     }},
    {"varo_operation_duration_seconds", "How long the command took on the reader.",
     [](const TargetResult &r) {
         return ran(r) ? Samples{{{}, r.seconds}} : Samples{};
     }},
    {"varo_operation_last_run_timestamp_seconds", "When the command last ended on the reader.",
     [](const TargetResult &r) {
         return ran(r) ? Samples{{{}, double(r.endedAt) / 1000.0}} : Samples{};
     }},
    {"varo_reader_clock_offset_seconds", "The reader's clock minus the host's clock.",
     [](const TargetResult &r) {
         // What info reports as clockOffsetSeconds (read from the data itself: building the
         // report's JSON again for each target cost more than the whole file).
         const bool reported = r.command == Command::Info && r.data.clockOffsetSeconds;
         return reported ? Samples{{{}, double(*r.data.clockOffsetSeconds)}} : Samples{};
     }},
    {"varo_reader_memory_slots", "The reader's transaction memory slots by kind.",
     [](const TargetResult &r) {
         if (!r.data.memory) {
             return Samples{};
         }
         const link::MemoryCounts &m = *r.data.memory;
         return Samples{{QStringLiteral(",kind=\"total\""), double(m.totalSlots)},
                        {QStringLiteral(",kind=\"used\""), double(m.used)},
                        {QStringLiteral(",kind=\"uploaded\""), double(m.uploaded)}};
     }},
    {"varo_upload_records", "The records the upload wrote to its file.",
     [](const TargetResult &r) {
         return r.data.upload ? Samples{{{}, double(r.data.upload->records)}} : Samples{};
     }},
}};

QByteArray sampleValue(double value) {
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15) {
        return QByteArray::number(qint64(value));
    }
    return QByteArray::number(value, 'g', 15);
}

} // namespace

QByteArray junitXml(const QString &command, const QList<TargetResult> &results, double seconds,
                    const QDateTime &started) {
    int failures = 0;
    int skipped = 0;
    for (const TargetResult &result : results) {
        skipped += result.status == Status::Skipped ? 1 : 0;
        failures += !succeeded(result) && result.status != Status::Skipped ? 1 : 0;
    }
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("varo-cli ") + command);
    xml.writeAttribute(QStringLiteral("tests"), QString::number(results.size()));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(failures));
    xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("skipped"), QString::number(skipped));
    xml.writeAttribute(QStringLiteral("time"), decimal(seconds));
    xml.writeAttribute(QStringLiteral("timestamp"), started.toUTC().toString(Qt::ISODate));
    for (const TargetResult &result : results) {
        writeTestCase(xml, command, result);
    }
    xml.writeEndDocument();
    return bytes;
}

QString prometheusLabelValue(const QString &text) {
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"')) {
            escaped += QLatin1Char('\\');
            escaped += c;
        } else if (c == QLatin1Char('\n')) {
            escaped += QStringLiteral("\\n");
        } else {
            escaped += c;
        }
    }
    return escaped;
}

QByteArray prometheusMetrics(const QString &command, const QList<TargetResult> &results) {
    constexpr qsizetype kBytesPerTarget = 1200; // about what the families take per target
    const QByteArray commandLabel = prometheusLabelValue(command).toUtf8();
    QList<QByteArray> labels;
    labels.reserve(results.size());
    for (const TargetResult &result : results) {
        labels.append("target=\"" + prometheusLabelValue(namedControls(result.target)).toUtf8() +
                      "\",command=\"" + commandLabel + '"');
    }
    QByteArray text;
    text.reserve(results.size() * kBytesPerTarget + 1024);
    for (const MetricRow &row : kMetrics) {
        text.append("# HELP ").append(row.name).append(' ').append(row.help).append('\n');
        text.append("# TYPE ").append(row.name).append(" gauge\n");
        for (qsizetype i = 0; i < results.size(); ++i) {
            for (const Sample &sample : row.samples(results[i])) {
                text.append(row.name).append('{').append(labels[i]);
                text.append(sample.labels.toUtf8()).append("} ");
                text.append(sampleValue(sample.value)).append('\n');
            }
        }
    }
    return text;
}

QByteArray retryList(const QList<TargetResult> &results) {
    QByteArray list;
    for (const TargetResult &result : results) {
        if (!succeeded(result)) {
            list += result.target.toUtf8() + '\n';
        }
    }
    return list;
}

} // namespace varo::cli
