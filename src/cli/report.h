#pragma once

#include "cli/reason.h"
#include "cli/request.h"
#include "cli/status.h"

#include "link/operation.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

class QTextStream;

namespace varo::cli {

// What one target's run came to: the record every report writer reads.
struct TargetResult {
    QString target = {}; // Target::text
    bool ok = false;
    Reason exit = Reason::Interrupted;
    QString message = {};
    double seconds = 0;
    link::OperationData data =
        {}; // what the operation read or did (firmware id, records, bytes...)
    Command command = Command::Info; // whose row turns `data` into the report's "data"
    QString step =
        {}; // where a failure happened ("connect", "firmware identification", the command)
    Status status = Status::Interrupted; // what became of the target (see statusFor())
    qint64 endedAt = 0; // wall-clock ms since the epoch when its job ended; 0: it never ran
};

// The status of a finished target: a success is Changed when its command row says the run
// changed the reader; a failure to connect is Unreachable; an interruption is Interrupted; a
// target a rollout did not start is Skipped; any other failure is Failed.
Status statusFor(const TargetResult &result);

// How many targets ended in each status.
struct StatusCounts {
    std::array<int, kStatusCount> byStatus{};

    void add(Status status) { ++byStatus[std::size_t(status)]; }
    int of(Status status) const { return byStatus[std::size_t(status)]; }
    int total() const;
    int succeeded() const { return of(Status::Ok) + of(Status::Changed); }
};

// "tcp:10.0.0.7:5757  OK  message  1.23 s  changed". Control characters in the message (text
// from a reader) are shown by name (<ESC>) so they cannot drive the terminal.
QString resultLine(const TargetResult &result);
// "2 of 3 targets OK, 1 FAILED, 4.56 s; 1 ok, 1 changed, 1 unreachable"
QString summaryLine(const StatusCounts &counts, double seconds);
// A result as the JSON report and the jsonl lines hold it.
QJsonObject resultJson(const TargetResult &result);
// The jsonl "result" event: resultJson() with "event":"result" as one compact line, written
// straight from the fields (a thousand targets' lines cost more than their run otherwise).
QByteArray resultJsonLine(const TargetResult &result);
// {"targets": N, "ok": a, "changed": b, ...}: every status, zeros included.
QJsonObject summaryJson(const StatusCounts &counts);
// The "data" object of a result: its command row's view of the typed data.
QJsonObject dataJson(const TargetResult &result);

// Collects the results of one run and prints them as the options ask: text lines as each
// target finishes, one JSON document at the end, or jsonl (a start line, one line per target as
// it finishes, a summary line, each flushed at once). Progress goes to `err` only when
// `progress` is true (stderr is a terminal and not --quiet), and is wiped before each result
// line. finish() also writes the report files the options name. Not thread-safe: one event
// loop.
class Reporter {
public:
    struct Options {
        OutputFormat format = OutputFormat::Text;
        bool quiet = false;    // text: only the lines of targets that did not succeed
        bool progress = false; // progress lines on `err`
        bool check = false;    // a dry run: the reports say so
        QString junitPath = {};
        QString metricsPath = {};
        QString retryPath = {};
    };

    Reporter(const QString &command, const QStringList &targets, Options options, QTextStream &out,
             QTextStream &err);

    // The jsonl start line (nothing in the other formats). add() and finish() call it when the
    // caller has not.
    void begin();
    void progress(const QString &target, const QString &text);
    void add(TargetResult result);
    bool hasResult(const QString &target) const;

    // Fills in an "interrupted" failure for every target without a result, prints the summary
    // (or the JSON document), writes the report files and returns the exit code: kExitOk only
    // when every target succeeded and every report file was written.
    int finish();

    QList<TargetResult> results() const; // in the order the targets were given
    QJsonDocument document() const;

private:
    void clearProgress();
    void writeJsonLine(const QJsonObject &object);
    bool writeReportFiles(const QList<TargetResult> &ordered);
    StatusCounts counts() const;
    int exitCode(const StatusCounts &counts) const;

    QString m_command;
    QStringList m_targets;
    QHash<QString, qsizetype> m_index; // target -> its place in m_targets and m_results
    Options m_options;
    QTextStream &m_out;
    QTextStream &m_err;
    QList<std::optional<TargetResult>> m_results; // by the target's place
    qsizetype m_finished = 0;
    QElapsedTimer m_clock;
    QDateTime m_started;
    double m_seconds = 0;
    bool m_progressShown = false;
    bool m_begun = false;
    bool m_reportsFailed = false; // a report file could not be written
};

} // namespace varo::cli
