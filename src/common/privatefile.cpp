#include "privatefile.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varo {

std::optional<QString> createPrivateFile(QFile &file, const QString &path, ExistingFile existing) {
    file.close();
    const QByteArray name = QFile::encodeName(path);
    int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC;
    flags |= existing == ExistingFile::Refuse ? O_EXCL : O_TRUNC;
    const int fd = ::open(name.constData(), flags, 0600);
    if (fd < 0) {
        const int error = errno;
        if (error == EEXIST)
            return QStringLiteral("the file exists");
        if (error == ELOOP)
            return QStringLiteral("it is a symbolic link");
        if (error == EISDIR)
            return QStringLiteral("it is a folder");
        return QString::fromLocal8Bit(std::strerror(error));
    }
    // An existing file keeps its mode when opened: make it private too (not a device node).
    struct stat info {};
    if (::fstat(fd, &info) != 0 || (S_ISREG(info.st_mode) && ::fchmod(fd, 0600) != 0)) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return reason;
    }
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle)) {
        const QString reason = file.errorString();
        ::close(fd);
        return reason;
    }
    return std::nullopt;
}

} // namespace varo
