#include "operation.h"

#include "linksettings.h"

namespace varo::link {

QString operationName(Operation operation) {
    switch (operation) {
    case Operation::ProgramReader:
        return QStringLiteral("Program Reader");
    case Operation::ResetReader:
        return QStringLiteral("Reset Reader");
    case Operation::Utilities:
        return QStringLiteral("Utilities");
    case Operation::Upload:
        return QStringLiteral("Upload Stored Data");
    case Operation::Terminal:
        return QStringLiteral("Terminal Mode");
    case Operation::FirmwareDownload:
        return QStringLiteral("Firmware download");
    case Operation::Loopback:
        return QStringLiteral("Loopback Test");
    }
    return {};
}

OperationResult resultOf(const LinkEnd &end) {
    if (end.why == WaitEnd::LinkError)
        return {ResultCode::LinkError, end.reason};
    return {ResultCode::Disconnected, statusText(LinkState::Disconnected)};
}

OperationResult resultOf(const ReplyResult &reply, const QString &timeoutMessage) {
    switch (reply.end) {
    case WaitEnd::Reply:
        return {};
    case WaitEnd::Timeout:
        return {ResultCode::Timeout, timeoutMessage};
    case WaitEnd::Disconnected:
        return {ResultCode::Disconnected, statusText(LinkState::Disconnected)};
    case WaitEnd::LinkError:
        return {ResultCode::LinkError, reply.linkError};
    }
    return {ResultCode::LinkError, reply.linkError};
}

} // namespace varo::link
