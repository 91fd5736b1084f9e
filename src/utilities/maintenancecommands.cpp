#include "maintenancecommands.h"

#include "utilitytexts.h"

namespace varo::utilities {

using link::OperationResult;
using link::ResultCode;

namespace {
const QByteArray kFirmwareIdCommand = QByteArrayLiteral("V");
const QByteArray kReadTimeCommand = QByteArrayLiteral("t");
const QByteArray kMemoryCommand = QByteArrayLiteral("z");
const QByteArray kClearCommand = QByteArrayLiteral("lc");
const QByteArray kRestartCommand("\0X", 2);
const QByteArray kTimeSetReply = QByteArrayLiteral("O");
const QByteArray kClearedReply = QByteArrayLiteral("OK");

QByteArray modeCommand(ReaderMode mode) {
    switch (mode) {
    case ReaderMode::Collection:
        return QByteArrayLiteral("|5");
    case ReaderMode::Online:
        return QByteArrayLiteral("|1");
    case ReaderMode::ProxDump:
        return QByteArrayLiteral("|2");
    }
    return QByteArrayLiteral("|5");
}

int countOf(const QString &text) {
    return text.trimmed().toInt();
}
} // namespace

MaintenanceCommands::MaintenanceCommands(link::ReaderLink *link, QObject *parent)
    : link::ReaderOperation(parent)
    , m_link(link)
    , m_upload(link)
    , m_clock([] { return QDateTime::currentDateTime(); }) {
    connect(&m_upload, &UploadSession::statusTextChanged, this, &MaintenanceCommands::setStatus);
    connect(&m_upload, &UploadSession::progressed, this, [this] {
        m_data.upload = m_upload.data().upload;
        emit progressed();
    });
    connect(&m_upload, &UploadSession::finished, this, [this](const OperationResult &result) {
        if (m_state != State::Uploading)
            return;
        m_data.upload = m_upload.data().upload;
        finish(result);
    });
}

MaintenanceCommands::~MaintenanceCommands() {
    if (m_link && m_state == State::AwaitingReply)
        m_link->cancelReply();
}

bool MaintenanceCommands::run(const MaintenanceStep &step) {
    if (isBusy())
        return false;
    m_steps = {step};
    return start();
}

bool MaintenanceCommands::start() {
    if (isBusy() || m_steps.isEmpty())
        return false;
    m_data = {};
    m_stopped = false;
    return runStep();
}

bool MaintenanceCommands::stop() {
    m_stopped = true;
    return false;
}

bool MaintenanceCommands::runStep() {
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
    m_claim = m_link->claim(link::Operation::Utilities, [this](const link::LinkEnd &end) {
        if (m_state == State::Asking)
            finish(link::resultOf(end));
    });
    if (!m_claim) {
        emit refused(m_link->activeOperationName());
        return false;
    }
    ++m_click;
    setState(State::AwaitingReply);
    m_link->sendWakeup();
    dispatch(m_steps.at(m_data.step));
    return true;
}

void MaintenanceCommands::dispatch(const MaintenanceStep &step) {
    switch (step.verb) {
    case Verb::ReadFirmwareId:
        emit firmwareIdChanged({});
        exchange(kFirmwareIdCommand, [this](const QByteArray &reply) {
            const QString text = replyText(reply);
            m_data.firmwareId = text;
            m_data.firmwareIdReply = reply;
            emit firmwareIdChanged(text);
            return OperationResult::success(text);
        });
        return;
    case Verb::SwitchMode:
        setStatus({});
        exchange(modeCommand(step.mode), [this](const QByteArray &reply) {
            m_data.modeReply = QString::fromLatin1(reply);
            setStatus(texts::kModeSwitched);
            return OperationResult::success(texts::kModeSwitched);
        });
        return;
    case Verb::ReadTime:
        setStatus({});
        emit readerTimeChanged({});
        exchange(kReadTimeCommand, [this](const QByteArray &reply) {
            const QString text = formatReaderTime(reply);
            m_data.readerTime = text;
            m_data.readerTimeReply = reply;
            m_data.readerClock = parseReaderTime(reply);
            if (m_data.readerClock) {
                const QDateTime now = m_clock();
                const QDateTime wall(now.date(), now.time(), Qt::UTC);
                m_data.clockOffsetSeconds = wall.secsTo(*m_data.readerClock);
            }
            emit readerTimeChanged(text);
            return OperationResult::success(text);
        });
        return;
    case Verb::SetTime:
        setReaderTime(step.adjustment);
        return;
    case Verb::ShowMemory:
        exchange(kMemoryCommand, [this](const QByteArray &reply) {
            const MemoryUsage usage = splitMemoryUsage(reply);
            m_data.memory = link::MemoryCounts{countOf(usage.totalSlots), countOf(usage.used),
                                               countOf(usage.uploaded), reply};
            setStatus(texts::kMemoryReceived);
            emit memoryUsageChanged(usage);
            return OperationResult::success(texts::kMemoryReceived);
        });
        return;
    case Verb::ClearMemory:
        clearMemory();
        return;
    case Verb::Restart:
        setStatus({});
        if (!m_link->sendCommand(kRestartCommand))
            return fail(ResultCode::LinkError, texts::kNoResponse);
        finish();
        return;
    case Verb::Upload:
        startUpload();
        return;
    case Verb::WakeUp:
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
    exchange(setTimeCommand(moment), [this, moment](const QByteArray &reply) {
        const bool set = reply == kTimeSetReply;
        if (set)
            m_data.timeSet = moment;
        setStatus(set ? texts::kTimeSet : texts::kTimeNotSet);
        return set ? OperationResult::success(texts::kTimeSet)
                   : OperationResult::failure(ResultCode::WrongReply, texts::kTimeNotSet);
    });
}

void MaintenanceCommands::clearMemory() {
    setState(State::Asking);
    if (!m_asker)
        return finish({ResultCode::Cancelled, texts::kClearQuestion});
    const QPointer<MaintenanceCommands> self(this);
    const quint64 click = m_click;
    m_asker(texts::kClearQuestion, [self, click](bool yes) {
        if (!self || self->m_click != click || self->m_state != State::Asking)
            return;
        if (!yes)
            return self->finish({ResultCode::Cancelled, texts::kClearQuestion});
        self->setStatus({});
        self->exchange(kClearCommand, [self = self.data()](const QByteArray &reply) {
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
    const bool waiting = m_link->readReply(this, [this, onReply](const link::ReplyResult &reply) {
        if (reply.ok())
            return finish(onReply(reply.reply));
        // A timeout shows its text; a disconnect or link error ends quietly (the status label
        // shows the link state, the main window reports link errors).
        const OperationResult result = link::resultOf(reply, texts::kNoResponse);
        fail(result.code, result.message, reply.timedOut());
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
    if (result.ok() && !m_stopped && m_data.step + 1 < m_steps.size()) {
        ++m_data.step;
        if (!runStep())
            emit finished({ResultCode::Busy, texts::kLinkBusy});
        return;
    }
    emit finished(result);
}

} // namespace varo::utilities
