#pragma once

#include "link/operation.h"
#include "link/operationclaim.h"
#include "link/readerlink.h"

#include "common/privatefile.h"

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

namespace varo::utilities {

// upload_log: reads the reader's stored transactions one record at a time ("lr", then "l"
// until "END") into a text file, one record per line ended by CR LF, bytes as received.
//
// Runs as a state machine on the GUI thread: each step waits on the link's reply callback or on
// the file chooser. The link is claimed for the whole upload and released on every way out.
// Every record is written and flushed before the next "l" goes out, so an upload that stops
// for any reason leaves all the records received so far in the file. The file is created with
// mode 0600 (it holds card numbers); a symbolic link at the chosen path is refused. A reader
// holds at most kMaxRecords: a peer that sends more is not a reader's memory, and the upload
// stops there (WrongReply) with the records so far kept.
class UploadSession : public link::ReaderOperation {
    Q_OBJECT
public:
    static constexpr qint64 kMaxRecords = 99'999;

    // Asks for the upload file. Calls `done` exactly once, later or at once, with the chosen
    // path, or with std::nullopt when the technician cancels.
    using FileChosen = std::function<void(std::optional<QString> path)>;
    using FileChooser = std::function<void(FileChosen done)>;

    explicit UploadSession(link::ReaderLink *link, QObject *parent = nullptr);
    ~UploadSession() override;

    // Without a chooser the upload ends as if the dialog had been cancelled.
    void setFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }
    // A file given beforehand (empty: ask the chooser); data().upload names it from the start.
    void setFile(const QString &path) { m_presetFile = path; }
    // What becomes of a file already at the path (default: replaced, the file dialog having
    // asked; varo-cli refuses it unless told to overwrite).
    void setExistingFile(ExistingFile existing) { m_existing = existing; }

    link::Operation operation() const override { return link::Operation::Upload; }
    // Starts an upload; the caller has already sent the wake-up. Refused as every
    // ReaderOperation is (an upload already running included).
    bool start() override;
    bool isRunning() const override { return m_state != State::Idle; }
    qint64 recordCount() const { return m_count; }
    // Tests lower the record limit so they need not send 100,000 records.
    void setMaxRecordsForTests(qint64 records) { m_maxRecords = records; }

signals:
    void statusTextChanged(const QString &text);
    // The upload file could not be created or written; the upload has stopped.
    void fileErrorOccurred(const QString &path, const QString &reason);
    // finished(): Ok with the completion text, or why it stopped (Timeout, WrongReply,
    // Cancelled, FileError, LinkError, Disconnected, Busy). progressed() after each record.

private:
    enum class State { Idle, AwaitingReady, ChoosingFile, AwaitingRecord };

    void onReadyReply(const link::ReplyResult &result);
    void onFileChosen(std::optional<QString> path);
    void requestRecord();
    void onRecord(const link::ReplyResult &result);
    // Ends the upload for a wait that did not bring a reply; false when `result` is a reply.
    bool endsWithoutReply(const link::ReplyResult &result);
    bool writeRecord(const QByteArray &record);
    // Flushes the file to the disk and closes it; the reason when that failed, else empty.
    QString closeDurably();
    void failFile(const QString &reason);
    void setStatus(const QString &text);
    void finish(const link::OperationResult &result);

    QPointer<link::ReaderLink> m_link;
    link::OperationClaim m_claim;
    FileChooser m_chooser;
    QString m_presetFile;
    ExistingFile m_existing = ExistingFile::Replace;
    State m_state = State::Idle;
    QFile m_file;
    QString m_path;
    qint64 m_maxRecords = kMaxRecords;
    qint64 m_count = 0;
    qint64 m_savedBytes = 0; // file size after the last whole record
    quint64 m_run = 0;       // tells a late answer of the chooser from the current run
};

} // namespace varo::utilities
