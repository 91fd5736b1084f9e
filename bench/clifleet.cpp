#include "clifleet.h"

#include "sim/readersimulator.h"
#include "sim/simfleet.h"
#include "sim/simtcpserver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <sys/resource.h>

namespace varo::bench {

namespace {

qint64 childPeakResidentKiB() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return qint64(usage.ru_maxrss);
}

double childCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval &t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs varo-cli while this thread's event loop serves the simulated readers.
CliRun runCli(const QString &cliPath, const QStringList &arguments, int timeoutMs) {
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);

    CliRun run;
    const double cpuBefore = childCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    // Short connect and pause waits: the rows time the exchanges, not the fixed pauses.
    process.start(cliPath, QStringList{QStringLiteral("--short-waits")} + arguments);
    loop.exec();
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.cpuSeconds = childCpuSeconds() - cpuBefore;
    run.peakResidentKiB = childPeakResidentKiB();
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    return run;
}

QString targetOf(const sim::SimFleet &fleet, int index) {
    return QStringLiteral("tcp:127.0.0.1:%1").arg(fleet.tcp(index)->port());
}

} // namespace

CliRun programFleet(const QString &cliPath, int readers, int replyDelayMs) {
    sim::SimOptions options;
    options.replyDelayMs = replyDelayMs;
    sim::SimFleet fleet(options, readers);
    QString error;
    if (!fleet.listen(0, &error))
        return {};
    QStringList arguments{QStringLiteral("--quiet"), QStringLiteral("--jobs"),
                          QString::number(readers), QStringLiteral("program")};
    for (int i = 0; i < readers; ++i)
        arguments << targetOf(fleet, i);
    CliRun run = runCli(cliPath, arguments, 120000);
    for (int i = 0; i < readers && run.exitCode == 0; ++i) {
        if (!fleet.reader(i)->received().contains("X102"))
            run.exitCode = -1; // not every reader was programmed: no valid row
    }
    return run;
}

CliRun flashOne(const QString &cliPath, const QString &image, bool trace) {
    sim::SimFleet fleet(sim::SimOptions{}, 1);
    QString error;
    if (!fleet.listen(0, &error))
        return {};
    QStringList arguments;
    if (trace)
        arguments << QStringLiteral("--trace");
    arguments << QStringLiteral("flash") << image << targetOf(fleet, 0);
    CliRun run = runCli(cliPath, arguments, 300000);
    if (run.exitCode == 0 && !fleet.reader(0)->loaderComplete())
        run.exitCode = -1;
    return run;
}

} // namespace varo::bench
