#include "cli/commandrunner.h"

#include <QTimer>

namespace varo::cli {

// The reader commands are not connected to the link engines in this build: every target
// fails with a result that says so, and nothing is sent.
void runCommand(const Request &request, Reporter &reporter, StopRequest &stop,
                std::function<void()> finished) {
    (void)stop;
    QTimer::singleShot(0, [request, &reporter, finished = std::move(finished)] {
        for (const Target &target : request.targets) {
            reporter.add({target.text,
                          false,
                          QString::fromLatin1(reason::kNotWired),
                          QStringLiteral("not yet wired: \"%1\" is not available in this build")
                              .arg(commandName(request.command)),
                          0,
                          {}});
        }
        finished();
    });
}

} // namespace varo::cli
