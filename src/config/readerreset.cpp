#include "readerreset.h"

#include "progresslog.h"

#include "link/readerlink.h"

namespace varo::config {

ReaderReset::ReaderReset(link::ReaderLink *link, ProgressLog *log, QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_log(log) {}

bool ReaderReset::start() {
    if (!m_link)
        return false;
    if (!m_link->beginOperation(kOperationName)) {
        emit refused(m_link->activeOperation());
        return false;
    }
    m_log->clear();
    m_log->printLine(ProgressList::Picture1, QStringLiteral("Resetting Reader"));
    static const QByteArray kResetCommand("\0U1", 3);
    const bool written = m_link->sendCommand(kResetCommand);
    if (written)
        m_log->printLine(ProgressList::Picture1, QStringLiteral("Reset Complete"));
    m_link->endOperation(kOperationName);
    emit finished(written);
    return true;
}

} // namespace varo::config
