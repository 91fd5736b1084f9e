#include "rawclient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <utility>

namespace varo::bench {

namespace {

constexpr qsizetype kReadChunk = 64 * 1024;

[[noreturn]] void fail(const char *what) {
    throw BenchError(std::string(what) + ": " + std::strerror(errno));
}

} // namespace

RawClient::~RawClient() {
    if (m_fd >= 0)
        ::close(m_fd);
}

RawClient::RawClient(RawClient &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_tcp(other.m_tcp)
    , m_buffer(std::move(other.m_buffer))
    , m_start(other.m_start) {}

RawClient &RawClient::operator=(RawClient &&other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_tcp = other.m_tcp;
        m_buffer = std::move(other.m_buffer);
        m_start = other.m_start;
    }
    return *this;
}

RawClient RawClient::connectTcp(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        fail("socket");
    RawClient client(fd, true);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        fail("connect");
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return client;
}

RawClient RawClient::openPty(const QString &path) {
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        fail("open pty");
    RawClient client(fd, false);
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        fail("tcgetattr");
    ::cfmakeraw(&settings);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &settings) != 0)
        fail("tcsetattr");
    return client;
}

void RawClient::writeAll(const QByteArray &bytes) {
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail("write");
        }
        data += written;
        left -= written;
    }
}

void RawClient::writeByte(char byte) {
    for (;;) {
        const ssize_t written = ::write(m_fd, &byte, 1);
        if (written == 1)
            return;
        if (written < 0 && errno != EINTR)
            fail("write");
    }
}

void RawClient::fill() {
    if (m_start == m_buffer.size()) {
        m_buffer.clear(); // keeps its capacity
        m_start = 0;
    }
    pollfd entry{m_fd, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, int(kReadTimeout.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            fail("poll");
        if (ready == 0)
            throw BenchError("no answer within the read timeout");
        break;
    }
    m_chunk.resize(kReadChunk);
    ssize_t got;
    do {
        got = ::read(m_fd, m_chunk.data(), m_chunk.size());
    } while (got < 0 && errno == EINTR);
    if (got == 0)
        throw BenchError("the simulator closed the link");
    if (got < 0)
        fail("read");
    m_buffer.append(m_chunk.data(), std::size_t(got));
}

QByteArray RawClient::readLine() {
    for (;;) {
        const std::size_t cr = m_buffer.find('\r', m_start);
        if (cr != std::string::npos) {
            QByteArray line(m_buffer.data() + m_start, qsizetype(cr - m_start));
            m_start = cr + 1;
            return line;
        }
        fill();
    }
}

QByteArray RawClient::readExactly(qsizetype count) {
    while (m_buffer.size() - m_start < std::size_t(count))
        fill();
    QByteArray bytes(m_buffer.data() + m_start, count);
    m_start += std::size_t(count);
    return bytes;
}

char RawClient::readByte() {
    if (m_start == m_buffer.size())
        fill();
    return m_buffer[m_start++];
}

void RawClient::expect(const QByteArray &expected) {
    const QByteArray got = readExactly(expected.size());
    if (got != expected)
        throw BenchError("unexpected answer \"" + got.toStdString() + "\"");
}

void RawClient::drain(qsizetype keep) {
    pollfd entry{m_fd, POLLIN, 0};
    while (::poll(&entry, 1, 0) > 0 && (entry.revents & POLLIN))
        fill();
    const std::size_t waiting = m_buffer.size() - m_start;
    if (waiting > std::size_t(keep))
        m_start += waiting - std::size_t(keep);
}

} // namespace varo::bench
