#pragma once

#include "common/asker.h"
#include "link/operation.h"
#include "link/operationclaim.h"
#include "link/operationresult.h"
#include "link/readerlink.h"
#include "maintenanceverb.h"
#include "replyformat.h"
#include "settime.h"
#include "uploadsession.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

namespace varo::utilities {

// The maintenance verbs of the utilities screen: the common path (link check, wake-up CR CR)
// and the one command each verb sends, with the texts its reply produces.
//
// One verb at a time: while a verb waits for a reply, the confirmation or the upload, further
// runs are ignored (run() returns false, emitting nothing). The link is claimed for each verb
// and, for Upload, handed on to the UploadSession for the whole upload. Every reply wait is
// bounded by the link's reply timeout; a link error ends the verb quietly (the main window
// reports link errors). A run ends with finished(), whose code says how it went and whose
// message is the status text shown (or, for a quiet end, why).
//
// As a ReaderOperation, start() runs the steps given to setSteps() one after another, each
// with its own claim and wake-up, and ends at the first that fails; data().step is the step it
// is in. What the verbs read lands in data() as well as in the signals.
class MaintenanceCommands : public link::ReaderOperation {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;
    using Asker = common::Asker;

    explicit MaintenanceCommands(link::ReaderLink *link, QObject *parent = nullptr);
    ~MaintenanceCommands() override;

    // The workstation clock (default: QDateTime::currentDateTime).
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // Without an asker "Clear Reader Memory" is answered No.
    void setAsker(Asker asker) { m_asker = std::move(asker); }
    UploadSession *upload() { return &m_upload; }

    // Runs one verb. Returns false, doing nothing, while an earlier run is still going; refused
    // (emitting refused()) when another operation holds the link.
    bool run(const MaintenanceStep &step);
    bool run(Verb verb) { return run(MaintenanceStep{verb}); }

    void setSteps(QList<MaintenanceStep> steps) { m_steps = std::move(steps); }
    link::Operation operation() const override { return link::Operation::Utilities; }
    bool start() override;
    // Starts no further step; the running one ends with the link.
    bool stop() override;
    bool isRunning() const override { return isBusy(); }
    bool isBusy() const { return m_state != State::Idle; }

signals:
    void statusTextChanged(const QString &text);
    void firmwareIdChanged(const QString &text);
    void readerTimeChanged(const QString &text);
    void memoryUsageChanged(const varo::utilities::MemoryUsage &usage);
    void busyChanged(bool busy);

private:
    enum class State { Idle, Asking, AwaitingReply, Uploading };
    // Judges a good reply; what it returns ends the verb.
    using ReplyHandler = std::function<link::OperationResult(const QByteArray &reply)>;

    bool runStep();
    void dispatch(const MaintenanceStep &step);
    void setReaderTime(const TimeAdjustment &adjustment);
    void clearMemory();
    void startUpload();
    // Sends `command` and hands a good reply to `onReply`; a failed send or a timeout shows
    // "No response from reader". The verb ends after either.
    void exchange(const QByteArray &command, ReplyHandler onReply);
    void setStatus(const QString &text) { emit statusTextChanged(text); }
    void setState(State state);
    // Ends the verb with `result`, shown in the status line when `show` is set.
    void fail(link::ResultCode code, const QString &text, bool show = true);
    void finish(const link::OperationResult &result = {});

    QPointer<link::ReaderLink> m_link;
    link::OperationClaim m_claim;
    UploadSession m_upload;
    Clock m_clock;
    Asker m_asker;
    QList<MaintenanceStep> m_steps;
    bool m_stopped = false;
    State m_state = State::Idle;
    quint64 m_click = 0; // tells a late answer of the asker from the current verb
};

} // namespace varo::utilities
