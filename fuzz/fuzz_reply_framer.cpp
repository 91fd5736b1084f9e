// The reply framer on arbitrary byte streams cut into arbitrary blocks.
//
// Input: one byte choosing the framing (odd: TCP), then blocks, each a length byte (0-31) and
// that many bytes. After every block the framer is asked for replies until it has none.

#include "fuzzinput.h"

#include "link/replyframer.h"

using varo::fuzz::FuzzInput;
using varo::link::ReplyFramer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzInput in(data, size);
    const bool tcp = in.byte() & 1;
    const ReplyFramer framer(tcp ? ReplyFramer::Mode::Tcp : ReplyFramer::Mode::Serial);

    QByteArray received; // every byte fed so far
    QByteArray taken;    // every reply taken, each followed by the CR it ended with
    QByteArray pending;
    while (!in.atEnd()) {
        const QByteArray block = in.bytes(in.byte() & 0x1f);
        received += block;
        pending += block;
        for (;;) {
            const QByteArray before = pending;
            const std::optional<QByteArray> reply = framer.take(pending);
            if (!reply) {
                VARO_FUZZ_CHECK(pending == before); // no reply: nothing consumed
                break;
            }
            if (tcp) {
                // A TCP reply is the whole of what had arrived, its last byte a CR.
                VARO_FUZZ_CHECK(pending.isEmpty());
            } else {
                // A serial reply ends at the first CR.
                VARO_FUZZ_CHECK(!reply->contains('\r'));
            }
            taken += *reply + '\r';
        }
        // Nothing is lost, duplicated or reordered.
        VARO_FUZZ_CHECK(taken + pending == received);
        if (!tcp)
            VARO_FUZZ_CHECK(!pending.contains('\r'));
        else
            VARO_FUZZ_CHECK(!pending.endsWith('\r'));
    }
    return 0;
}
