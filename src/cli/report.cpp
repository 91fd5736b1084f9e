#include "cli/report.h"

#include "cli/commandtable.h"
#include "cli/compactjson.h"
#include "cli/exitcodes.h"
#include "cli/reportfiles.h"

#include "common/atomicfile.h"
#include "common/controltext.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QTextStream>

namespace varo::cli {

namespace {

constexpr std::array<Status, kStatusCount> kStatuses{Status::Ok,          Status::Changed,
                                                     Status::Unreachable, Status::Failed,
                                                     Status::Skipped,     Status::Interrupted};

QString seconds(double value) {
    return QString::number(value, 'f', 2) + QStringLiteral(" s");
}

QString printable(const QString &text) {
    return namedControls(text).trimmed();
}

} // namespace

Status statusFor(const TargetResult &result) {
    if (result.ok) {
        const CommandRow &row = commandRow(result.command);
        return row.changed && row.changed(result.data) ? Status::Changed : Status::Ok;
    }
    if (result.exit == Reason::Interrupted) {
        return Status::Interrupted;
    }
    if (result.exit == Reason::Skipped) {
        return Status::Skipped;
    }
    return result.step == QLatin1String("connect") ? Status::Unreachable : Status::Failed;
}

int StatusCounts::total() const {
    int sum = 0;
    for (const int count : byStatus) {
        sum += count;
    }
    return sum;
}

QString resultLine(const TargetResult &result) {
    QStringList fields{printable(result.target),
                       result.ok ? QStringLiteral("OK") : QStringLiteral("FAILED")};
    const QString message = printable(result.message);
    if (!message.isEmpty()) {
        fields.append(message);
    }
    fields.append(seconds(result.seconds));
    fields.append(statusName(result.status));
    return fields.join(QStringLiteral("  "));
}

QString summaryLine(const StatusCounts &counts, double elapsed) {
    const int total = counts.total();
    const int failed = total - counts.succeeded();
    QString line = QStringLiteral("%1 of %2 target%3 OK")
                       .arg(counts.succeeded())
                       .arg(total)
                       .arg(total == 1 ? QString() : QStringLiteral("s"));
    if (failed > 0) {
        line += QStringLiteral(", %1 FAILED").arg(failed);
    }
    QStringList parts;
    for (const Status status : kStatuses) {
        if (counts.of(status) > 0) {
            parts.append(QStringLiteral("%1 %2").arg(counts.of(status)).arg(statusName(status)));
        }
    }
    line += QStringLiteral(", ") + seconds(elapsed);
    return parts.isEmpty() ? line : line + QStringLiteral("; ") + parts.join(QStringLiteral(", "));
}

QJsonObject dataJson(const TargetResult &result) {
    const CommandRow &row = commandRow(result.command);
    return row.dataJson ? row.dataJson(result.data) : QJsonObject();
}

QJsonObject resultJson(const TargetResult &result) {
    return QJsonObject{
        {QStringLiteral("target"), result.target},
        {QStringLiteral("status"), statusName(result.status)},
        {QStringLiteral("ok"), result.ok},
        {QStringLiteral("exit"), reasonName(result.exit)},
        {QStringLiteral("step"), result.ok ? QString() : result.step},
        {QStringLiteral("message"), result.message},
        {QStringLiteral("seconds"), result.seconds},
        {QStringLiteral("data"), dataJson(result)},
    };
}

QByteArray resultJsonLine(const TargetResult &result) {
    QByteArray line;
    line.reserve(512);
    line += "{\"data\":";
    appendJsonObject(line, dataJson(result));
    line += ",\"event\":\"result\",\"exit\":";
    appendJsonString(line, reasonName(result.exit));
    line += ",\"message\":";
    appendJsonString(line, result.message);
    line += result.ok ? ",\"ok\":true,\"seconds\":" : ",\"ok\":false,\"seconds\":";
    appendJsonDouble(line, result.seconds);
    line += ",\"status\":";
    appendJsonString(line, statusName(result.status));
    line += ",\"step\":";
    appendJsonString(line, result.ok ? QString() : result.step);
    line += ",\"target\":";
    appendJsonString(line, result.target);
    line += '}';
    return line;
}

QJsonObject summaryJson(const StatusCounts &counts) {
    QJsonObject summary{{QStringLiteral("targets"), counts.total()}};
    for (const Status status : kStatuses) {
        summary.insert(statusName(status), counts.of(status));
    }
    return summary;
}

Reporter::Reporter(const QString &command, const QStringList &targets, Options options,
                   QTextStream &out, QTextStream &err)
    : m_command(command)
    , m_targets(targets)
    , m_options(std::move(options))
    , m_out(out)
    , m_err(err) {
    m_index.reserve(targets.size());
    for (qsizetype i = 0; i < targets.size(); ++i) {
        m_index.insert(targets[i], i);
    }
    m_results.resize(targets.size());
    m_clock.start();
    m_started = QDateTime::currentDateTimeUtc();
}

void Reporter::begin() {
    if (m_begun) {
        return;
    }
    m_begun = true;
    if (m_options.format == OutputFormat::Jsonl) {
        writeJsonLine({{QStringLiteral("event"), QStringLiteral("start")},
                       {QStringLiteral("command"), m_command},
                       {QStringLiteral("targets"), int(m_targets.size())},
                       {QStringLiteral("check"), m_options.check}});
    }
}

void Reporter::writeJsonLine(const QJsonObject &object) {
    m_out << compactJson(object) << '\n' << Qt::flush;
}

void Reporter::progress(const QString &target, const QString &text) {
    if (!m_options.progress || m_options.quiet) {
        return;
    }
    // Carriage return and erase-line: the progress line is rewritten in place.
    m_err << "\r\x1b[K" << printable(target) << "  " << printable(text) << Qt::flush;
    m_progressShown = true;
}

void Reporter::clearProgress() {
    if (m_progressShown) {
        m_err << "\r\x1b[K" << Qt::flush;
        m_progressShown = false;
    }
}

void Reporter::add(TargetResult result) {
    begin();
    result.status = statusFor(result);
    auto place = m_index.constFind(result.target);
    if (place == m_index.cend()) {
        // Not one of the targets given: reported after them.
        place = m_index.insert(result.target, m_targets.size());
        m_targets.append(result.target);
        m_results.append(std::nullopt);
    }
    if (m_results[*place]) {
        return; // one result per target
    }
    m_results[*place] = result;
    ++m_finished;
    if (m_options.format == OutputFormat::Jsonl) {
        m_out << resultJsonLine(result) << '\n' << Qt::flush;
        return;
    }
    if (m_options.format == OutputFormat::Json || (m_options.quiet && result.ok)) {
        return;
    }
    clearProgress();
    m_out << resultLine(result) << Qt::endl;
}

bool Reporter::hasResult(const QString &target) const {
    const auto place = m_index.constFind(target);
    return place != m_index.cend() && m_results[*place].has_value();
}

StatusCounts Reporter::counts() const {
    StatusCounts counts;
    for (const std::optional<TargetResult> &result : m_results) {
        if (result) {
            counts.add(result->status);
        }
    }
    return counts;
}

int Reporter::finish() {
    begin();
    for (qsizetype i = 0; i < m_targets.size(); ++i) {
        if (!m_results[i]) {
            TargetResult missing;
            missing.target = m_targets[i];
            missing.message = QStringLiteral("ended before this target finished");
            add(missing);
        }
    }
    m_seconds = double(m_clock.elapsed()) / 1000.0;
    clearProgress();
    // The files first, so the exit code printed is the one the process ends with.
    m_reportsFailed = !writeReportFiles(results());
    const StatusCounts counts = this->counts();
    const int code = exitCode(counts);
    if (m_options.format == OutputFormat::Json) {
        m_out << document().toJson(QJsonDocument::Indented) << Qt::flush;
    } else if (m_options.format == OutputFormat::Jsonl) {
        QJsonObject line = summaryJson(counts);
        line.insert(QStringLiteral("event"), QStringLiteral("summary"));
        line.insert(QStringLiteral("exitCode"), code);
        line.insert(QStringLiteral("seconds"), m_seconds);
        writeJsonLine(line);
    } else if (!m_options.quiet) {
        m_out << summaryLine(counts, m_seconds) << Qt::endl;
    }
    return code;
}

int Reporter::exitCode(const StatusCounts &counts) const {
    const bool ok = counts.succeeded() == counts.total() && counts.total() > 0;
    return ok && !m_reportsFailed ? kExitOk : kExitFailed;
}

bool Reporter::writeReportFiles(const QList<TargetResult> &ordered) {
    struct ReportFile {
        const QString &path;
        const char *what;
        QByteArray (*make)(const Reporter &reporter, const QList<TargetResult> &results);
    };
    const ReportFile files[] = {
        {m_options.junitPath, "JUnit report",
         [](const Reporter &r, const QList<TargetResult> &results) {
             return junitXml(r.m_command, results, r.m_seconds, r.m_started);
         }},
        {m_options.metricsPath, "metrics",
         [](const Reporter &r, const QList<TargetResult> &results) {
             return prometheusMetrics(r.m_command, results);
         }},
        {m_options.retryPath, "retry file",
         [](const Reporter &, const QList<TargetResult> &results) { return retryList(results); }},
    };
    bool allWritten = true;
    for (const ReportFile &file : files) {
        if (file.path.isEmpty()) {
            continue;
        }
        if (const auto error = writeFileAtomically(file.path, file.make(*this, ordered))) {
            m_err << "varo-cli: cannot write the " << file.what << " " << printable(file.path)
                  << ": " << *error << Qt::endl;
            allWritten = false;
        }
    }
    return allWritten;
}

QList<TargetResult> Reporter::results() const {
    QList<TargetResult> ordered;
    ordered.reserve(m_finished);
    for (const std::optional<TargetResult> &result : m_results) {
        if (result) {
            ordered.append(*result);
        }
    }
    return ordered;
}

QJsonDocument Reporter::document() const {
    const QList<TargetResult> ordered = results();
    QJsonArray list;
    StatusCounts counts;
    for (const TargetResult &result : ordered) {
        list.append(resultJson(result));
        counts.add(result.status);
    }
    const bool ok = counts.succeeded() == counts.total() && counts.total() > 0;
    return QJsonDocument(QJsonObject{
        {QStringLiteral("tool"), QStringLiteral("varo-cli")},
        {QStringLiteral("version"), QCoreApplication::applicationVersion()},
        {QStringLiteral("command"), m_command},
        {QStringLiteral("check"), m_options.check},
        {QStringLiteral("ok"), ok},
        {QStringLiteral("exitCode"), exitCode(counts)},
        {QStringLiteral("seconds"), m_seconds},
        {QStringLiteral("summary"), summaryJson(counts)},
        {QStringLiteral("results"), list},
    });
}

} // namespace varo::cli
