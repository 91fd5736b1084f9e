#include "clifleet.h"

#include "sim/readersimulator.h"
#include "sim/simfleet.h"
#include "sim/simtcpserver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

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

namespace {

constexpr const char *kTimeTool = "/usr/bin/time";

// Spawns varo-cli under /usr/bin/time (stdout and stderr to the null device) and waits on the
// event loop for its end through a process file descriptor. The peak memory comes from time,
// which forks varo-cli from its own small image: a process spawned straight from this one would
// report this process's peak as its own.
CliRunMemory runMeasured(const QString &cliPath, const QStringList &arguments,
                         const QString &usageFile, int timeoutMs) {
    CliRunMemory measured;
    std::vector<QByteArray> words{kTimeTool,
                                  "-f",
                                  "%M %U %S",
                                  "-o",
                                  QFile::encodeName(usageFile),
                                  QFile::encodeName(cliPath)};
    for (const QString &argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    const int pidFd = spawned == 0 ? int(::syscall(SYS_pidfd_open, pid, 0)) : -1;
    if (pidFd < 0)
        return measured;
    QEventLoop loop;
    QSocketNotifier ended(pidFd, QSocketNotifier::Read);
    QObject::connect(&ended, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, [&loop, pid] {
        ::kill(pid, SIGKILL);
        loop.quit();
    });
    loop.exec();
    measured.run.seconds = double(clock.nsecsElapsed()) / 1e9;
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(pidFd);
    QFile usage(usageFile);
    if (!WIFEXITED(status) || !usage.open(QIODevice::ReadOnly))
        return measured;
    // "Command exited with non-zero status N" may come first; the figures are the last line.
    const QList<QByteArray> figures = usage.readAll().trimmed().split('\n').last().split(' ');
    if (figures.size() == 3) {
        measured.peakKiB = figures[0].toLong();
        measured.run.cpuSeconds = figures[1].toDouble() + figures[2].toDouble();
        measured.run.exitCode = WEXITSTATUS(status);
    }
    return measured;
}

} // namespace

CliRunMemory reportFleet(const QString &cliPath, int readers, const QStringList &reportArguments,
                         const QString &usageFile) {
    sim::SimFleet fleet(sim::SimOptions{}, readers);
    QString error;
    if (!fleet.listen(0, &error))
        return {};
    QStringList arguments{QStringLiteral("--short-waits"), QStringLiteral("--jobs"),
                          QStringLiteral("100")};
    arguments << reportArguments << QStringLiteral("info");
    for (int i = 0; i < readers; ++i)
        arguments << targetOf(fleet, i);
    return runMeasured(cliPath, arguments, usageFile, 300000);
}

} // namespace varo::bench
