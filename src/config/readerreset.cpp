#include "readerreset.h"

#include "progresslog.h"

#include "link/readerlink.h"

namespace varo::config {

ReaderReset::ReaderReset(link::ReaderLink *link, ProgressLog *log, QObject *parent)
    : link::ReaderOperation(parent)
    , m_link(link)
    , m_log(log) {}

bool ReaderReset::start() {
    if (!m_link)
        return false;
    const link::OperationClaim claim = m_link->claim(link::Operation::ResetReader);
    if (!claim) {
        emit refused(m_link->activeOperationName());
        return false;
    }
    m_log->clear();
    m_log->printLine(ProgressList::Left, QStringLiteral("Resetting Reader"));
    static const QByteArray kResetCommand("\0U1", 3);
    // sendCommand() succeeds only once the write has been handed to the system.
    link::OperationResult result;
    if (m_link->sendCommand(kResetCommand)) {
        result = link::OperationResult::success(QStringLiteral("Reset Complete"));
    } else {
        result = link::OperationResult::failure(link::ResultCode::LinkError,
                                                QStringLiteral("Could not send to the reader: ") +
                                                    m_link->lastError());
    }
    m_log->printLine(ProgressList::Left, result.message);
    emit finished(result);
    return true;
}

} // namespace varo::config
