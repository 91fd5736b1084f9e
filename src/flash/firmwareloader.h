#pragma once

#include "firmwareimage.h"
#include "loaderprofile.h"
#include "loadertimings.h"

#include "link/operation.h"
#include "link/operationclaim.h"

#include <QDate>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

namespace varo::link {
class ReaderLink;
}

namespace varo::flash {

// Downloads an image into the reader through its loader, at the character level on an open
// link, as one stop-and-wait exchange per block. One engine runs every download variant; the
// LoaderProfile says where they differ.
//
// Threading: runs on the link's thread and never blocks. Each wait ends on the link's
// dataArrived(), on its single-shot timer or when the link ends under the download's claim
// (disconnect or link error). The link is claimed for the whole download and released at
// every end.
class FirmwareLoader : public link::ReaderOperation {
    Q_OBJECT
public:
    // The step a download failed in, as the serial loader's error messages number it.
    enum class ErrorCode {
        ReadyReply = 1,   // awaiting the loader's ready reply
        BlockAck = 2,     // awaiting a block's acknowledgement
        LastBlockAck = 3, // awaiting the last block's acknowledgement
        Completion = 4    // awaiting the completion reply after the trailer
    };

    using Clock = std::function<QDate()>;

    explicit FirmwareLoader(link::ReaderLink *link, QObject *parent = nullptr);
    ~FirmwareLoader() override;

    void setTimings(const LoaderTimings &timings) { m_timings = timings; }
    const LoaderTimings &timings() const { return m_timings; }
    // The workstation date sent after the trailer; the current date unless replaced.
    void setClock(Clock clock);

    // Reads the image file at `path` into memory, then runs the download; the outcome always
    // comes through finished(), possibly before start() returns (an unreadable file or an image
    // without data ends the download before anything is sent).
    // Refused as every ReaderOperation is (a download already running included).
    bool start(const LoaderProfile &profile, const QString &path);
    // The download that start() without arguments runs.
    void setDownload(const LoaderProfile &profile, const QString &path);

    link::Operation operation() const override { return link::Operation::FirmwareDownload; }
    bool start() override { return start(m_profile, m_path); }
    bool isRunning() const override { return m_step != Step::Idle; }

signals:
    // The text of the screen's status line; empty to clear it.
    void statusTextChanged(const QString &text);
    // Data bytes the loader has acknowledged so far, out of `total` (also in data().bytes,
    // with progressed()). finished(): result.message is what the user is told ("Download
    // complete" on success). Codes: Ok, FileError, Timeout, WrongReply, LinkError, Disconnected.
    void progressChanged(qint64 acknowledged, qint64 total);

private:
    enum class Step { Idle, Preparing, EntryPause, AwaitReady, AwaitBlockAck, AwaitCompletion };

    void onTimeout();
    void readInput();
    void readReadyReply();
    void readOneCharacterReply();
    void sendStartRequest();
    void sendBlock();
    void onBlockAcknowledged();
    void sendTail();
    void onCompletionReply();
    void await(Step step, std::chrono::milliseconds timeout);
    bool write(const QByteArray &bytes);
    bool writeByte(char byte) { return write(QByteArray(1, byte)); }
    void setStatus(const QString &text) { emit statusTextChanged(text); }
    void fail(link::ResultCode code, const QString &linkReason = {});
    void reportProgress(qint64 acknowledged, qint64 total);
    void finish(const link::OperationResult &result);

    QPointer<link::ReaderLink> m_link;
    link::OperationClaim m_claim;
    LoaderTimings m_timings;
    Clock m_clock;
    LoaderProfile m_profile;
    QString m_path;
    FirmwareImage m_image;
    Step m_step = Step::Idle;
    QTimer m_timer;
    quint64 m_waitId = 0;   // tells a queued look at early input which wait it was for
    QByteArray m_collected; // text received while awaiting the ready reply
    bool m_readyReceived = false;
    ErrorCode m_errorCode = ErrorCode::ReadyReply; // the step that would fail
    qsizetype m_offset = 0; // data bytes acknowledged, and where the current block starts
    qsizetype m_blockLength = 0;
    bool m_lastBlock = false;
    int m_fillPassesSent = 0;
};

} // namespace varo::flash
