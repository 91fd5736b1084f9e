#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <optional>

namespace varo {

// Writes `contents` to `path` so that the file is either the whole new text or, on any failure,
// left as it was (written beside it, then renamed over it). Returns the reason on failure.
//
// Unbuffered, so every failed write is seen by write() itself: with a buffered QSaveFile a short
// write at the final flush (disk full, file size limit) can go unseen and the truncated file be
// committed over the good one.
inline std::optional<QString> writeFileAtomically(const QString &path, const QByteArray &contents) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    // A short write is followed by another, which fails with the reason.
    qint64 written = 0;
    while (written < contents.size()) {
        const qint64 n = file.write(contents.constData() + written, contents.size() - written);
        if (n <= 0)
            break;
        written += n;
    }
    if (written != contents.size() || file.error() != QFileDevice::NoError) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

} // namespace varo
