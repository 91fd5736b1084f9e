// varo-cli: the reader operations from scripts, for one reader or a fleet.

#include "cli/arguments.h"
#include "cli/commandrunner.h"
#include "cli/exitcodes.h"
#include "cli/filelimit.h"
#include "cli/report.h"
#include "cli/serialdevices.h"
#include "cli/stoprequest.h"
#include "cli/tracelog.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace varo::cli;

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

int listPorts(const Request &request, QTextStream &out) {
    const QList<SerialDevice> devices = detectedSerialDevices();
    if (request.json) {
        out << serialDevicesJson(devices).toJson(QJsonDocument::Indented);
    } else {
        out << formatSerialDevices(devices);
    }
    out.flush();
    return kExitOk;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varo-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VARO_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);
    const ParsedArguments parsed = parseArguments(QCoreApplication::arguments().mid(1));
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
    Request request = parsed.request;
    if (request.command == Command::Ports) {
        return listPorts(request, out);
    }
    if (const QString error = checkInputs(request); !error.isEmpty()) {
        err << "varo-cli: " << error << Qt::endl;
        return kExitUsage;
    }

    // A link is an open file: a large fleet may need a higher limit, or fewer links at once.
    const LinkBudget budget =
        fitLinksToFileLimit(std::min(request.jobs, int(request.targets.size())));
    if (!budget.notice.isEmpty()) {
        err << budget.notice << Qt::endl;
        request.jobs = budget.links;
    }

    // The wire trace: the link logs every byte under this category.
    if (request.trace) {
        QLoggingCategory::setFilterRules(QStringLiteral("varo.wire.debug=true"));
        // One line per chunk on stderr, after the wall-clock time in milliseconds; each line
        // carries the target, the direction, hex and printable text.
        installTraceLog();
    }

    // Ctrl+C and SIGTERM reach the event loop through a socket pair; a second one ends the
    // process at once.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        err << "varo-cli: socketpair failed" << Qt::endl;
        return kExitFailed;
    }
    StopRequest stop;
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&stop] {
        char byte = 0;
        [[maybe_unused]] const auto got = ::read(g_signalPipe[0], &byte, 1);
        if (stop.isRequested()) {
            ::_exit(kExitFailed);
        }
        stop.request();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    QStringList targetNames;
    for (const Target &target : request.targets) {
        targetNames.append(target.text);
    }
    Reporter::Options reportOptions;
    reportOptions.json = request.json;
    reportOptions.quiet = request.quiet;
    reportOptions.progress = ::isatty(STDERR_FILENO) == 1 && !request.quiet;
    Reporter reporter(commandName(request.command), targetNames, reportOptions, out, err);

    // Started from the event loop, so `finished` can always end it.
    QTimer::singleShot(0, &app, [&] {
        runCommand(request, reporter, stop, [&] {
            const int code = reporter.finish();
            QCoreApplication::exit(stop.isRequested() ? kExitFailed : code);
        });
    });
    return app.exec();
}
