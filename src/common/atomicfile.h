#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace varo {

// Who may read a file written here.
enum class FileAccess {
    Shared,   // a new file gets the usual mode (0666 less the umask); a replaced one keeps its own
    OwnerOnly // 0600: the file holds card numbers or other records
};

// Writes `contents` to `path` so that the file is either the whole new text or, on any failure,
// left as it was: a temporary file beside it is written, synchronised to the disk and checked,
// renamed over `path`, and then the folder is synchronised and checked. A symbolic link at
// `path` is followed: its target is replaced. Returns the reason on failure (the caller names
// the file); after a failed folder synchronisation the new file is in place but may not survive
// a power loss, and the reason says so. Blocks the calling thread for the disk's time.
std::optional<QString> writeFileAtomically(const QString &path, const QByteArray &contents,
                                           FileAccess access = FileAccess::Shared);

namespace detail {
// The synchronisation call writeFileAtomically() uses; tests put one in that fails. Returns the
// one it replaces. Not thread-safe: set it before any save runs.
using SyncFunction = int (*)(int fd);
SyncFunction setSyncFunctionForTests(SyncFunction sync);
} // namespace detail

} // namespace varo
