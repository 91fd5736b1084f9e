#include "maintenancecommands.h"

#include "utilitytexts.h"

namespace varo::utilities {

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
    connect(&m_upload, &UploadSession::finished, this, [this] {
        if (m_state == State::Uploading)
            finish();
    });
    // Disconnecting abandons any reply wait without its callback: end the click here.
    connect(link, &link::ReaderLink::statusChanged, this, [this] {
        if (m_link && !m_link->isConnected() &&
            (m_state == State::AwaitingReply || m_state == State::Asking))
            finish();
    });
}

MaintenanceCommands::~MaintenanceCommands() {
    if (m_link && (m_state == State::AwaitingReply || m_state == State::Asking)) {
        if (m_state == State::AwaitingReply)
            m_link->cancelReply();
        m_link->endOperation(kOperation);
    }
}

bool MaintenanceCommands::click(int index, const TimeAdjustment &adjustment) {
    if (isBusy())
        return false;
    if (!m_link || !m_link->isConnected()) {
        setStatus(texts::kNotConnected);
        return true;
    }
    if (!m_link->beginOperation(kOperation)) {
        setStatus(texts::kLinkBusy);
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
        exchange(command,
                 [this](const QByteArray &reply) { emit firmwareIdChanged(replyText(reply)); });
        return;
    case Action::ModeSwitch:
        setStatus({});
        exchange(command, [this](const QByteArray &) { setStatus(texts::kModeSwitched); });
        return;
    case Action::GetTime:
        setStatus({});
        emit readerTimeChanged({});
        exchange(command, [this](const QByteArray &reply) {
            emit readerTimeChanged(formatReaderTime(reply));
        });
        return;
    case Action::SetTime:
        setReaderTime(adjustment);
        return;
    case Action::MemoryUsage:
        exchange(command, [this](const QByteArray &reply) {
            setStatus(texts::kMemoryReceived);
            emit memoryUsageChanged(splitMemoryUsage(reply));
        });
        return;
    case Action::ClearMemory:
        clearMemory(command);
        return;
    case Action::Restart:
        setStatus({});
        if (!m_link->sendCommand(command))
            setStatus(texts::kNoResponse);
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
    if (!hours || *hours > kMaxHourOffset) {
        setStatus(texts::kInvalidHours);
        return finish();
    }
    const QDateTime moment = adjustedMoment(m_clock(), *hours, adjustment.direction);
    exchange(setTimeCommand(moment), [this](const QByteArray &reply) {
        setStatus(reply == kTimeSetReply ? texts::kTimeSet : texts::kTimeNotSet);
    });
}

void MaintenanceCommands::clearMemory(const QByteArray &command) {
    setState(State::Asking);
    if (!m_asker)
        return finish();
    const QPointer<MaintenanceCommands> self(this);
    const quint64 click = m_click;
    m_asker(texts::kClearQuestion, [self, click, command](bool yes) {
        if (!self || self->m_click != click || self->m_state != State::Asking)
            return;
        if (!yes)
            return self->finish();
        self->setStatus({});
        self->exchange(command, [self = self.data()](const QByteArray &reply) {
            if (reply == kClearedReply)
                self->setStatus(texts::kLogCleared);
        });
    });
}

void MaintenanceCommands::startUpload() {
    // The upload claims the link for itself, for its whole run.
    m_link->endOperation(kOperation);
    setState(State::Uploading);
    if (!m_upload.start()) {
        setStatus(texts::kLinkBusy);
        setState(State::Idle);
    }
}

void MaintenanceCommands::exchange(const QByteArray &command, ReplyHandler onReply) {
    setState(State::AwaitingReply);
    if (!m_link->sendCommand(command)) {
        setStatus(texts::kNoResponse);
        return finish();
    }
    const bool waiting = m_link->readReply(this, [this, onReply](const link::ReplyResult &result) {
        if (result.linkError.isEmpty()) {
            if (result.timedOut)
                setStatus(texts::kNoResponse);
            else
                onReply(result.reply);
        }
        finish();
    });
    if (!waiting) {
        setStatus(texts::kLinkBusy);
        finish();
    }
}

void MaintenanceCommands::setState(State state) {
    const bool wasBusy = isBusy();
    m_state = state;
    if (wasBusy != isBusy())
        emit busyChanged(isBusy());
}

void MaintenanceCommands::finish() {
    if (m_state == State::Idle)
        return;
    if (m_state != State::Uploading && m_link)
        m_link->endOperation(kOperation);
    setState(State::Idle);
}

} // namespace varo::utilities
