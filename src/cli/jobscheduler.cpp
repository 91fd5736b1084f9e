#include "cli/jobscheduler.h"

#include "cli/arguments.h"

#include <QDateTime>
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
    startBatch();
    QTimer::singleShot(0, this, &JobScheduler::startNext);
}

void JobScheduler::startBatch() {
    const qsizetype total = m_request.targets.size();
    m_batchEnd = std::min(total, m_batchEnd + batchSize(m_request.batches, m_batches++, total));
}

bool JobScheduler::tooManyFailed() const {
    return m_request.maxFailPercent &&
           double(m_failed) * 100.0 > *m_request.maxFailPercent * double(m_next);
}

void JobScheduler::skipTheRest() {
    const QString message =
        QStringLiteral("not started: %1 of the %2 targets started failed, more than %3 %")
            .arg(m_failed)
            .arg(m_next)
            .arg(*m_request.maxFailPercent);
    while (m_next < m_request.targets.size()) {
        TargetResult result;
        result.target = m_request.targets.at(m_next++).text;
        result.exit = Reason::Skipped;
        result.message = message;
        result.command = m_request.command;
        result.status = Status::Skipped;
        emit targetFinished(result);
    }
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
    const qsizetype total = m_request.targets.size();
    if (!m_stopping && m_running == 0 && m_next == m_batchEnd && m_next < total) {
        // The batch has ended: the next one starts unless too many have failed.
        if (tooManyFailed()) {
            skipTheRest();
        } else {
            startBatch();
        }
    }
    while (!m_stopping && m_running < limit && m_next < m_batchEnd) {
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
    m_failed += result.status == Status::Unreachable || result.status == Status::Failed ? 1 : 0;
    job->deleteLater();
    TargetResult ended = result;
    ended.endedAt = QDateTime::currentMSecsSinceEpoch();
    emit targetFinished(ended);
    startNext();
}

} // namespace varo::cli
