#include "programrun.h"

#include "commandtable.h"
#include "configmodel.h"
#include "progresslog.h"
#include "validation.h"

#include "link/readerlink.h"

namespace varo::config {

ProgramRun::ProgramRun(link::ReaderLink *link, const ConfigModel *model, ProgressLog *log,
                       QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_model(model)
    , m_log(log) {
    connect(link, &link::ReaderLink::statusChanged, this, &ProgramRun::onStatusChanged);
}

ProgramRun::~ProgramRun() {
    if (m_active && m_link) {
        m_link->cancelReply();
        m_link->endOperation(kOperationName);
    }
}

bool ProgramRun::start() {
    if (!m_link)
        return false;
    if (!m_link->beginOperation(kOperationName)) {
        emit refused(m_link->activeOperation());
        return false;
    }
    m_active = true;

    m_log->clear();
    m_log->printLine(ProgressList::Picture1, QStringLiteral("Checking Parameters"));
    const ValidationResult checked = validate(*m_model);
    for (const QString &line : checked.lines)
        m_log->printLine(ProgressList::Picture1, line);
    if (!checked.passed) {
        finish(Outcome::Invalid);
        return true;
    }

    // The wake-up sets the send-failure flag itself, so this test sees only its own write.
    m_link->sendWakeup();
    if (m_link->sendFailed()) {
        finish(Outcome::Abandoned);
        return true;
    }
    m_log->printLine(ProgressList::Picture1, QStringLiteral("Starting Communications"));
    m_step = 0;
    sendStep();
    return true;
}

void ProgramRun::sendStep() {
    const CommandRow &row = commandTable().at(m_step);
    const QByteArray command = buildCommand(row, *m_model);
    if (m_step > 0)
        m_log->print(row.list, QString::fromLatin1(command));
    // A failed write is not tested here: the reply wait then runs into its time-out.
    m_link->sendCommand(command);
    if (!m_link->readReply(this, [this](const link::ReplyResult &result) { onReply(result); })) {
        // Someone else is waiting on the link although this run holds it.
        finish(Outcome::LinkFailed);
    }
}

void ProgramRun::onReply(const link::ReplyResult &result) {
    if (!m_active)
        return;
    if (!result.linkError.isEmpty()) {
        finish(Outcome::LinkFailed);
        return;
    }
    const CommandRow &row = commandTable().at(m_step);
    if (result.timedOut) {
        if (m_step > 0)
            m_log->printLine(row.list, QStringLiteral(" "));
        m_log->printLine(row.list, row.timeoutMessage);
        finish(Outcome::CommandTimedOut);
        return;
    }
    const QString reply = QString::fromLatin1(result.reply);
    if (m_step == 0)
        m_log->printLine(row.list, reply);
    else
        m_log->printLine(row.list, QStringLiteral("  [") + reply + u']');

    if (++m_step < commandTable().size()) {
        sendStep();
        return;
    }
    m_log->printLine(ProgressList::Picture2, QStringLiteral(" "));
    m_log->printLine(ProgressList::Picture2, QStringLiteral("Programming Complete"));
    finish(Outcome::Complete);
}

void ProgramRun::onStatusChanged(const QString &status) {
    // Disconnecting abandons the reply wait without a callback; the run ends here instead.
    if (m_active && status == link::ReaderLink::kDisconnected) {
        m_link->cancelReply();
        finish(Outcome::Disconnected);
    }
}

void ProgramRun::finish(Outcome outcome) {
    m_active = false;
    if (m_link)
        m_link->endOperation(kOperationName);
    emit finished(outcome);
}

} // namespace varo::config
