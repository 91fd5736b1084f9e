// varo-cli: the reader operations from scripts, for one reader or a fleet.

#include "cli/arguments.h"
#include "cli/commandrunner.h"
#include "cli/exitcodes.h"
#include "cli/report.h"
#include "cli/serialdevices.h"
#include "cli/stoprequest.h"
#include "cli/tracelog.h"
#include "common/signalbridge.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>
#include <QTimer>

#include <unistd.h>

namespace {

using namespace varo::cli;

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
    const Request &request = parsed.request;
    if (request.command == Command::Ports) {
        return listPorts(request, out);
    }
    if (const QString error = checkInputs(request); !error.isEmpty()) {
        err << "varo-cli: " << error << Qt::endl;
        return kExitUsage;
    }

    // The wire trace: the link logs every byte under this category.
    if (request.trace) {
        QLoggingCategory::setFilterRules(QStringLiteral("varo.wire.debug=true"));
        // One line per chunk on stderr, after the wall-clock time in milliseconds; each line
        // carries the target, the direction, hex and printable text.
        installTraceLog();
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
