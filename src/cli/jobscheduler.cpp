#include "cli/jobscheduler.h"

#include "config/defaults.h"
#include "config/readerprofile.h"

#include <QTimer>

#include <algorithm>

namespace varo::cli {

JobScheduler::JobScheduler(Request request, QObject *parent)
    : QObject(parent)
    , m_request(std::move(request))
    , m_waits(waitsFromEnvironment()) {}

JobScheduler::~JobScheduler() = default;

std::unique_ptr<config::ConfigModel> JobScheduler::programSettings(const QString &profilePath,
                                                                   QString *problems) {
    auto model = std::make_unique<config::ConfigModel>();
    config::loadDefaults(*model);
    if (profilePath.isEmpty()) {
        return model;
    }
    const config::ProfileLoadResult loaded = config::loadProfileFile(profilePath, *model);
    if (loaded.hasErrors() || !config::applyProfile(loaded, *model)) {
        if (problems) {
            *problems = loaded.report();
        }
        return {};
    }
    return model;
}

void JobScheduler::start() {
    if (m_request.command == Command::Program) {
        QString problems;
        m_model = programSettings(m_request.profilePath, &problems);
        if (!m_model) {
            // checkInputs() refuses such a profile first; never run on half-applied settings.
            for (const Target &target : std::as_const(m_request.targets)) {
                emit targetFinished({target.text,
                                     false,
                                     QString::fromLatin1(reason::kFile),
                                     QStringLiteral("profile: ") + problems,
                                     0,
                                     {}});
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
        auto *job =
            new TargetJob(m_request, m_request.targets.at(m_next++), m_model.get(), m_waits, this);
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
