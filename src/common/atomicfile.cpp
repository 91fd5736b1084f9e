#include "atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varo {

namespace {

detail::SyncFunction g_sync = ::fsync;

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// Writes all of `contents` to `fd`; the system's reason when a write fails.
std::optional<QString> writeAll(int fd, const QByteArray &contents) {
    qsizetype written = 0;
    while (written < contents.size()) {
        const ssize_t n =
            ::write(fd, contents.constData() + written, size_t(contents.size() - written));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return systemReason(errno);
        }
        if (n == 0)
            return QStringLiteral("the disk took no more data");
        written += n;
    }
    return std::nullopt;
}

} // namespace

detail::SyncFunction detail::setSyncFunctionForTests(SyncFunction sync) {
    SyncFunction previous = g_sync;
    g_sync = sync ? sync : ::fsync;
    return previous;
}

std::optional<QString> writeFileAtomically(const QString &path, const QByteArray &contents,
                                           FileAccess access) {
    const QFileInfo given(path);
    const QString target = given.isSymLink() ? given.symLinkTarget() : given.absoluteFilePath();
    const QString folder = QFileInfo(target).absolutePath();
    if (QFileInfo(target).isDir())
        return QStringLiteral("it is a folder");

    QByteArray temporary = QFile::encodeName(target) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return systemReason(errno);
    const auto fail = [&](const QString &reason) -> std::optional<QString> {
        ::close(fd);
        ::unlink(temporary.constData());
        return reason;
    };

    mode_t mode = 0600;
    if (access == FileAccess::Shared) {
        struct stat old {};
        mode = ::stat(QFile::encodeName(target).constData(), &old) == 0 ? (old.st_mode & 07777)
                                                                        : (0666 & ~currentUmask());
    }
    if (::fchmod(fd, mode) != 0)
        return fail(systemReason(errno));
    if (const std::optional<QString> reason = writeAll(fd, contents))
        return fail(*reason);
    // A full or failing disk may accept the writes into the cache and fail only here.
    if (g_sync(fd) != 0)
        return fail(QStringLiteral("could not be written to the disk: ") + systemReason(errno));
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return systemReason(error);
    }
    if (::rename(temporary.constData(), QFile::encodeName(target).constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return systemReason(error);
    }
    // The rename itself reaches the disk only with the folder.
    const int dir =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return QStringLiteral("the file was replaced, but its folder could not be opened to "
                              "write it to the disk: ") +
               systemReason(errno);
    const int synced = g_sync(dir);
    const int syncError = errno;
    ::close(dir);
    if (synced != 0)
        return QStringLiteral("the file was replaced, but its folder could not be written to "
                              "the disk: ") +
               systemReason(syncError);
    return std::nullopt;
}

} // namespace varo
