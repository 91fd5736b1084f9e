// varo-cli: the reader operations from scripts, for one reader or a fleet.

#include "cli/arguments.h"
#include "cli/commandchecks.h"
#include "cli/commandrunner.h"
#include "cli/commandtable.h"
#include "cli/exitcodes.h"
#include "cli/filelimit.h"
#include "cli/report.h"
#include "cli/stoprequest.h"
#include "cli/tracelog.h"
#include "common/epolldispatcher.h"

#include "common/signalbridge.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

using namespace varo::cli;

// Help, version, a usage error or a command that runs on no reader (ports): answered without
// running on any reader.
std::optional<int> answerAtOnce(const ParsedArguments &parsed, QTextStream &out, QTextStream &err) {
    switch (parsed.action) {
    case ParsedArguments::Action::Help:
        out << usageText() << Qt::flush;
        return kExitOk;
    case ParsedArguments::Action::Version:
        out << "varo-cli " << QCoreApplication::applicationVersion() << Qt::endl;
        return kExitOk;
    case ParsedArguments::Action::UsageError:
        err << "varo-cli: " << parsed.error << "\nTry 'varo-cli --help'." << Qt::endl;
        return kExitUsage;
    case ParsedArguments::Action::Run:
        break;
    }
    if (const CommandRow &row = commandRow(parsed.request.command); row.answer) {
        return row.answer(parsed.request, out);
    }
    return std::nullopt;
}

// The wire trace: the link logs every byte under this category; one line per chunk on stderr,
// after the wall-clock time in milliseconds; each line carries the target, the direction, hex
// and printable text.
void startWireTrace() {
    QLoggingCategory::setFilterRules(QStringLiteral("varo.wire.debug=true"));
    installTraceLog();
}

Reporter::Options reportOptions(const Request &request) {
    Reporter::Options options;
    options.format = request.format;
    options.quiet = request.quiet;
    options.check = request.check;
    options.progress = ::isatty(STDERR_FILENO) == 1 && !request.quiet;
    options.junitPath = request.junitPath;
    options.metricsPath = request.metricsPath;
    options.retryPath = request.retryPath;
    return options;
}

// A link is an open file: a large fleet may need a higher limit, or fewer links at once.
void fitJobsToFileLimit(Request &request, QTextStream &err) {
    const LinkBudget budget =
        fitLinksToFileLimit(std::min(request.jobs, int(request.targets.size())));
    if (!budget.notice.isEmpty()) {
        err << budget.notice << Qt::endl;
        request.jobs = budget.links;
    }
}

// A report that did not reach stdout (a full disk, a closed pipe) is a failure: `code`, or 1
// with a message on stderr.
int checkedOutput(QTextStream &out, QTextStream &err, int code) {
    out.flush();
    const bool failed =
        out.status() != QTextStream::Ok || std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    if (!failed) {
        return code;
    }
    const int error = errno;
    err << "varo-cli: cannot write to stdout"
        << (error != 0 ? QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error))
                       : QString())
        << Qt::endl;
    return code == kExitOk ? kExitFailed : code;
}

QStringList targetNames(const Request &request) {
    QStringList names;
    for (const Target &target : request.targets) {
        names.append(target.text);
    }
    return names;
}

} // namespace

int main(int argc, char *argv[]) {
    // A batch keeps hundreds of links open: epoll spares each pass a scan of all of them.
    if (auto dispatcher = std::make_unique<varo::common::EpollDispatcher>(); dispatcher->isValid())
        QCoreApplication::setEventDispatcher(dispatcher.release());
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varo-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VARO_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);
    const ParsedArguments parsed = parseArguments(QCoreApplication::arguments().mid(1));
    if (const std::optional<int> code = answerAtOnce(parsed, out, err)) {
        return checkedOutput(out, err, *code);
    }
    Request request = parsed.request;
    if (const QString error = checkInputs(request); !error.isEmpty()) {
        err << "varo-cli: " << error << Qt::endl;
        return kExitUsage;
    }
    for (const QString &note : inputNotes(request)) {
        err << "varo-cli: " << note << Qt::endl;
    }

    fitJobsToFileLimit(request, err);
    if (request.trace) {
        startWireTrace();
    }

    // Ctrl+C and SIGTERM reach the event loop; a second one ends the process at once.
    varo::common::SignalBridge signalBridge;
    if (!signalBridge.isInstalled()) {
        err << "varo-cli: socketpair failed" << Qt::endl;
        return kExitFailed;
    }
    StopRequest stop;
    QObject::connect(&signalBridge, &varo::common::SignalBridge::received, &app, [&stop] {
        if (stop.isRequested()) {
            ::_exit(kExitFailed);
        }
        stop.request();
    });

    Reporter reporter(commandName(request.command), targetNames(request), reportOptions(request),
                      out, err);

    // Started from the event loop, so `finished` can always end it.
    QTimer::singleShot(0, &app, [&] {
        reporter.begin();
        runCommand(request, reporter, stop, [&] {
            const int code = reporter.finish();
            QCoreApplication::exit(
                checkedOutput(out, err, stop.isRequested() ? kExitFailed : code));
        });
    });
    return app.exec();
}
