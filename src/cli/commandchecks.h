#pragma once

#include "cli/request.h"

#include <QString>
#include <QStringList>

namespace varo::cli {

// The command rows' own checks of a request, each returning the message of what is wrong
// (empty when all is well).

// Command arguments before the targets: mode's MODE, flash's IMAGE.
QString takeModeArgument(QStringList &positionals, Request &request);
QString takeImageArgument(QStringList &positionals, Request &request);

// What a command needs on its line: clear-memory's --yes, upload's --out.
QString needsConfirmation(const Request &request);
QString needsOutPath(const Request &request);

// Files, before anything is sent: the profile readable and valid, without a key that names no
// setting unless --allow-unknown-keys (its settings loaded into the request, its warnings and
// keys into request.profileNotes), the image readable and not empty, the upload files new
// (an existing single file only with --overwrite), distinct and in a folder that exists.
QString loadProgramSettings(Request &request);
QString checkImage(Request &request);
QString checkUploadFiles(Request &request);

// What the checks noted without refusing (profile warnings, missing and ignored keys), one line
// each, control characters by name: varo-cli prints them on stderr.
QStringList inputNotes(const Request &request);

} // namespace varo::cli
