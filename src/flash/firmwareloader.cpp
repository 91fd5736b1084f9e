#include "firmwareloader.h"

#include "loaderformat.h"

#include "link/readerlink.h"

namespace varo::flash {

using link::OperationResult;
using link::ResultCode;

namespace {

const QString kWriteFailed = QStringLiteral("Writing to the reader failed.");
const QString kLinkClosed = QStringLiteral("The link to the reader was closed.");

} // namespace

FirmwareLoader::FirmwareLoader(link::ReaderLink *link, QObject *parent)
    : link::ReaderOperation(parent)
    , m_link(link)
    , m_clock([] { return QDate::currentDate(); }) {
    m_timer.setTimerType(Qt::PreciseTimer); // pauses and waits last their full length
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &FirmwareLoader::onTimeout);
    if (!link)
        return;
    connect(link, &link::ReaderLink::dataArrived, this, &FirmwareLoader::readInput);
}

FirmwareLoader::~FirmwareLoader() = default;

void FirmwareLoader::setDownload(const LoaderProfile &profile, const QString &path) {
    m_profile = profile;
    m_path = path;
}

void FirmwareLoader::reportProgress(qint64 acknowledged, qint64 total) {
    m_data.bytes = link::TransferCounts{acknowledged, total};
    emit progressChanged(acknowledged, total);
    emit progressed();
}

void FirmwareLoader::setClock(Clock clock) {
    m_clock = std::move(clock);
}

bool FirmwareLoader::start(const LoaderProfile &profile, const QString &path) {
    if (!m_link)
        return false;
    if (!isRunning())
        m_claim =
            m_link->claim(link::Operation::FirmwareDownload, [this](const link::LinkEnd &end) {
                const link::OperationResult ended = link::resultOf(end);
                fail(ended.code,
                     ended.code == ResultCode::Disconnected ? kLinkClosed : ended.message);
            });
    if (isRunning() || !m_claim) {
        emit refused(m_link->activeOperationName());
        return false;
    }
    m_profile = profile;
    m_path = path;
    m_data = {};
    m_step = Step::Preparing;
    m_readyReceived = false;
    m_errorCode = ErrorCode::ReadyReply;
    m_offset = 0;
    m_blockLength = 0;
    m_lastBlock = false;
    m_fillPassesSent = 0;
    setStatus(texts::kPreparing);

    // The whole image is read before the first byte goes out, so a bad file never leaves the
    // reader waiting in its loader.
    const ImageFileContent content = readImageFile(path);
    if (!content.ok()) {
        finish({ResultCode::FileError, content.error});
        return true;
    }
    m_image = FirmwareImage::split(content.bytes, m_profile.trailerLength);
    if (m_image.data.isEmpty()) {
        finish({ResultCode::FileError, texts::kEarlyEnd});
        return true;
    }
    reportProgress(0, m_image.data.size());

    if (!write(kEntrySequence))
        return true;
    m_step = Step::EntryPause;
    ++m_waitId;
    m_timer.start(m_timings.*m_profile.entryPause);
    return true;
}

void FirmwareLoader::onTimeout() {
    switch (m_step) {
    case Step::EntryPause:
        sendStartRequest();
        break;
    case Step::AwaitReady:
    case Step::AwaitBlockAck:
    case Step::AwaitCompletion:
        fail(ResultCode::Timeout);
        break;
    case Step::Idle:
    case Step::Preparing:
        break;
    }
}

void FirmwareLoader::sendStartRequest() {
    // What the reader said while switching to its loader is dropped, all but the last character.
    if (m_profile.drainAfterPause && m_link->pendingCount() > 1)
        m_link->takePending(m_link->pendingCount() - 1);
    if (!writeByte(m_profile.startRequest))
        return;
    m_collected.clear();
    await(Step::AwaitReady, m_timings.*m_profile.readyTimeout);
}

void FirmwareLoader::await(Step step, std::chrono::milliseconds timeout) {
    m_step = step;
    const quint64 id = ++m_waitId;
    m_timer.start(timeout);
    // Input that arrived before the wait began counts at the wait's first look; looked at from
    // the event loop so that a quick peer cannot nest one block inside the previous one.
    if (m_link->pendingCount() > 0) {
        QMetaObject::invokeMethod(
            this,
            [this, id] {
                if (id == m_waitId)
                    readInput();
            },
            Qt::QueuedConnection);
    }
}

void FirmwareLoader::readInput() {
    if (!m_link || m_link->pendingCount() == 0)
        return;
    switch (m_step) {
    case Step::AwaitReady:
        readReadyReply();
        break;
    case Step::AwaitBlockAck:
    case Step::AwaitCompletion:
        readOneCharacterReply();
        break;
    case Step::Idle:
    case Step::Preparing:
    case Step::EntryPause:
        break; // input stays pending for the next wait
    }
}

