#include "replyframer.h"

namespace varo::link {

namespace {
constexpr char kCr = '\r';
}

std::optional<QByteArray> ReplyFramer::take(QByteArray &pending) const {
    if (m_mode == Mode::Tcp) {
        if (pending.isEmpty() || pending.back() != kCr)
            return std::nullopt;
        QByteArray reply = pending.left(pending.size() - 1);
        pending.clear();
        return reply;
    }
    const qsizetype cr = pending.indexOf(kCr);
    if (cr < 0)
        return std::nullopt;
    QByteArray reply = pending.left(cr);
    pending.remove(0, cr + 1);
    return reply;
}

} // namespace varo::link
