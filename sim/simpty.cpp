#include "sim/simpty.h"

#include "sim/readersimulator.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

namespace varo::sim {

namespace {

// How often a master without a peer looks for the slave being opened again.
constexpr int kPeerRetryMs = 50;
constexpr qsizetype kReadChunk = 4096;

} // namespace

SimPty::SimPty(ReaderSimulator *sim, QObject *parent)
    : QObject(parent)
    , m_sim(sim) {
    m_retryTimer = new QTimer(this);
    m_retryTimer->setSingleShot(true);
    m_retryTimer->setInterval(kPeerRetryMs);
    connect(m_retryTimer, &QTimer::timeout, this, [this] {
        if (!m_readNotifier) {
            return;
        }
        // A slave opened again clears the hang-up; a peer that only listens is served too.
        pollfd probe{m_master, POLLIN, 0};
        if (::poll(&probe, 1, 0) >= 0 && !(probe.revents & POLLHUP)) {
            m_peer = Peer::Present;
        }
        m_readNotifier->setEnabled(true);
    });
    connect(m_sim, &ReaderSimulator::bytesToSend, this, &SimPty::write);
    connect(m_sim, &ReaderSimulator::closeRequested, this, &SimPty::closeMaster);
}

SimPty::~SimPty() {
    closeMaster();
}

namespace {

// Nothing at `path`, or a symbolic link to a pseudo-terminal as this simulator makes: the only
// things it may replace or remove. A real file, a device node or a link elsewhere is kept.
bool mayReplace(const QString &path) {
    const QFileInfo existing(path);
    if (!existing.exists() && !existing.isSymLink()) {
        return true;
    }
    return existing.isSymLink() && existing.symLinkTarget().startsWith(QLatin1String("/dev/pts/"));
}

} // namespace

bool SimPty::setLinkPath(const QString &path) {
    if (!mayReplace(path) || !mayReplace(path + QStringLiteral(".new"))) {
        return false;
    }
    removeLink();
    m_linkPath = path;
    return m_master < 0 || pointLink();
}

QString SimPty::linkPath() const {
    return m_linkPath;
}

// Made under a temporary name and renamed over the old link, so the path never dangles while
// the link is re-pointed.
bool SimPty::pointLink() {
    if (m_linkPath.isEmpty()) {
        return true;
    }
    const QString temporary = m_linkPath + QStringLiteral(".new");
    if (!mayReplace(temporary) || !mayReplace(m_linkPath)) {
        return false; // something was put there since setLinkPath()
    }
    QFile::remove(temporary);
    if (::symlink(QFile::encodeName(m_slavePath).constData(),
                  QFile::encodeName(temporary).constData()) != 0) {
        return false;
    }
    if (::rename(QFile::encodeName(temporary).constData(),
                 QFile::encodeName(m_linkPath).constData()) != 0) {
        QFile::remove(temporary);
        return false;
    }
    return true;
}

// Removes the link only while it points at this simulator's slave.
void SimPty::removeLink() {
    if (!m_linkPath.isEmpty() && !m_slavePath.isEmpty() &&
        QFileInfo(m_linkPath).symLinkTarget() == m_slavePath) {
        QFile::remove(m_linkPath);
    }
}

bool SimPty::open() {
    closeMaster();
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0) {
        return false;
    }
    const char *name = nullptr;
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || !(name = ::ptsname(master))) {
        ::close(master);
        return false;
    }
    const QString path = QString::fromLocal8Bit(name);

    // Raw line discipline on the slave before anyone else opens it: no echo, no CR/LF
    // translation, no software flow control. The settings outlive this descriptor.
    const int slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) {
        ::close(master);
        return false;
    }
    termios settings{};
    bool raw = ::tcgetattr(slave, &settings) == 0;
    if (raw) {
        ::cfmakeraw(&settings);
        settings.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
        settings.c_cc[VMIN] = 1;
        settings.c_cc[VTIME] = 0;
        raw = ::tcsetattr(slave, TCSANOW, &settings) == 0;
    }
    ::close(slave);
    if (!raw) {
        ::close(master);
        return false;
    }

    m_master = master;
    m_slavePath = path;
    m_writeBuffer.clear();
    m_peer = Peer::Unknown;
    if (!pointLink()) {
        closeMaster();
        return false;
    }
    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &SimPty::readMaster);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &SimPty::flushWrites);
    return true;
}

QString SimPty::slavePath() const {
    return m_slavePath;
}

int SimPty::masterFd() const {
    return m_master;
}

bool SimPty::isOpen() const {
    return m_master >= 0;
}

qint64 SimPty::bytesToWrite() const {
    return m_writeBuffer.size();
}

void SimPty::closeMaster() {
    if (m_master < 0) {
        return;
    }
    // The read notifier may be the one whose signal is being handled right now.
    for (QSocketNotifier *notifier : {m_readNotifier, m_writeNotifier}) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    m_readNotifier = nullptr;
    m_writeNotifier = nullptr;
    m_retryTimer->stop();
    ::close(m_master);
    m_master = -1;
    m_writeBuffer.clear();
    m_peer = Peer::Unknown;
    if (m_sim) {
        m_sim->linkReset();
    }
    removeLink();
}

void SimPty::readMaster() {
    QByteArray chunk(kReadChunk, Qt::Uninitialized);
    for (;;) {
        if (m_master < 0) {
            return;
        }
        const ssize_t count = ::read(m_master, chunk.data(), size_t(chunk.size()));
        if (count > 0) {
            m_peer = Peer::Present;
            if (m_sim) {
                m_sim->feed(chunk.left(count));
            }
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_peer = Peer::Present;
            return;
        }
        // EIO (or end of file): nobody has the slave open.
        peerAbsent();
        return;
    }
}

// The utility closed the slave: that is the end of its connection. Output for it is dropped and
// the master keeps looking, at a gentle pace, for the slave being opened again.
void SimPty::peerAbsent() {
    m_readNotifier->setEnabled(false);
    m_retryTimer->start();
    if (m_peer != Peer::Absent) {
        m_peer = Peer::Absent;
        m_writeBuffer.clear();
        m_writeNotifier->setEnabled(false);
        if (m_sim) {
            m_sim->linkReset();
        }
        emit peerGone();
    }
}

void SimPty::write(const QByteArray &bytes) {
    if (m_master < 0 || m_peer == Peer::Absent) {
        return;
    }
    m_writeBuffer += bytes;
    flushWrites();
}

void SimPty::flushWrites() {
    while (m_master >= 0 && !m_writeBuffer.isEmpty()) {
        const ssize_t count =
            ::write(m_master, m_writeBuffer.constData(), size_t(m_writeBuffer.size()));
        if (count > 0) {
            m_writeBuffer.remove(0, count);
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_writeNotifier->setEnabled(true);
            return;
        }
        m_writeBuffer.clear();
        break;
    }
    if (m_writeNotifier) {
        m_writeNotifier->setEnabled(false);
    }
}

} // namespace varo::sim
