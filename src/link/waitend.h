#pragma once

#include <QByteArray>
#include <QString>

namespace varo::link {

// Why a wait on the link ended.
enum class WaitEnd {
    Reply,        // the awaited reply arrived
    Timeout,      // the reply timeout ran out (or the reply overflowed)
    Disconnected, // the user disconnected the link
    LinkError     // the medium broke; the reason comes with it
};

// Outcome of one read_reply.
struct ReplyResult {
    WaitEnd end = WaitEnd::Reply;
    QByteArray reply;  // the line without its CR; on a timeout, what had been collected
    QString linkError; // the medium's reason when end is LinkError

    bool ok() const { return end == WaitEnd::Reply; }
    bool timedOut() const { return end == WaitEnd::Timeout; }
};

// How the link ended under an operation's claim: Disconnected (by the user) or LinkError with
// the medium's reason.
struct LinkEnd {
    WaitEnd why = WaitEnd::Disconnected;
    QString reason;
};

} // namespace varo::link
