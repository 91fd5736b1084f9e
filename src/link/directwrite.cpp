#include "directwrite.h"

#include <cerrno>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace varo::link {

qsizetype writeWithoutQueue(qintptr fd, QByteArrayView bytes, bool socket) {
#ifdef Q_OS_UNIX
    if (fd < 0)
        return 0;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const char *from = bytes.data() + done;
        const auto count = std::size_t(bytes.size() - done);
        // MSG_NOSIGNAL: a peer that has gone away is reported as an error, not SIGPIPE.
        const ssize_t written = socket ? ::send(int(fd), from, count, MSG_NOSIGNAL | MSG_DONTWAIT)
                                       : ::write(int(fd), from, count);
        if (written > 0) {
            done += written;
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        break; // would block, or an error the Qt device reports when it tries
    }
    return done;
#else
    Q_UNUSED(fd);
    Q_UNUSED(bytes);
    Q_UNUSED(socket);
    return 0;
#endif
}

} // namespace varo::link
