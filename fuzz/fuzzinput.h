#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace varo::fuzz {

// Reads a fuzzer's input as a stream of small values; past the end every read gives 0 and
// atEnd() turns true.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t *data, std::size_t size)
        : m_data(data)
        , m_size(size) {}

    bool atEnd() const { return m_at >= m_size; }
    std::uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::uint16_t word() { return std::uint16_t(byte() << 8 | byte()); }
    // Up to `count` raw bytes.
    QByteArray bytes(std::size_t count) {
        const std::size_t n = count < m_size - m_at ? count : m_size - m_at;
        QByteArray out(reinterpret_cast<const char *>(m_data + m_at), qsizetype(n));
        m_at += n;
        return out;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

// Stops the fuzzer with a message naming the broken property; libFuzzer keeps the input.
[[noreturn]] void fail(const char *what);
#define VARO_FUZZ_CHECK(condition)                                                                 \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::varo::fuzz::fail(#condition);                                                        \
    } while (false)

} // namespace varo::fuzz
