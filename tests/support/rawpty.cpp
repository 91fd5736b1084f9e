#include "rawpty.h"

#include <QDeadlineTimer>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

RawPty::RawPty() {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0)
        return;
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        closeMaster();
        return;
    }
    m_slavePath = QString::fromLocal8Bit(ptsname(m_master));
    // Configure the slave as raw through a short-lived descriptor.
    const int slave = ::open(m_slavePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (slave >= 0) {
        termios tio{};
        if (tcgetattr(slave, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(slave, TCSANOW, &tio);
        }
        ::close(slave);
    }
}

RawPty::~RawPty() {
    closeMaster();
}

bool RawPty::write(const QByteArray &bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EAGAIN) {
                QTest::qWait(1);
                continue;
            }
            return false;
        }
        done += n;
    }
    return true;
}

QByteArray RawPty::readAvailable() {
    QByteArray out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, n);
    }
    return out;
}

QByteArray RawPty::readAtLeast(qsizetype count, int timeoutMs) {
    QByteArray out;
    QDeadlineTimer deadline(timeoutMs);
    while (out.size() < count && !deadline.hasExpired()) {
        out.append(readAvailable());
        if (out.size() < count)
            QTest::qWait(2);
    }
    return out;
}

void RawPty::closeMaster() {
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}
