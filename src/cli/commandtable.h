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
    void (*judge)(Verdict &verdict, const link::OperationData &data) = nullptr;
    // The report's "data" object (default: empty).
    QJsonObject (*dataJson)(const link::OperationData &data) = nullptr;
    // The progress text while it runs (default: none).
    QString (*progress)(const link::OperationData &data) = nullptr;
    // Appended to a failure's message (default: nothing).
    QString (*failureNote)(const link::OperationData &data) = nullptr;
    // Whether a successful run changed the reader (default: it did not).
    bool (*changed)(const link::OperationData &data) = nullptr;
};

// For rows whose every successful run changes the reader.
bool alwaysChanged(const link::OperationData &data);

std::span<const CommandRow> commandRows();
const CommandRow &commandRow(Command command);

// The verdict of an operation that ended with `result`: the row's judgement, then the texts
// every command shares ("<step> done" for a silent success, "failed" for a silent failure).
Verdict judge(const CommandRow &row, const link::OperationResult &result,
              const link::OperationData &data);

} // namespace varo::cli
