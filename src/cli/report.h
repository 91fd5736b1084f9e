#pragma once

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QTextStream;

namespace varo::cli {

// Reason codes of a target's "exit" field (the JSON report and scripts rely on them).
namespace reason {
inline constexpr char kOk[] = "ok";
inline constexpr char kLink[] = "link";               // the link could not open or broke
inline constexpr char kRefused[] = "refused";         // TCP connection refused
inline constexpr char kTimeout[] = "timeout";         // the reader did not answer in time
inline constexpr char kWrongReply[] = "wrong-reply";  // an answer that is not the expected one
inline constexpr char kFile[] = "file";               // a local file could not be read or written
inline constexpr char kInterrupted[] = "interrupted"; // Ctrl+C, or the run ended without a result
} // namespace reason

// What one target's run came to.
struct TargetResult {
    QString target; // Target::text
    bool ok = false;
    QString exit; // one of reason::*
    QString message;
    double seconds = 0;
    QVariantMap data; // the operation's own data (firmware id, records, bytes sent...)
};

// "tcp:10.0.0.7:5757  OK  message  1.23 s". Control characters in the message (text from a
// reader) are shown as spaces so they cannot drive the terminal.
QString resultLine(const TargetResult &result);
// "2 of 3 targets OK, 1 FAILED, 4.56 s"
QString summaryLine(int total, int failed, double seconds);
QJsonObject resultJson(const TargetResult &result);

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
