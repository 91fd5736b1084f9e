#pragma once

#include "common/asker.h"
#include "labeltable.h"
#include "link/operationclaim.h"
#include "link/operationresult.h"
#include "link/readerlink.h"
#include "replyformat.h"
#include "settime.h"
#include "uploadsession.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

namespace varo::utilities {

// The click procedure of the utilities screen's label array: the common path (link check,
// wake-up CR CR) and the one command each button sends, with the texts its reply produces.
//
// One click at a time: while a click waits for a reply, the confirmation or the upload, further
// clicks are ignored (click() returns false). The link is claimed for each click and, for
// "Upload Stored Data", handed on to the UploadSession for the whole upload. Every reply wait
// is bounded by the link's reply timeout; a link error ends the click quietly (the main window
// reports link errors). Every click ends with finished(), whose code says how it went and
// whose message is the status text shown (or, for a quiet end, why).
class MaintenanceCommands : public QObject {
    Q_OBJECT
public:
    static inline const QString kOperation = QStringLiteral("Utilities");

    using Clock = std::function<QDateTime()>;
    using Asker = common::Asker;

    explicit MaintenanceCommands(link::ReaderLink *link, QObject *parent = nullptr);
    ~MaintenanceCommands() override;

    // The workstation clock (default: QDateTime::currentDateTime).
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // Without an asker "Clear Reader Memory" is answered No.
    void setAsker(Asker asker) { m_asker = std::move(asker); }
    UploadSession *upload() { return &m_upload; }

    // A click on member `index` of the label array. Returns false, doing nothing, while an
    // earlier click is still running.
    bool click(int index, const TimeAdjustment &adjustment = {});
    bool isBusy() const { return m_state != State::Idle; }

signals:
    void statusTextChanged(const QString &text);
    void firmwareIdChanged(const QString &text);
    void readerTimeChanged(const QString &text);
    void memoryUsageChanged(const varo::utilities::MemoryUsage &usage);
    void busyChanged(bool busy);
    void finished(const varo::link::OperationResult &result);

private:
    enum class State { Idle, Asking, AwaitingReply, Uploading };
    // Judges a good reply; what it returns ends the click.
    using ReplyHandler = std::function<link::OperationResult(const QByteArray &reply)>;

    void dispatch(const LabelEntry &entry, const TimeAdjustment &adjustment);
    void setReaderTime(const TimeAdjustment &adjustment);
    void clearMemory(const QByteArray &command);
    void startUpload();
    // Sends `command` and hands a good reply to `onReply`; a failed send or a timeout shows
    // "No response from reader". The click ends after either.
    void exchange(const QByteArray &command, ReplyHandler onReply);
    void setStatus(const QString &text) { emit statusTextChanged(text); }
    void setState(State state);
    // Ends the click with `result`, shown in the status line when `show` is set.
    void fail(link::ResultCode code, const QString &text, bool show = true);
    void finish(const link::OperationResult &result = {});

    QPointer<link::ReaderLink> m_link;
    link::OperationClaim m_claim;
    UploadSession m_upload;
    Clock m_clock;
    Asker m_asker;
    State m_state = State::Idle;
    quint64 m_click = 0; // tells a late answer of the asker from the current click
};

} // namespace varo::utilities
