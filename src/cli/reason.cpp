#include "cli/reason.h"

namespace varo::cli {

QString reasonName(Reason reason) {
    switch (reason) {
    case Reason::Ok:
        return QStringLiteral("ok");
    case Reason::Link:
        return QStringLiteral("link");
    case Reason::Refused:
        return QStringLiteral("refused");
    case Reason::Timeout:
        return QStringLiteral("timeout");
    case Reason::WrongReply:
        return QStringLiteral("wrong-reply");
    case Reason::File:
        return QStringLiteral("file");
    case Reason::Interrupted:
        return QStringLiteral("interrupted");
    case Reason::Skipped:
        return QStringLiteral("skipped");
    }
    return QStringLiteral("link");
}

Reason reasonFor(link::ResultCode code) {
    using link::ResultCode;
    switch (code) {
    case ResultCode::Ok:
        return Reason::Ok;
    case ResultCode::Timeout:
        return Reason::Timeout;
    case ResultCode::WrongReply:
        return Reason::WrongReply;
    case ResultCode::FileError:
        return Reason::File;
    case ResultCode::Cancelled:
        return Reason::Interrupted;
    case ResultCode::Invalid:
    case ResultCode::Busy:
        return Reason::Refused;
    case ResultCode::NotConnected:
    case ResultCode::LinkError:
    case ResultCode::Disconnected:
        return Reason::Link;
    }
    return Reason::Link;
}

Reason reasonFor(link::ConnectFailure failure) {
    switch (failure) {
    case link::ConnectFailure::Refused:
        return Reason::Refused;
    case link::ConnectFailure::TimedOut:
        return Reason::Timeout;
    default:
        return Reason::Link;
    }
}

} // namespace varo::cli
