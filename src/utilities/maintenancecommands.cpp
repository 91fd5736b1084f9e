#include "maintenancecommands.h"

#include "utilitytexts.h"

namespace varo::utilities {

using link::OperationResult;
using link::ResultCode;
using link::WaitEnd;

namespace {
const QByteArray kTimeSetReply = QByteArrayLiteral("O");
const QByteArray kClearedReply = QByteArrayLiteral("OK");

QByteArray commandOf(const LabelEntry &entry) {
    return QByteArray(entry.command.data(), qsizetype(entry.command.size()));
}
} // namespace

MaintenanceCommands::MaintenanceCommands(link::ReaderLink *link, QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_upload(link)
    , m_clock([] { return QDateTime::currentDateTime(); }) {
    connect(&m_upload, &UploadSession::statusTextChanged, this, &MaintenanceCommands::setStatus);
    connect(&m_upload, &UploadSession::finished, this, [this](const OperationResult &result) {
        if (m_state == State::Uploading)
            finish(result);
    });
}

MaintenanceCommands::~MaintenanceCommands() {
    if (m_link && m_state == State::AwaitingReply)
        m_link->cancelReply();
}

bool MaintenanceCommands::click(int index, const TimeAdjustment &adjustment) {
    if (isBusy())
        return false;
    if (!m_link || !m_link->isConnected()) {
        setStatus(texts::kNotConnected);
        emit finished({ResultCode::NotConnected, texts::kNotConnected});
        return true;
    }
    if (m_link->isBroken()) {
        // The medium is gone: nothing would answer, so nothing is sent.
        const QString reason = m_link->unusableReason();
        setStatus(reason);
        emit finished({ResultCode::LinkError, reason});
        return true;
    }
    // A reply wait learns of a disconnect through its callback; a question does not wait on
    // the link, so the claim ends it.
    m_claim = m_link->claim(kOperation, [this](const link::LinkEnd &end) {
        if (m_state == State::Asking) {
            finish({end.why == WaitEnd::Disconnected ? ResultCode::Disconnected
                                                     : ResultCode::LinkError,
                    end.reason});
        }
    });
    if (!m_claim) {
        setStatus(texts::kLinkBusy);
        emit finished({ResultCode::Busy, texts::kLinkBusy});
        return true;
    }
    ++m_click;
    setState(State::AwaitingReply);
    m_link->sendWakeup();
    if (const LabelEntry *entry = findLabel(index); entry && entry->action != Action::None)
        dispatch(*entry, adjustment);
    else
        finish();
    return true;
}

void MaintenanceCommands::dispatch(const LabelEntry &entry, const TimeAdjustment &adjustment) {
    const QByteArray command = commandOf(entry);
    switch (entry.action) {
    case Action::FirmwareId:
        emit firmwareIdChanged({});
        exchange(command, [this](const QByteArray &reply) {
            const QString text = replyText(reply);
            emit firmwareIdChanged(text);
            return OperationResult::success(text);
        });
        return;
    case Action::ModeSwitch:
        setStatus({});
        exchange(command, [this](const QByteArray &) {
            setStatus(texts::kModeSwitched);
            return OperationResult::success(texts::kModeSwitched);
        });
        return;
    case Action::GetTime:
        setStatus({});
        emit readerTimeChanged({});
        exchange(command, [this](const QByteArray &reply) {
            const QString text = formatReaderTime(reply);
            emit readerTimeChanged(text);
            return OperationResult::success(text);
        });
        return;
    case Action::SetTime:
        setReaderTime(adjustment);
        return;
    case Action::MemoryUsage:
        exchange(command, [this](const QByteArray &reply) {
            setStatus(texts::kMemoryReceived);
            emit memoryUsageChanged(splitMemoryUsage(reply));
            return OperationResult::success(texts::kMemoryReceived);
        });
        return;
    case Action::ClearMemory:
        clearMemory(command);
        return;
    case Action::Restart:
        setStatus({});
        if (!m_link->sendCommand(command))
            return fail(ResultCode::LinkError, texts::kNoResponse);
        finish();
        return;
    case Action::Upload:
        startUpload();
        return;
    case Action::None:
        break;
    }
    finish();
}

void MaintenanceCommands::setReaderTime(const TimeAdjustment &adjustment) {
    setStatus({});
    const std::optional<int> hours = parseHourOffset(adjustment.hoursText);
    if (!hours || *hours > kMaxHourOffset)
        return fail(ResultCode::Invalid, texts::kInvalidHours);
    const QDateTime moment = adjustedMoment(m_clock(), *hours, adjustment.direction);
    exchange(setTimeCommand(moment), [this](const QByteArray &reply) {
        const bool set = reply == kTimeSetReply;
        setStatus(set ? texts::kTimeSet : texts::kTimeNotSet);
        return set ? OperationResult::success(texts::kTimeSet)
                   : OperationResult::failure(ResultCode::WrongReply, texts::kTimeNotSet);
    });
}

void MaintenanceCommands::clearMemory(const QByteArray &command) {
    setState(State::Asking);
    if (!m_asker)
        return finish({ResultCode::Cancelled, texts::kClearQuestion});
    const QPointer<MaintenanceCommands> self(this);
    const quint64 click = m_click;
    m_asker(texts::kClearQuestion, [self, click, command](bool yes) {
        if (!self || self->m_click != click || self->m_state != State::Asking)
            return;
        if (!yes)
            return self->finish({ResultCode::Cancelled, texts::kClearQuestion});
        self->setStatus({});
        self->exchange(command, [self = self.data()](const QByteArray &reply) {
            if (reply != kClearedReply) {
                return OperationResult::failure(ResultCode::WrongReply,
                                                QStringLiteral("Clearing the reader memory: ") +
                                                    texts::kInvalidResponse);
            }
            self->setStatus(texts::kLogCleared);
            return OperationResult::success(texts::kLogCleared);
        });
    });
}

void MaintenanceCommands::startUpload() {
    // The upload claims the link for itself, for its whole run.
    m_claim.release();
    setState(State::Uploading);
    if (!m_upload.start()) {
        setStatus(texts::kLinkBusy);
        setState(State::Idle);
        emit finished({ResultCode::Busy, texts::kLinkBusy});
    }
}

void MaintenanceCommands::exchange(const QByteArray &command, ReplyHandler onReply) {
    setState(State::AwaitingReply);
    if (!m_link->sendCommand(command))
        return fail(ResultCode::LinkError, texts::kNoResponse);
    const bool waiting = m_link->readReply(this, [this, onReply](const link::ReplyResult &result) {
        switch (result.end) {
        case WaitEnd::Reply:
            return finish(onReply(result.reply));
        case WaitEnd::Timeout:
            return fail(ResultCode::Timeout, texts::kNoResponse);
        case WaitEnd::Disconnected:
            // Ends quietly: the status label shows the link state.
            return fail(ResultCode::Disconnected, link::statusText(link::LinkState::Disconnected),
                        false);
        case WaitEnd::LinkError:
            return fail(ResultCode::LinkError, result.linkError, false);
        }
    });
    if (!waiting)
        fail(ResultCode::Busy, texts::kLinkBusy);
}

void MaintenanceCommands::fail(ResultCode code, const QString &text, bool show) {
    if (show)
        setStatus(text);
    finish({code, text});
}

void MaintenanceCommands::setState(State state) {
    const bool wasBusy = isBusy();
    m_state = state;
    if (wasBusy != isBusy())
        emit busyChanged(isBusy());
}

void MaintenanceCommands::finish(const OperationResult &result) {
    if (m_state == State::Idle)
        return;
    m_claim.release();
    setState(State::Idle);
    emit finished(result);
}

} // namespace varo::utilities
