#pragma once

#include <QString>

#include <optional>

class QFile;

namespace varo {

// How createPrivateFile() treats a file already at the path.
enum class ExistingFile {
    Refuse, // created exclusively: an existing file (or link) is an error
    Replace // an existing regular file is emptied and made private; a symbolic link is refused
};

// Opens `file` for writing (unbuffered) on a new file at `path` with mode 0600, never following
// a symbolic link at `path` (O_CREAT|O_NOFOLLOW, and O_EXCL for ExistingFile::Refuse). For
// files that hold card numbers and other records. Returns the reason on failure, in words for
// the user ("the file exists", "it is a symbolic link"); `file` is then closed. The QFile keeps
// no name: callers name the path in their messages.
std::optional<QString> createPrivateFile(QFile &file, const QString &path,
                                         ExistingFile existing = ExistingFile::Refuse);

} // namespace varo
