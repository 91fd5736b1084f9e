#include "cli/jobscheduler.h"

#include "cli/arguments.h"

#include <QTimer>

#include <algorithm>

namespace varo::cli {

JobScheduler::JobScheduler(Request request, QObject *parent)
    : QObject(parent)
    , m_request(std::move(request)) {}

JobScheduler::~JobScheduler() = default;

void JobScheduler::start() {
    if (!m_request.checked) {
        // Not checked by the caller: check (and load) now, and never run on half-loaded input.
        if (const QString error = checkInputs(m_request); !error.isEmpty()) {
            for (const Target &target : std::as_const(m_request.targets)) {
                TargetResult result;
                result.target = target.text;
                result.exit = Reason::File;
                result.message = error;
                result.command = m_request.command;
                emit targetFinished(result);
            }
            m_next = m_request.targets.size();
        }
    }
    QTimer::singleShot(0, this, &JobScheduler::startNext);
}

void JobScheduler::stop() {
    if (m_stopping) {
        return;
    }
    m_stopping = true;
    for (TargetJob *job : findChildren<TargetJob *>(Qt::FindDirectChildrenOnly)) {
        job->stop();
    }
    // Jobs not started get their "interrupted" line from the reporter.
    startNext();
}

void JobScheduler::startNext() {
    const int limit = std::max(1, m_request.jobs);
    while (!m_stopping && m_running < limit && m_next < m_request.targets.size()) {
        auto *job = new TargetJob(m_request, m_request.targets.at(m_next++), this);
        ++m_running;
        connect(job, &TargetJob::progressed, this, &JobScheduler::progressed);
        connect(job, &TargetJob::finished, this,
                [this, job](const TargetResult &result) { onJobFinished(job, result); });
        job->start();
    }
    if (m_running == 0 && (m_stopping || m_next >= m_request.targets.size()) && !m_done) {
        m_done = true;
        QTimer::singleShot(0, this, &JobScheduler::allFinished);
    }
}

void JobScheduler::onJobFinished(TargetJob *job, const TargetResult &result) {
    --m_running;
    job->deleteLater();
    emit targetFinished(result);
    startNext();
}

} // namespace varo::cli
