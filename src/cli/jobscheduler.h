#pragma once

#include "cli/report.h"
#include "cli/request.h"
#include "cli/targetjob.h"

#include <QObject>

namespace varo::cli {

// Runs one TargetJob per target of a request on the caller's event loop, at most
// request.jobs at once, in the order the targets were given. One job's failure never stops
// the others. With request.batches the targets run batch by batch, each batch ending before the
// next begins; with request.maxFailPercent, once more than that share of the targets started
// ended unreachable or failed, no further batch starts and every target left gets a "skipped"
// result. stop() starts no further job and ends the running ones; allFinished() comes once,
// from the event loop, after the last running job has reported.
class JobScheduler : public QObject {
    Q_OBJECT
public:
    JobScheduler(Request request, QObject *parent = nullptr);
    ~JobScheduler() override;

    void start();
    void stop();
    int running() const { return m_running; }

signals:
    void progressed(const QString &target, const QString &text);
    void targetFinished(const varo::cli::TargetResult &result);
    void allFinished();

private:
    void startNext();
    void startBatch();
    bool tooManyFailed() const;
    void skipTheRest();
    void onJobFinished(TargetJob *job, const TargetResult &result);

    Request m_request;
    qsizetype m_next = 0;
    qsizetype m_batchEnd = 0; // the targets before it belong to batches started
    qsizetype m_batches = 0;  // batches started
    qsizetype m_failed = 0;   // targets that ended unreachable or failed
    int m_running = 0;
    bool m_stopping = false;
    bool m_done = false;
};

} // namespace varo::cli
