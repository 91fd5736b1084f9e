#include "uploadsession.h"

#include "utilitytexts.h"

#include "common/privatefile.h"

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace varo::utilities {

using link::OperationResult;
using link::ResultCode;
using link::WaitEnd;

namespace {
const QByteArray kReadyCommand = QByteArrayLiteral("lr");
const QByteArray kReadyReply = QByteArrayLiteral("OK");
const QByteArray kNextCommand = QByteArrayLiteral("l");
const QByteArray kEndMarker = QByteArrayLiteral("END");
const QByteArray kLineEnd = QByteArrayLiteral("\r\n");
} // namespace

UploadSession::UploadSession(link::ReaderLink *link, QObject *parent)
    : link::ReaderOperation(parent)
    , m_link(link) {}

UploadSession::~UploadSession() {
    if (!isRunning())
        return;
    m_file.close();
    if (m_link && m_state != State::ChoosingFile)
        m_link->cancelReply();
}

bool UploadSession::start() {
    if (!m_link)
        return false;
    // While the file chooser is open no reply wait runs; the claim tells of a disconnect then.
    if (!isRunning()) {
        m_claim = m_link->claim(link::Operation::Upload, [this](const link::LinkEnd &end) {
            if (m_state == State::ChoosingFile)
                finish(link::resultOf(end));
        });
    }
    if (isRunning() || !m_claim) {
        emit refused(m_link->activeOperationName());
        return false;
    }
    ++m_run;
    m_count = 0;
    m_data = {};
    if (!m_presetFile.isEmpty())
        m_data.upload = link::UploadCounts{m_presetFile, 0};
    m_state = State::AwaitingReady;
    // A failed write is not looked at here: the reply wait then runs out.
    m_link->sendCommand(kReadyCommand);
    if (!m_link->readReply(this, [this](const link::ReplyResult &r) { onReadyReply(r); })) {
        setStatus(texts::kLinkBusy);
        finish({ResultCode::Busy, texts::kLinkBusy});
    }
    return true;
}

bool UploadSession::endsWithoutReply(const link::ReplyResult &result) {
    if (result.ok())
        return false;
    if (result.timedOut())
        setStatus(texts::kNoResponse);
    finish(link::resultOf(result, texts::kNoResponse));
    return true;
}

void UploadSession::onReadyReply(const link::ReplyResult &result) {
    if (endsWithoutReply(result))
        return;
    if (result.reply != kReadyReply) {
        setStatus(texts::kInvalidResponse);
        return finish({ResultCode::WrongReply, texts::kInvalidResponse});
    }
    m_state = State::ChoosingFile;
    if (!m_presetFile.isEmpty())
        return onFileChosen(m_presetFile);
    if (!m_chooser)
        return finish({ResultCode::Cancelled, {}});
    const QPointer<UploadSession> self(this);
    const quint64 run = m_run;
    m_chooser([self, run](std::optional<QString> path) {
        if (self && self->m_run == run)
            self->onFileChosen(std::move(path));
    });
}

void UploadSession::onFileChosen(std::optional<QString> path) {
    if (m_state != State::ChoosingFile)
        return;
    if (!path || path->isEmpty())
        return finish({ResultCode::Cancelled, {}});
    m_path = *path;
    m_data.upload = link::UploadCounts{*path, 0};
    m_savedBytes = 0;
    // Unbuffered: each record reaches the system before the next "l" goes out. The file
    // dialog has already asked before an existing file is replaced (see setExistingFile()).
    if (const std::optional<QString> reason = createPrivateFile(m_file, m_path, m_existing))
        return failFile(*reason);
    requestRecord();
}

void UploadSession::requestRecord() {
    m_state = State::AwaitingRecord;
    // A failed write ends the upload without a message; the status keeps the last count.
    if (!m_link || !m_link->sendCommand(kNextCommand)) {
        return finish({ResultCode::LinkError, QStringLiteral("Could not send to the reader: ") +
                                                  (m_link ? m_link->lastError() : QString())});
    }
    if (!m_link->readReply(this, [this](const link::ReplyResult &r) { onRecord(r); })) {
        setStatus(texts::kLinkBusy);
        finish({ResultCode::Busy, texts::kLinkBusy});
    }
}

void UploadSession::onRecord(const link::ReplyResult &result) {
    if (endsWithoutReply(result))
        return;
    if (result.reply == kEndMarker) {
        if (const QString problem = closeDurably(); !problem.isEmpty()) {
            const QString path = m_path;
            emit fileErrorOccurred(path, problem);
            setStatus(notSavedText(m_count));
            return finish({ResultCode::FileError, fileErrorText(path, problem)});
        }
        setStatus(completeText(m_count));
        return finish(OperationResult::success(completeText(m_count)));
    }
    if (m_count >= m_maxRecords) {
        // Nothing more is written: the records so far are kept and made durable.
        const QString message = tooManyRecordsText(m_maxRecords);
        const QString problem = closeDurably();
        if (!problem.isEmpty())
            emit fileErrorOccurred(m_path, problem);
        setStatus(message);
        return finish({ResultCode::WrongReply, message});
    }
    if (!writeRecord(result.reply))
        return failFile(m_file.errorString());
    ++m_count;
    m_data.upload->records = m_count;
    setStatus(uploadedText(m_count));
    emit progressed();
    requestRecord();
}

QString UploadSession::closeDurably() {
    // The records are on the disk, not only in the system's cache, before "Upload complete"
    // is shown: a technician may unplug the stick or switch off right after.
#ifdef Q_OS_UNIX
    if (m_file.isOpen() && ::fsync(m_file.handle()) != 0 && errno != EINVAL && errno != EROFS) {
        // EINVAL/EROFS: a file that cannot be synchronised (a pipe, a special device).
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        m_file.close();
        return reason;
    }
#endif
    m_file.unsetError();
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        return m_file.errorString();
    return {};
}

bool UploadSession::writeRecord(const QByteArray &record) {
    const QByteArray line = record + kLineEnd;
    if (m_file.write(line) != line.size() || !m_file.flush())
        return false;
    m_savedBytes += line.size();
    return true;
}

void UploadSession::failFile(const QString &reason) {
    const QString path = m_path;
    if (m_file.isOpen()) {
        // Drop a partly written record so the file holds whole lines only.
        if (m_file.size() > m_savedBytes)
            m_file.resize(m_savedBytes);
        m_file.close();
    }
    emit fileErrorOccurred(path, reason);
    setStatus(savedText(m_count));
    finish({ResultCode::FileError, fileErrorText(path, reason)});
}

void UploadSession::setStatus(const QString &text) {
    emit statusTextChanged(text);
}

void UploadSession::finish(const OperationResult &result) {
    if (!isRunning())
        return;
    m_file.close();
    m_state = State::Idle;
    m_claim.release();
    emit finished(result);
}

} // namespace varo::utilities
