#include "cli/commandrunner.h"

#include "cli/jobscheduler.h"

#include <QCoreApplication>

namespace varo::cli {

void runCommand(const Request &request, Reporter &reporter, StopRequest &stop,
                std::function<void()> finished) {
    // The scheduler lives until the application ends; it deletes its jobs as they finish.
    auto *scheduler = new JobScheduler(request, QCoreApplication::instance());
    QObject::connect(scheduler, &JobScheduler::progressed, scheduler,
                     [&reporter](const QString &target, const QString &text) {
                         reporter.progress(target, text);
                     });
    QObject::connect(scheduler, &JobScheduler::targetFinished, scheduler,
                     [&reporter](const TargetResult &result) { reporter.add(result); });
    QObject::connect(&stop, &StopRequest::requested, scheduler, &JobScheduler::stop);
    QObject::connect(scheduler, &JobScheduler::allFinished, scheduler,
                     [finished = std::move(finished)] { finished(); });
    scheduler->start();
}

} // namespace varo::cli
