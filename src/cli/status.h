#pragma once

#include <QString>

namespace varo::cli {

// What became of a target, in every report format ("status"); the reason code ("exit") stays
// beside it and tells why a failure happened.
enum class Status {
    Ok,          // "ok": done, the reader is as it was
    Changed,     // "changed": done, and the reader changed
    Unreachable, // "unreachable": the link could not be opened
    Failed,      // "failed": connected, but the command did not succeed
    Skipped,     // "skipped": not started (a rollout stopped before its batch)
    Interrupted, // "interrupted": Ctrl+C, or the run ended without a result
};

inline constexpr int kStatusCount = 6;

QString statusName(Status status);

} // namespace varo::cli
