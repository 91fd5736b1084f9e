#include "programrun.h"

#include "commandtable.h"
#include "configmodel.h"
#include "progresslog.h"
#include "validation.h"

#include "link/readerlink.h"

namespace varo::config {

using link::ResultCode;
using link::WaitEnd;

namespace {
const QString kSendFailed = QStringLiteral("Could not send to the reader: ");
const QString kDisconnected = QStringLiteral("Programming stopped: the link was disconnected");
const QString kLinkError = QStringLiteral("Programming stopped: link error: ");
} // namespace

ProgramRun::ProgramRun(link::ReaderLink *link, const ConfigModel *model, ProgressLog *log,
                       QObject *parent)
    : link::ReaderOperation(parent)
    , m_link(link)
    , m_model(model)
    , m_log(log) {}

ProgramRun::~ProgramRun() {
    if (m_active && m_link)
        m_link->cancelReply();
}

bool ProgramRun::start() {
    if (!m_link)
        return false;
    link::OperationClaim claim = m_link->claim(link::Operation::ProgramReader);
    if (!claim) {
        emit refused(m_link->activeOperationName());
        return false;
    }
    m_claim = std::move(claim);
    m_active = true;
    m_data = {};

    m_log->clear();
    m_log->printLine(ProgressList::Left, QStringLiteral("Checking Parameters"));
    const ValidationResult checked = this->checked();
    for (const QString &line : checked.lines)
        m_log->printLine(ProgressList::Left, line);
    if (!checked.passed) {
        finish(ResultCode::Invalid, checked.lines.join(u'\n'));
        return true;
    }

    // The wake-up sets the send-failure flag itself, so this test sees only its own write.
    m_link->sendWakeup();
    if (m_link->sendFailed()) {
        // Nothing more goes out; the list says why instead of ending silently.
        const QString message = kSendFailed + m_link->lastError();
        m_log->printLine(ProgressList::Left, message);
        finish(ResultCode::LinkError, message);
        return true;
    }
    m_log->printLine(ProgressList::Left, QStringLiteral("Starting Communications"));
    m_step = 0;
    sendStep();
    return true;
}

void ProgramRun::sendStep() {
    const CommandRow &row = commandTable().at(m_step);
    const QByteArray command = commandAt(m_step);
    const QString commandText = QString::fromLatin1(command);
    m_data.replies.append({commandText, {}});
    if (m_step > 0)
        m_log->print(row.list, commandText);
    // A failed write is not tested here: the reply wait then runs into its time-out.
    m_link->sendCommand(command);
    if (!m_link->readReply(this, [this](const link::ReplyResult &result) { onReply(result); })) {
        // Someone else is waiting on the link although this run holds it.
        stopOnLink(QStringLiteral("another reply wait is running"), ResultCode::Busy);
    }
}

namespace {

// The checks and command texts of the last settings a run used, by model revision (unique
// across models): runs with the same settings, one after another on a screen or for every
// reader of a varo-cli batch, check and build once.
struct Prepared {
    quint64 checkedRevision = 0;
    ValidationResult checked;
    quint64 commandsRevision = 0;
    QList<QByteArray> commands;
};

Prepared &prepared() {
    thread_local Prepared cache;
    return cache;
}

} // namespace

ValidationResult ProgramRun::checked() const {
    Prepared &cache = prepared();
    if (cache.checkedRevision != m_model->revision()) {
        cache.checked = validate(*m_model);
        cache.checkedRevision = m_model->revision();
    }
    return cache.checked;
}

QByteArray ProgramRun::commandAt(qsizetype step) const {
    // Built again when the model changed, even during a run: a command goes out as the
    // settings stand when it is sent.
    Prepared &cache = prepared();
    if (cache.commandsRevision != m_model->revision()) {
        cache.commands.clear();
        for (const CommandRow &row : commandTable())
            cache.commands.append(buildCommand(row, *m_model));
        cache.commandsRevision = m_model->revision();
    }
    return cache.commands.at(step);
}

void ProgramRun::onReply(const link::ReplyResult &result) {
    if (!m_active)
        return;
    const CommandRow &row = commandTable().at(m_step);
    switch (result.end) {
    case WaitEnd::Reply:
        break;
    case WaitEnd::Timeout:
        if (m_step > 0)
            m_log->printLine(row.list, QStringLiteral(" "));
        m_log->printLine(row.list, row.timeoutMessage);
        finish(ResultCode::Timeout, row.timeoutMessage);
        return;
    case WaitEnd::Disconnected:
        stopOnLink(kDisconnected, ResultCode::Disconnected);
        return;
    case WaitEnd::LinkError:
        stopOnLink(kLinkError + result.linkError, ResultCode::LinkError);
        return;
    }
    const QString reply = QString::fromLatin1(result.reply);
    m_data.replies.last().reply = reply;
    if (m_step == 0)
        m_log->printLine(row.list, reply);
    else
        m_log->print(row.list, QStringLiteral("  [") + reply + QStringLiteral("]\n"));

    if (++m_step < commandTable().size()) {
        sendStep();
        return;
    }
    m_log->printLine(ProgressList::Right, QStringLiteral(" "));
    m_log->printLine(ProgressList::Right, QStringLiteral("Programming Complete"));
    finish(ResultCode::Ok, QStringLiteral("Programming Complete"));
}

void ProgramRun::stopOnLink(const QString &why, ResultCode code) {
    // The command text of the step may still wait for its reply on the same line: end that
    // line first, then say why the run stopped.
    const CommandRow &row = commandTable().at(m_step);
    if (m_step > 0)
        m_log->printLine(row.list, QStringLiteral(" "));
    m_log->printLine(row.list, why);
    finish(code, why);
}

void ProgramRun::finish(ResultCode code, const QString &message) {
    m_active = false;
    m_claim.release();
    emit finished({code, message});
}

} // namespace varo::config
