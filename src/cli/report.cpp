#include "cli/report.h"

#include "cli/commandtable.h"
#include "cli/exitcodes.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QTextStream>

namespace varo::cli {

namespace {

QString seconds(double value) {
    return QString::number(value, 'f', 2) + QStringLiteral(" s");
}

QString printable(const QString &text) {
    QString clean;
    clean.reserve(text.size());
    for (const QChar c : text) {
        const auto category = c.category();
        clean += (category == QChar::Other_Control || category == QChar::Other_Format ||
                  c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
                     ? QLatin1Char(' ')
                     : c;
    }
    return clean.simplified();
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
    return result.step == QLatin1String("connect") ? Status::Unreachable : Status::Failed;
}

QString resultLine(const TargetResult &result) {
    QStringList fields{result.target, result.ok ? QStringLiteral("OK") : QStringLiteral("FAILED")};
    const QString message = printable(result.message);
    if (!message.isEmpty()) {
        fields.append(message);
    }
    fields.append(seconds(result.seconds));
    return fields.join(QStringLiteral("  "));
}

QString summaryLine(int total, int failed, double elapsed) {
    QString line = QStringLiteral("%1 of %2 target%3 OK")
                       .arg(total - failed)
                       .arg(total)
                       .arg(total == 1 ? QString() : QStringLiteral("s"));
    if (failed > 0) {
        line += QStringLiteral(", %1 FAILED").arg(failed);
    }
    return line + QStringLiteral(", ") + seconds(elapsed);
}

QJsonObject dataJson(const TargetResult &result) {
    const CommandRow &row = commandRow(result.command);
    return row.dataJson ? row.dataJson(result.data) : QJsonObject();
}

QJsonObject resultJson(const TargetResult &result) {
    return QJsonObject{
        {QStringLiteral("target"), result.target},
        {QStringLiteral("ok"), result.ok},
        {QStringLiteral("exit"), reasonName(result.exit)},
        {QStringLiteral("message"), result.message},
        {QStringLiteral("seconds"), result.seconds},
        {QStringLiteral("data"), dataJson(result)},
    };
}

Reporter::Reporter(const QString &command, const QStringList &targets, Options options,
                   QTextStream &out, QTextStream &err)
    : m_command(command)
    , m_targets(targets)
    , m_options(options)
    , m_out(out)
    , m_err(err) {
    m_clock.start();
}

void Reporter::progress(const QString &target, const QString &text) {
    if (!m_options.progress || m_options.quiet) {
        return;
    }
    // Carriage return and erase-line: the progress line is rewritten in place.
    m_err << "\r\x1b[K" << target << "  " << printable(text) << Qt::flush;
    m_progressShown = true;
}

void Reporter::clearProgress() {
    if (m_progressShown) {
        m_err << "\r\x1b[K" << Qt::flush;
        m_progressShown = false;
    }
}

void Reporter::add(const TargetResult &result) {
    m_results.append(result);
    if (m_options.json || (m_options.quiet && result.ok)) {
        return;
    }
    clearProgress();
    m_out << resultLine(result) << Qt::endl;
}

bool Reporter::hasResult(const QString &target) const {
    for (const TargetResult &result : m_results) {
        if (result.target == target) {
            return true;
        }
    }
    return false;
}

int Reporter::finish() {
    for (const QString &target : m_targets) {
        if (!hasResult(target)) {
            TargetResult missing;
            missing.target = target;
            missing.message = QStringLiteral("ended before this target finished");
            add(missing);
        }
    }
    m_seconds = double(m_clock.elapsed()) / 1000.0;
    clearProgress();
    int failed = 0;
    for (const TargetResult &result : std::as_const(m_results)) {
        failed += result.ok ? 0 : 1;
    }
    if (m_options.json) {
        m_out << document().toJson(QJsonDocument::Indented) << Qt::flush;
    } else if (!m_options.quiet) {
        m_out << summaryLine(int(m_results.size()), failed, m_seconds) << Qt::endl;
    }
    return (failed == 0 && !m_results.isEmpty()) ? kExitOk : kExitFailed;
}

QList<TargetResult> Reporter::results() const {
    QList<TargetResult> ordered;
    for (const QString &target : m_targets) {
        for (const TargetResult &result : m_results) {
            if (result.target == target) {
                ordered.append(result);
                break;
            }
        }
    }
    return ordered;
}

QJsonDocument Reporter::document() const {
    const QList<TargetResult> ordered = results();
    QJsonArray list;
    int failed = 0;
    for (const TargetResult &result : ordered) {
        list.append(resultJson(result));
        failed += result.ok ? 0 : 1;
    }
    const bool ok = failed == 0 && !ordered.isEmpty();
    return QJsonDocument(QJsonObject{
        {QStringLiteral("tool"), QStringLiteral("varo-cli")},
        {QStringLiteral("version"), QCoreApplication::applicationVersion()},
        {QStringLiteral("command"), m_command},
        {QStringLiteral("ok"), ok},
        {QStringLiteral("exitCode"), ok ? kExitOk : kExitFailed},
        {QStringLiteral("seconds"), m_seconds},
        {QStringLiteral("summary"),
         QJsonObject{{QStringLiteral("targets"), int(ordered.size())},
                     {QStringLiteral("ok"), int(ordered.size()) - failed},
                     {QStringLiteral("failed"), failed}}},
        {QStringLiteral("results"), list},
    });
}

} // namespace varo::cli
