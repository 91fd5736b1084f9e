#pragma once

#include "link/connectfailure.h"
#include "link/operationresult.h"

#include <QString>

namespace varo::cli {

// Reason codes of a target's "exit" field (the JSON report and scripts rely on their names).
enum class Reason {
    Ok,          // "ok"
    Link,        // "link": the link could not open or broke
    Refused,     // "refused": TCP connection refused, or the link was busy
    Timeout,     // "timeout": the reader did not answer in time
    WrongReply,  // "wrong-reply": an answer that is not the expected one
    File,        // "file": a local file could not be read or written
    Interrupted, // "interrupted": Ctrl+C, or the run ended without a result
    Skipped,     // "skipped": not started, a rollout stopped before its batch
};

QString reasonName(Reason reason);
// The reason for an operation's result code.
Reason reasonFor(link::ResultCode code);
// The reason for a failed connect.
Reason reasonFor(link::ConnectFailure failure);

} // namespace varo::cli
