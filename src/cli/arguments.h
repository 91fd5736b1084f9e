#pragma once

#include "cli/request.h"

#include <QString>
#include <QStringList>

namespace varo::cli {

struct ParsedArguments {
    enum class Action { Run, Help, Version, UsageError };

    Action action = Action::UsageError;
    Request request; // valid when action is Run
    QString error;   // set when action is UsageError: one line naming what is wrong
};

// Reads the command line (without the program name). --help and --version win over anything
// else. Reads the --targets files; touches nothing else and sends nothing. Options may come
// before or after the command; "--" ends the options.
ParsedArguments parseArguments(const QStringList &arguments);

// Checks the files a request names before anything is sent: the profile and the image are
// readable (the image not empty), an upload's folder exists when several targets share it, no
// two targets write the same upload file. Loads the programming settings (the defaults, then
// the profile) into request.programSettings, once. Empty when all is well, else the message.
QString checkInputs(Request &request);

// The text of --help, exit codes included.
QString usageText();

} // namespace varo::cli
