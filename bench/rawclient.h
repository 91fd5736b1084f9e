#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

namespace varo::bench {

// A baseline's way of saying the exchange did not happen as it should.
struct BenchError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The baseline client: a file descriptor to the simulator, used with blocking writes and
// poll()-guarded reads, nothing else. Received bytes that a read does not consume stay in a
// small buffer for the next read, as a serial port's input buffer would keep them.
class RawClient {
public:
    static constexpr std::chrono::milliseconds kReadTimeout{5000};

    RawClient() = default;
    ~RawClient();
    RawClient(RawClient &&other) noexcept;
    RawClient &operator=(RawClient &&other) noexcept;
    RawClient(const RawClient &) = delete;
    RawClient &operator=(const RawClient &) = delete;

    // TCP to 127.0.0.1:port with Nagle off, as the utility's socket.
    static RawClient connectTcp(quint16 port);
    // The slave side of a pseudo-terminal, raw.
    static RawClient openPty(const QString &path);

    bool isTcp() const { return m_tcp; }
    void writeAll(const QByteArray &bytes);
    void writeByte(char byte);
    // One line: the bytes before the next CR (the CR is consumed).
    QByteArray readLine();
    // Exactly `count` bytes.
    QByteArray readExactly(qsizetype count);
    char readByte();
    // The next bytes must be `expected`.
    void expect(const QByteArray &expected);
    // Drops what is waiting now, keeping the last `keep` bytes.
    void drain(qsizetype keep = 0);

private:
    explicit RawClient(int fd, bool tcp)
        : m_fd(fd)
        , m_tcp(tcp) {}
    // Appends what arrives within the read timeout; throws when nothing does.
    void fill();

    int m_fd = -1;
    bool m_tcp = false;
    std::string m_buffer; // received, not yet consumed from m_start on
    std::size_t m_start = 0;
    std::vector<char> m_chunk; // one read's worth
};

} // namespace varo::bench
