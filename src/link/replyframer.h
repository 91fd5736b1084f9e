#pragma once

#include <QByteArray>

#include <optional>

namespace varo::link {

// Cuts reader replies out of the received byte stream. Pure: bytes in, replies out.
//
// Serial framing: a reply is the text before the first CR; what follows stays for the next read.
// TCP framing: the reply is everything received since the read began, and it ends only when a
// received block ends with CR; earlier CRs belong to the reply ("A\rB\r" gives "A\rB") and a
// block ending in CR LF does not end it.
class ReplyFramer {
public:
    enum class Mode { Serial, Tcp };

    explicit ReplyFramer(Mode mode = Mode::Serial)
        : m_mode(mode) {}

    Mode mode() const { return m_mode; }
    void setMode(Mode mode) { m_mode = mode; }

    // Looks for a complete reply in `pending` (the received bytes not yet consumed, the latest
    // block at its end). On success removes the reply and its CR from `pending`.
    std::optional<QByteArray> take(QByteArray &pending) const;

private:
    Mode m_mode;
};

} // namespace varo::link
