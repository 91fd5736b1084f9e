#pragma once

namespace varo::cli {

// The process exit codes of varo-cli; scripts rely on them.
inline constexpr int kExitOk = 0;     // every target succeeded
inline constexpr int kExitFailed = 1; // at least one target failed (or the run was interrupted)
inline constexpr int kExitUsage = 2;  // usage or input error, found before anything was sent

} // namespace varo::cli
