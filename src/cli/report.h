#pragma once

#include "cli/reason.h"
#include "cli/request.h"
#include "cli/status.h"

#include "link/operation.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

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
};

// The status of a finished target: a success is Changed when its command row says the run
// changed the reader; a failure to connect is Unreachable; an interruption is Interrupted;
// any other failure is Failed.
Status statusFor(const TargetResult &result);

// "tcp:10.0.0.7:5757  OK  message  1.23 s". Control characters in the message (text from a
// reader) are shown as spaces so they cannot drive the terminal.
QString resultLine(const TargetResult &result);
// "2 of 3 targets OK, 1 FAILED, 4.56 s"
QString summaryLine(int total, int failed, double seconds);
QJsonObject resultJson(const TargetResult &result);
// The "data" object of a result: its command row's view of the typed data.
QJsonObject dataJson(const TargetResult &result);

// Collects the results of one run and prints them as the options ask. Lines go to `out` as each
// target finishes; progress goes to `err` only when `progress` is true (stderr is a terminal
// and not --quiet), and is wiped before each result line. Not thread-safe: one event loop.
class Reporter {
public:
    struct Options {
        bool json = false;
        bool quiet = false;
        bool progress = false;
    };

    Reporter(const QString &command, const QStringList &targets, Options options, QTextStream &out,
             QTextStream &err);

    void progress(const QString &target, const QString &text);
    void add(const TargetResult &result);
    bool hasResult(const QString &target) const;

    // Fills in an "interrupted" failure for every target without a result, prints the summary
    // (or the JSON document) and returns the exit code: kExitOk only when every target
    // succeeded.
    int finish();

    QList<TargetResult> results() const; // in the order the targets were given
    QJsonDocument document() const;

private:
    void clearProgress();

    QString m_command;
    QStringList m_targets;
    Options m_options;
    QTextStream &m_out;
    QTextStream &m_err;
    QList<TargetResult> m_results; // in the order they finished
    QElapsedTimer m_clock;
    double m_seconds = 0;
    bool m_progressShown = false;
};

} // namespace varo::cli