void FirmwareLoader::readReadyReply() {
    const QByteArray &ready = m_profile.readyReply;
    const bool perCharacter = m_profile.matching == ReplyMatching::PerCharacter;
    while (m_link->pendingCount() > 0) {
        const QByteArray chunk = m_link->takePending(perCharacter ? 1 : -1);
        // The collected text must equal the reply exactly; once it is longer it never will, so
        // only one character beyond the reply's length is kept.
        m_collected.append(chunk.left(qMax<qsizetype>(0, ready.size() + 1 - m_collected.size())));
        if (m_collected == ready) {
            m_timer.stop();
            m_readyReceived = true;
            sendBlock();
            return;
        }
    }
}

void FirmwareLoader::readOneCharacterReply() {
    // Serial: one character decides. TCP: the first character of the received text decides and
    // the rest is dropped.
    const bool perCharacter = m_profile.matching == ReplyMatching::PerCharacter;
    const QByteArray reply = m_link->takePending(perCharacter ? 1 : -1);
    m_timer.stop();
    const char expected = m_step == Step::AwaitBlockAck ? kBlockAck : kCompletionReply;
    if (reply.front() != expected) {
        fail(ResultCode::WrongReply);
        return;
    }
    if (m_step == Step::AwaitBlockAck)
        onBlockAcknowledged();
    else
        onCompletionReply();
}

void FirmwareLoader::sendBlock() {
    const qsizetype dataLength = m_image.data.size();
    m_blockLength = qMin<qsizetype>(m_profile.blockSize, dataLength - m_offset);
    m_lastBlock = m_offset + m_blockLength == dataLength;
    const QByteArrayView block = QByteArrayView(m_image.data).sliced(m_offset, m_blockLength);
    if (m_lastBlock && m_profile.announceLastBlock)
        setStatus(texts::kLastBlock);
    m_errorCode = m_lastBlock ? ErrorCode::LastBlockAck : ErrorCode::BlockAck;

    // Length, data and checksum go to the link in one call: the loader reads a byte stream,
    // so the bytes and their order on the wire are the same as with a write per byte.
    QByteArray element;
    element.reserve(block.size() + 2);
    element.append(char(m_blockLength));
    element.append(block);
    element.append(char(blockChecksum(block)));
    if (!write(element))
        return;
    m_link->flush();
    await(Step::AwaitBlockAck, m_timings.replyTimeout);
}

void FirmwareLoader::onBlockAcknowledged() {
    const qsizetype dataLength = m_image.data.size();
    m_offset += m_blockLength;
    reportProgress(m_offset, dataLength);
    if (m_lastBlock) {
        sendTail();
        return;
    }
    setStatus(progressText(m_offset, dataLength));
    sendBlock();
}

void FirmwareLoader::sendTail() {
    // The end mark, the trailer and the date go out in one call, as each block does.
    QByteArray tail(1, kEndOfData);
    if (m_profile.trailerLength > 0)
        tail += m_image.trailer + downloadDate(m_clock());
    if (!write(tail))
        return;
    m_link->flush();
    m_errorCode = ErrorCode::Completion;
    await(Step::AwaitCompletion, m_timings.replyTimeout);
}

void FirmwareLoader::onCompletionReply() {
    if (m_fillPassesSent < m_profile.fillPasses) {
        ++m_fillPassesSent;
        if (!write(QByteArray(kFillPassLength, kFillByte)))
            return;
        await(Step::AwaitCompletion, m_timings.replyTimeout);
        return;
    }
    setStatus({});
    finish(OperationResult::success(texts::kComplete));
}

bool FirmwareLoader::write(const QByteArray &bytes) {
    if (!m_link || !m_link->writeRaw(bytes))
        fail(ResultCode::LinkError, kWriteFailed);
    // A link failure reported during the write has ended the download as well.
    return isRunning();
}

void FirmwareLoader::fail(ResultCode code, const QString &linkReason) {
    if (!isRunning())
        return;
    const QString &error = m_readyReceived ? texts::kDownloadError : texts::kTimeoutError;
    QString message = failureText(
        error, m_profile.reportsErrorCodes ? std::optional<int>(int(m_errorCode)) : std::nullopt);
    if (!linkReason.isEmpty())
        message += QLatin1Char('\n') + linkReason;
    if (m_profile.failureClearsStatus)
        setStatus({});
    finish({code, message});
}

void FirmwareLoader::finish(const OperationResult &result) {
    m_timer.stop();
    m_step = Step::Idle;
    ++m_waitId;
    m_image = {};
    m_collected.clear();
    m_claim.release();
    emit finished(result);
}

} // namespace varo::flash
