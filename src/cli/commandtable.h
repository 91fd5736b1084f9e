#pragma once

#include "cli/request.h"

#include "link/operation.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <span>

class QTextStream;

namespace varo::link {
class ReaderLink;
struct LinkSettings;
} // namespace varo::link

namespace varo::cli {

// What a command row's operation is made from: the target's own link (open), the request and
// the target.
struct JobContext {
    link::ReaderLink *link;
    const Request &request;
    const Target &target;
};

// How a target's operation came out, as varo-cli reports it: the result (code and message) and
// the step it ended in ("firmware identification", or the command's name).
struct Verdict {
    link::OperationResult result;
    QString step;
};

// What a command that looked at the reader first does next.
struct Plan {
    enum class Action {
        Act,   // runs the operation (--check: reports what it would do, as changed)
        Skip,  // nothing to do: ok, with the message
        Refuse // fails with the message and the code, sending nothing more
    };
    Action action = Action::Act;
    QString message; // Act: what it would do (for --check); Skip, Refuse: why
    link::ResultCode refusal = link::ResultCode::Invalid;
};

// One varo-cli command: its name and help, the operation it runs on each target's link and how
// that operation's typed data becomes the report. A new command is one row plus its engine.
// Hooks left empty take the default named beside them.
struct CommandRow {
    Command command;
    const char *name;
    const char *usage = ""; // its lines under "Commands:" in --help; empty: not listed there
    // Takes the command's own arguments, which come before the targets (default: none).
    QString (*takeArguments)(QStringList &positionals, Request &request) = nullptr;
    // What the command needs on its line, checked once the targets are known (default: nothing).
    QString (*checkRequest)(const Request &request) = nullptr;
    // Its files, checked (and loaded) before anything is sent (default: nothing).
    QString (*checkInputs)(Request &request) = nullptr;
    // A command that runs on no reader: prints its answer to `out`, returns the exit code.
    int (*answer)(const Request &request, QTextStream &out) = nullptr;
    // The operation, configured and ready to start(); empty: runs on no link (ports).
    std::unique_ptr<link::ReaderOperation> (*make)(const JobContext &context) = nullptr;
    // The settings the target's link opens with (default: the target's own).
    link::LinkSettings (*linkSettings)(const Target &target) = nullptr;
    // Names the step a run is in (default: the command's name).
    QString (*stepName)(const link::OperationData &data) = nullptr;
    // Turns the engine's result into varo-cli's verdict (default: as the engine says).
    void (*judge)(Verdict &verdict, const link::OperationData &data,
                  const Request &request) = nullptr;
    // The report's "data" object (default: empty).
    QJsonObject (*dataJson)(const link::OperationData &data) = nullptr;
    // The progress text while it runs (default: none).
    QString (*progress)(const link::OperationData &data) = nullptr;
    // Appended to a failure's message (default: nothing).
    QString (*failureNote)(const link::OperationData &data) = nullptr;
    // Whether a successful run changed the reader, or with --check would (default: it did not).
    bool (*changed)(const link::OperationData &data) = nullptr;
    // What it reads before it acts, each step with its own wake-up (default: nothing; --check
    // reads the firmware identification).
    QList<utilities::MaintenanceStep> (*look)(const Request &request) = nullptr;
    // What it does given what it read (default: act); may note what it found in `looked`.
    Plan (*plan)(const Request &request, link::OperationData &looked) = nullptr;
    bool readOnly = false;     // changes nothing on a reader: --check runs it as it is
    bool acknowledged = false; // its commands are acknowledged by a reply: --expect-reply
};

// For rows whose every run that acts changes the reader: changed unless a look found nothing
// to do.
bool alwaysChanged(const link::OperationData &data);

// The steps --check reads for `row` (its own look, or the firmware identification) and the name
// of a look step in failure messages ("memory usage").
QList<utilities::MaintenanceStep> checkSteps(const CommandRow &row, const Request &request);
QString lookStepName(utilities::Verb verb);

std::span<const CommandRow> commandRows();
const CommandRow &commandRow(Command command);

// The verdict of an operation that ended with `result`: the row's judgement, then the texts
// every command shares ("<step> done" for a silent success, "failed" for a silent failure).
Verdict judge(const CommandRow &row, const link::OperationResult &result,
              const link::OperationData &data, const Request &request);

} // namespace varo::cli
