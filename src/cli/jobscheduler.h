#pragma once

#include "cli/report.h"
#include "cli/request.h"
#include "cli/targetjob.h"

#include <QObject>

namespace varo::cli {

// Runs one TargetJob per target of a request on the caller's event loop, at most
// request.jobs at once, in the order the targets were given. One job's failure never stops
// the others. stop() starts no further job and ends the running ones; allFinished() comes
// once, from the event loop, after the last running job has reported.
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
    void onJobFinished(TargetJob *job, const TargetResult &result);

    Request m_request;
    qsizetype m_next = 0;
    int m_running = 0;
    bool m_stopping = false;
    bool m_done = false;
};

} // namespace varo::cli
