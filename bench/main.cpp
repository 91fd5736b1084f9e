// varo-bench: the utility's engines against the simulator, each next to a minimal blocking
// client that puts the same bytes on the wire.

#include "clifleet.h"
#include "harness.h"
#include "lifecycle.h"
#include "pacedrelay.h"
#include "report.h"
#include "scenarios.h"
#include "simhost.h"

#include "common/openfiles.h"
#include "sim/readersimulator.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <csignal>
#include <functional>
#include <set>

namespace {

using namespace varo::bench;

struct Plan {
    QString name;
    int programReps = 31;
    int programRuns = 20; // programming runs per timed sample
    int reps = 3;
    // Pairs of runs for the downloads, the upload and the traced rows (see takeTurns() and
    // medianRatio()): more pairs leave more of a shared machine's slow stretches out.
    int transferReps = 5;
    int loopbackPasses = 2000;
    int loopbackReps = 3; // a full loopback test takes tens of seconds per client
    qsizetype firmwareBytes = 1024 * 1024;
    int uploadRecords = 99999; // a reader's whole memory: an upload stops beyond it
    double cpuWindow = 10;
    qsizetype lineRateBytes = 64 * 1024;
    bool lineRateBaseline = false;
    int fleetReaders = 100;
    int largeFleetReaders = 1000;
    int pacedLoopbackPasses = 200; // a tenth of the full loopback test
    int pacedProgramRuns = 2;
    qsizetype traceFirmwareBytes = 1024 * 1024;
};

Plan planFor(bool quick, bool smoke) {
    Plan plan;
    plan.name = QStringLiteral("full");
    if (smoke) {
        plan.name = QStringLiteral("smoke");
        plan.programReps = 1;
        plan.programRuns = 1;
        plan.reps = 1;
        plan.transferReps = 1;
        plan.loopbackReps = 1;
        plan.loopbackPasses = 4;
        plan.firmwareBytes = 4096;
        plan.uploadRecords = 200;
        plan.cpuWindow = 0.5;
        plan.lineRateBytes = 300;
        plan.lineRateBaseline = true;
        plan.fleetReaders = 3;
        plan.largeFleetReaders = 5;
        plan.pacedLoopbackPasses = 1;
        plan.pacedProgramRuns = 1;
        plan.traceFirmwareBytes = 4096;
    } else if (quick) {
        plan.name = QStringLiteral("quick");
        plan.programReps = 5;
        plan.reps = 1;
        plan.transferReps = 1;
        plan.loopbackReps = 1;
        plan.cpuWindow = 3;
        plan.lineRateBytes = 8 * 1024;
        plan.lineRateBaseline = true;
    }
    return plan;
}

constexpr int kLineBaud = 9600;
constexpr int kFastLineBaud = 115200;
constexpr int kStreamRate = 11520; // characters per second of a 115200-baud line
constexpr double kRatioTarget = 1.15;
constexpr double kCpuRatioTarget = 2.0;
constexpr double kIdleCpuTarget = 0.1;
constexpr double kStreamCoreTarget = 0.10;
constexpr double kWireTarget = 1.05;
constexpr double kPacedLoopbackTarget = 1.3;
constexpr double kFleetTarget = 1.2;
constexpr double kLargeFleetTarget = 1.5;
constexpr double kFleetCpuPerReaderTarget = 0.001;
constexpr double kTraceTarget = 1.05;
constexpr int kFleetReplyDelayMs = 20;
constexpr int kReportFleetReaders = 1000;
constexpr double kReportTarget = 1.1;
constexpr int kReportReps = 9;
constexpr double kTracedRatioTarget = 1.10;
constexpr double kTracedStreamCoreTarget = 0.15;
constexpr double kTraceMemoryTargetMiB = 64;
constexpr int kTraceRows = 100000;
constexpr int kTraceRowBytes = 16; // about what one read of a 115,200-baud stream brings

QString sizeText(qsizetype bytes) {
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0)
        return QString::number(bytes / (1024 * 1024)) + QStringLiteral(" MiB");
    if (bytes >= 1024 && bytes % 1024 == 0)
        return QString::number(bytes / 1024) + QStringLiteral(" KiB");
    return QString::number(bytes) + QStringLiteral(" B");
}

// Four significant digits at most scales.
QString seconds(double value) {
    return fixed(value, value < 0.01 ? 5 : value < 1 ? 4 : 3);
}

class Bench {
public:
    Bench(const Plan &plan, QTextStream &out)
        : m_plan(plan)
        , m_out(out) {}

    int run(const std::set<int> &rows);

private:
    // Runs a comparison row `reps` times; `work` units per run.
    void compare(const QString &scenario, Transport transport, int reps, double work,
                 const QString &unit, const std::function<Run()> &utility,
                 const std::function<Run()> &baseline);
    void terminalRows();
    void lineRateRow();
    double pacedRow(const QString &scenario, SimHost &host, int baud, const QString &client,
                    const std::function<double(const QString &)> &runner);
    void cliRows();
    void cliReportRows();
    void lifecycleRows();
    void traceRows();
    void error(const QString &scenario, Transport transport, const BenchError &e);
    void progress(const QString &text);

    Plan m_plan;
    QTextStream &m_out;
    SimHost m_host;
    QTemporaryDir m_dir;
    Table m_compare{{QStringLiteral("Scenario"), QStringLiteral("Link"), QStringLiteral("Reps"),
                     QStringLiteral("Utility s"), QStringLiteral("Baseline s"),
                     QStringLiteral("Ratio"), QStringLiteral("Ratio range"),
                     QStringLiteral("Utility CPU s"), QStringLiteral("Baseline CPU s"),
                     QStringLiteral("CPU ratio"), QStringLiteral("Utility rate"),
                     QStringLiteral("Same wire")}};
    Table m_cpu{{QStringLiteral("Scenario"), QStringLiteral("Link"), QStringLiteral("Window s"),
                 QStringLiteral("Utility CPU s"), QStringLiteral("Share of a core"),
                 QStringLiteral("Chars drawn/s")}};
    Table m_line{{QStringLiteral("Scenario"), QStringLiteral("Link"), QStringLiteral("Bytes up"),
                  QStringLiteral("Bytes down"), QStringLiteral("Wire limit s"),
                  QStringLiteral("Hand-over us"), QStringLiteral("Timer early us"),
                  QStringLiteral("Client"), QStringLiteral("Time s"),
                  QStringLiteral("Ratio to limit")}};
    Table m_cli{{QStringLiteral("Scenario (varo-cli process)"), QStringLiteral("Link"),
                 QStringLiteral("Readers"), QStringLiteral("Time s"), QStringLiteral("CPU s"),
                 QStringLiteral("CPU per reader s"), QStringLiteral("Memory per reader KiB"),
                 QStringLiteral("Exit")}};
    Table m_cliReport{{QStringLiteral("varo-cli info, report format"), QStringLiteral("Readers"),
                       QStringLiteral("Time s"), QStringLiteral("CPU s"),
                       QStringLiteral("Peak MiB"), QStringLiteral("Exit")}};
    Table m_reconnect{{QStringLiteral("Scenario"), QStringLiteral("Link"),
                       QStringLiteral("Back-off step s"), QStringLiteral("To \"Connected\" s"),
                       QStringLiteral("Target s")}};
    Table m_trace{{QStringLiteral("With the trace window recording"), QStringLiteral("Link"),
                   QStringLiteral("Without"), QStringLiteral("With"), QStringLiteral("Cost")}};
    Targets m_targets;
    int m_errors = 0;
};

// One varo-cli process programs one reader, then a whole fleet, every simulated reader
// delaying each reply by 20 ms; then the 1 MiB download with and without --trace.
// One varo-cli process runs info on 1,000 simulated readers, its results streamed as jsonl with
// a metrics file, against the same run printing text lines: time and peak memory.
void Bench::cliReportRows() {
    const QString cli = QStringLiteral(VARO_CLI_PATH);
    const int readers =
        m_plan.name == QStringLiteral("smoke") ? m_plan.fleetReaders : kReportFleetReaders;
    const QString metrics = m_dir.filePath(QStringLiteral("varo.prom"));
    const QStringList text{QStringLiteral("--format"), QStringLiteral("text")};
    const QStringList jsonl{QStringLiteral("--format"), QStringLiteral("jsonl"),
                            QStringLiteral("--metrics"), metrics};
    progress(
        QStringLiteral("varo-cli info on %1 readers, text and jsonl with metrics").arg(readers));
    std::vector<double> seconds[2];
    std::vector<double> cpu[2];
    std::vector<double> peaks[2];
    CliRunMemory last[2];
    // Each run takes a tenth of a second: more of them than elsewhere steady the medians.
    const int reps =
        m_plan.name == QStringLiteral("smoke") ? 1 : std::max(m_plan.reps, kReportReps);
    const auto runKind = [&](int kind) {
        last[kind] = reportFleet(cli, readers, kind == 0 ? text : jsonl,
                                 m_dir.filePath(QStringLiteral("usage.txt")));
        seconds[kind].push_back(last[kind].run.seconds);
        cpu[kind].push_back(last[kind].run.cpuSeconds);
        peaks[kind].push_back(double(last[kind].peakKiB) / 1024.0);
    };
    for (int rep = 0; rep < reps; ++rep)
        takeTurns(
            rep, [&] { runKind(0); }, [&] { runKind(1); });
    const char *names[] = {"--format text", "--format jsonl --metrics"};
    for (int kind = 0; kind < 2; ++kind) {
        m_cliReport.addRow({QLatin1String(names[kind]), QString::number(readers),
                            fixed(median(seconds[kind]), 3), fixed(median(cpu[kind]), 3),
                            fixed(median(peaks[kind]), 1),
                            QString::number(last[kind].run.exitCode)});
        if (last[kind].run.exitCode != 0) {
            ++m_errors;
            m_targets.judge(
                false, QLatin1String(names[kind]) +
                           QStringLiteral(": ERROR exit code %1").arg(last[kind].run.exitCode));
            return;
        }
    }
    const double time = medianRatio(seconds[1], seconds[0]);
    const double memory = medianRatio(peaks[1], peaks[0]);
    m_targets.judge(time <= kReportTarget,
                    QStringLiteral("varo-cli jsonl + metrics / text, %1 readers, time: %2 <= %3")
                        .arg(readers)
                        .arg(fixed(time, 3), fixed(kReportTarget, 2)));
    m_targets.judge(memory <= kReportTarget,
                    QStringLiteral("varo-cli jsonl + metrics / text, %1 readers, memory: %2 <= %3")
                        .arg(readers)
                        .arg(fixed(memory, 3), fixed(kReportTarget, 2)));
}

void Bench::cliRows() {
    const QString cli = QStringLiteral(VARO_CLI_PATH);
    const auto addRow = [this](const QString &scenario, int readers, const CliRun &run,
                               const QString &memory = QStringLiteral("-")) {
        m_cli.addRow({scenario, QStringLiteral("tcp"), QString::number(readers),
                      seconds(run.seconds), seconds(run.cpuSeconds),
                      seconds(run.cpuSeconds / std::max(readers, 1)), memory,
                      QString::number(run.exitCode)});
        if (run.exitCode != 0) {
            ++m_errors;
            m_targets.judge(false, scenario + QStringLiteral(": ERROR exit code ") +
                                       QString::number(run.exitCode));
        }
    };
    const QString program = QStringLiteral("Program, 20 ms replies");
    progress(QStringLiteral("varo-cli program, 1 reader"));
    const CliRun one = programFleet(cli, 1, kFleetReplyDelayMs);
    addRow(program, 1, one);
    for (const auto &[readers, target] : {std::pair(m_plan.fleetReaders, kFleetTarget),
                                          std::pair(m_plan.largeFleetReaders, kLargeFleetTarget)}) {
        progress(QStringLiteral("varo-cli program, %1 readers").arg(readers));
        const CliRun fleet = programFleet(cli, readers, kFleetReplyDelayMs);
        // What each further reader adds to the process's peak resident size.
        const double perReaderKiB =
            double(fleet.peakResidentKiB - one.peakResidentKiB) / std::max(readers - 1, 1);
        addRow(program, readers, fleet, fixed(perReaderKiB, 1));
        if (one.exitCode != 0 || fleet.exitCode != 0)
            continue;
        const double ratio = fleet.seconds / one.seconds;
        m_targets.judge(ratio <= target,
                        QStringLiteral("varo-cli program %1 readers / 1 reader: %2 <= %3")
                            .arg(readers)
                            .arg(fixed(ratio, 2), fixed(target, 1)));
        if (readers == m_plan.largeFleetReaders) {
            const double perReader = fleet.cpuSeconds / readers;
            m_targets.judge(
                perReader < kFleetCpuPerReaderTarget,
                QStringLiteral("varo-cli program %1 readers: %2 ms CPU per reader < %3 ms")
                    .arg(readers)
                    .arg(fixed(perReader * 1000, 3), fixed(kFleetCpuPerReaderTarget * 1000, 0)));
        }
    }

    const QString image = m_dir.filePath(QStringLiteral("firmware-cli.bin"));
    if (!writeImage(image, m_plan.traceFirmwareBytes)) {
        ++m_errors;
        m_targets.judge(false, QStringLiteral("varo-cli flash: cannot write the image"));
        return;
    }
    progress(QStringLiteral("varo-cli flash %1, trace off and on")
                 .arg(sizeText(m_plan.traceFirmwareBytes)));
    std::vector<CliRun> off;
    std::vector<CliRun> on;
    for (int rep = 0; rep < m_plan.transferReps; ++rep) {
        takeTurns(
            rep, [&] { off.push_back(flashOne(cli, image, false)); },
            [&] { on.push_back(flashOne(cli, image, true)); });
    }
    // The table shows the median run of each kind; the ratio is the median pair's.
    const auto medianRun = [](std::vector<CliRun> runs) {
        std::sort(runs.begin(), runs.end(),
                  [](const CliRun &a, const CliRun &b) { return a.seconds < b.seconds; });
        return runs[runs.size() / 2];
    };
    const auto failed = [](const std::vector<CliRun> &runs) {
        return std::any_of(runs.begin(), runs.end(),
                           [](const CliRun &r) { return r.exitCode != 0; });
    };
    const CliRun medianOff = medianRun(off);
    const CliRun medianOn = medianRun(on);
    const QString size = sizeText(m_plan.traceFirmwareBytes);
    addRow(QStringLiteral("Firmware %1, no trace").arg(size), 1, medianOff);
    addRow(QStringLiteral("Firmware %1, --trace").arg(size), 1, medianOn);
    if (!failed(off) && !failed(on)) {
        const auto secondsOf = [](const std::vector<CliRun> &runs) {
            std::vector<double> values;
            for (const CliRun &run : runs)
                values.push_back(run.seconds);
            return values;
        };
        const double ratio = medianRatio(secondsOf(on), secondsOf(off));
        m_targets.judge(ratio <= kTraceTarget,
                        QStringLiteral("varo-cli flash %1 --trace / no trace: %2 <= %3")
                            .arg(size, fixed(ratio, 3), fixed(kTraceTarget, 2)));
    } else if (medianOff.exitCode == 0 && medianOn.exitCode == 0) {
        ++m_errors;
        m_targets.judge(false, QStringLiteral("varo-cli flash %1: a run failed").arg(size));
    }
}

void Bench::progress(const QString &text) {
    QTextStream(stderr) << "varo-bench: " << text << Qt::endl;
}

void Bench::error(const QString &scenario, Transport transport, const BenchError &e) {
    ++m_errors;
    m_targets.judge(false, scenario + u' ' + transportName(transport) + QStringLiteral(": ERROR ") +
                               QString::fromStdString(e.what()));
}

void Bench::compare(const QString &scenario, Transport transport, int reps, double work,
                    const QString &unit, const std::function<Run()> &utility,
                    const std::function<Run()> &baseline) {
    progress(scenario + u' ' + transportName(transport));
    std::vector<double> utilityTimes;
    std::vector<double> baselineTimes;
    std::vector<double> utilityCpu;
    std::vector<double> baselineCpu;
    std::vector<double> ratios;
    bool sameWire = true;
    try {
        for (int rep = 0; rep < reps; ++rep) {
            Run u;
            Run b;
            takeTurns(
                rep, [&] { u = utility(); }, [&] { b = baseline(); });
            utilityTimes.push_back(u.seconds);
            baselineTimes.push_back(b.seconds);
            utilityCpu.push_back(u.cpuSeconds);
            baselineCpu.push_back(b.cpuSeconds);
            ratios.push_back(b.seconds > 0 ? u.seconds / b.seconds : 0);
            sameWire = sameWire && u.wire == b.wire;
        }
    } catch (const BenchError &e) {
        error(scenario, transport, e);
        return;
    }
    const double u = median(utilityTimes);
    const double b = median(baselineTimes);
    const double ratio = medianRatio(utilityTimes, baselineTimes);
    const double cpuU = median(utilityCpu);
    const double cpuB = median(baselineCpu);
    const double cpuRatio = medianRatio(utilityCpu, baselineCpu);
    const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
    m_compare.addRow({scenario, transportName(transport), QString::number(reps), seconds(u),
                      seconds(b), fixed(ratio, 2), fixed(*low, 2) + u'-' + fixed(*high, 2),
                      seconds(cpuU), seconds(cpuB), fixed(cpuRatio, 2),
                      rate(work / u) + unit + QStringLiteral("/s"),
                      sameWire ? QStringLiteral("yes") : QStringLiteral("NO")});
    m_targets.judge(ratio <= kRatioTarget, QStringLiteral("%1 %2: utility/baseline %3 <= %4")
                                               .arg(scenario, transportName(transport),
                                                    fixed(ratio, 2), fixed(kRatioTarget, 2)));
    m_targets.judge(cpuRatio <= kCpuRatioTarget,
                    QStringLiteral("%1 %2: utility/baseline CPU %3 <= %4")
                        .arg(scenario, transportName(transport), fixed(cpuRatio, 2),
                             fixed(kCpuRatioTarget, 1)));
    if (!sameWire) {
        ++m_errors;
        m_targets.judge(false, scenario + u' ' + transportName(transport) +
                                   QStringLiteral(": the two clients sent different bytes"));
    }
}

void Bench::terminalRows() {
    for (const Transport transport : {Transport::Pty, Transport::Tcp}) {
        for (const int charsPerSecond : {0, kStreamRate}) {
            const QString scenario = charsPerSecond == 0
                                         ? QStringLiteral("Terminal open, no traffic")
                                         : QStringLiteral("Terminal, 11520 chars/s stream");
            progress(scenario + u' ' + transportName(transport));
            try {
                // A simulator of its own: the shared one's pseudo-terminal drops output for a
                // reopened slave until that slave has written something, and a terminal that
                // only listens never does.
                SimHost host;
                if (!host.isValid())
                    throw BenchError("cannot start a simulator");
                qint64 received = 0;
                const double cpu =
                    terminalCpu(host, transport, m_plan.cpuWindow, charsPerSecond, &received);
                const double share = cpu / m_plan.cpuWindow;
                m_cpu.addRow({scenario, transportName(transport), fixed(m_plan.cpuWindow, 1),
                              fixed(cpu, 4), fixed(share * 100, 2) + QStringLiteral(" %"),
                              fixed(double(received) / m_plan.cpuWindow, 0)});
                if (charsPerSecond == 0) {
                    m_targets.judge(cpu < kIdleCpuTarget,
                                    QStringLiteral("%1 %2: %3 s CPU in %4 s < %5 s")
                                        .arg(scenario, transportName(transport), fixed(cpu, 4),
                                             fixed(m_plan.cpuWindow, 1), fixed(kIdleCpuTarget, 1)));
                } else {
                    m_targets.judge(share < kStreamCoreTarget,
                                    QStringLiteral("%1 %2: %3 % of a core < %4 %")
                                        .arg(scenario, transportName(transport),
                                             fixed(share * 100, 2),
                                             fixed(kStreamCoreTarget * 100, 0)));
                }
            } catch (const BenchError &e) {
                error(scenario, transport, e);
            }
        }
    }
}

// Runs `runner(relayPath)` through a paced relay at `baud` in front of `host`'s pseudo-terminal
// and adds its row; returns the time over the wire limit (every byte's ten bit times, one
// direction after the other: the exchanges are stop-and-wait).
double Bench::pacedRow(const QString &scenario, SimHost &host, int baud, const QString &client,
                       const std::function<double(const QString &)> &runner) {
    PacedRelay relay(host.ptyPath(), baud);
    if (!relay.isValid())
        throw BenchError("cannot open the paced relay");
    const double time = runner(relay.utilityPath());
    const qint64 up = relay.bytesUp();
    const qint64 down = relay.bytesDown();
    const double limit = double(up + down) * 10.0 / baud;
    const double ratio = time / limit;
    m_line.addRow(
        {scenario, transportName(Transport::Pty), QString::number(up), QString::number(down),
         fixed(limit, 2), fixed(double(relay.handOverNs()) / 1000.0, 1),
         fixed(double(relay.wakeEarlyNs()) / 1000.0, 1), client, fixed(time, 2), fixed(ratio, 3)});
    return ratio;
}

void Bench::lineRateRow() {
    const auto judge = [this](const QString &scenario, double ratio, double target) {
        m_targets.judge(ratio <= target, QStringLiteral("%1: time / wire limit %2 <= %3")
                                             .arg(scenario, fixed(ratio, 3), fixed(target, 2)));
    };
    const bool baselineToo = m_plan.lineRateBaseline;

    const QString firmware =
        QStringLiteral("Firmware %1 at %2 baud").arg(sizeText(m_plan.lineRateBytes)).arg(kLineBaud);
    progress(firmware);
    varo::sim::SimOptions slow;
    slow.lineRateBaud = kLineBaud;
    const QString image = m_dir.filePath(QStringLiteral("line-rate.bin"));
    try {
        SimHost paced(slow);
        if (!paced.isValid() || !writeImage(image, m_plan.lineRateBytes))
            throw BenchError("cannot set up the paced simulator");
        judge(firmware,
              pacedRow(firmware, paced, kLineBaud, QStringLiteral("utility"),
                       [&](const QString &path) {
                           return firmwareUtility(paced, Transport::Pty, image, path).seconds;
                       }),
              kWireTarget);
        if (baselineToo) {
            pacedRow(firmware, paced, kLineBaud, QStringLiteral("baseline"),
                     [&](const QString &path) {
                         return firmwareBaseline(paced, Transport::Pty, image, path).seconds;
                     });
        }
    } catch (const BenchError &e) {
        error(firmware, Transport::Pty, e);
    }

    const int runs = m_plan.pacedProgramRuns;
    const QString program =
        QStringLiteral("Programming run x%1 at %2 baud").arg(runs).arg(kLineBaud);
    progress(program);
    try {
        SimHost paced(slow);
        if (!paced.isValid())
            throw BenchError("cannot set up the paced simulator");
        judge(program,
              pacedRow(program, paced, kLineBaud, QStringLiteral("utility"),
                       [&](const QString &path) {
                           return programUtility(paced, Transport::Pty, runs, path).seconds * runs;
                       }),
              kWireTarget);
        if (baselineToo) {
            pacedRow(program, paced, kLineBaud, QStringLiteral("baseline"),
                     [&](const QString &path) {
                         return programBaseline(paced, Transport::Pty, runs, path).seconds * runs;
                     });
        }
    } catch (const BenchError &e) {
        error(program, Transport::Pty, e);
    }

    const int passes = m_plan.pacedLoopbackPasses;
    const QString loop =
        QStringLiteral("Loopback %1 bytes at %2 baud").arg(passes * 256).arg(kFastLineBaud);
    progress(loop);
    varo::sim::SimOptions fast;
    fast.lineRateBaud = kFastLineBaud;
    try {
        SimHost paced(fast);
        if (!paced.isValid())
            throw BenchError("cannot set up the paced simulator");
        judge(loop,
              pacedRow(loop, paced, kFastLineBaud, QStringLiteral("utility"),
                       [&](const QString &path) {
                           return loopbackUtility(paced, Transport::Pty, passes, path).seconds;
                       }),
              kPacedLoopbackTarget);
        // Always: the baseline shows what the relay itself costs at this rate.
        pacedRow(loop, paced, kFastLineBaud, QStringLiteral("baseline"), [&](const QString &path) {
            return loopbackBaseline(paced, Transport::Pty, passes, path).seconds;
        });
    } catch (const BenchError &e) {
        error(loop, Transport::Pty, e);
    }
}

void Bench::lifecycleRows() {
    const QString replug = QStringLiteral("Reconnect after re-plug");
    for (const Transport transport : {Transport::Tcp, Transport::Pty}) {
        progress(replug + u' ' + transportName(transport));
        try {
            // Away long enough for the back-off to have grown past its first step.
            const ReplugTiming timing = reconnectAfterReplug(transport, 1600);
            const double target = timing.step.count() / 1000.0 + 0.2;
            m_reconnect.addRow({replug, transportName(transport),
                                fixed(timing.step.count() / 1000.0, 1),
                                fixed(timing.secondsToConnected, 3), fixed(target, 3)});
            m_targets.judge(timing.secondsToConnected <= target,
                            QStringLiteral("%1 %2: %3 s to \"Connected\" <= step %4 s + 0.2 s")
                                .arg(replug, transportName(transport),
                                     fixed(timing.secondsToConnected, 3),
                                     fixed(timing.step.count() / 1000.0, 1)));
        } catch (const BenchError &e) {
            error(replug, transport, e);
        }
    }
    const QString idle = QStringLiteral("Communications screen open, idle");
    progress(idle);
    const double cpu = communicationsIdleCpu(m_plan.cpuWindow);
    // The target is per 10 s; shorter windows get their share of it.
    const double target = kIdleCpuTarget * m_plan.cpuWindow / 10.0;
    m_cpu.addRow({idle, QStringLiteral("-"), fixed(m_plan.cpuWindow, 1), fixed(cpu, 4),
                  fixed(cpu / m_plan.cpuWindow * 100, 2) + QStringLiteral(" %"),
                  QStringLiteral("-")});
    m_targets.judge(cpu < target,
                    QStringLiteral("%1: %2 s CPU in %3 s < %4 s")
                        .arg(idle, fixed(cpu, 4), fixed(m_plan.cpuWindow, 1), fixed(target, 3)));
}

void Bench::traceRows() {
    const QString image = m_dir.filePath(QStringLiteral("trace-firmware.bin"));
    if (!writeImage(image, m_plan.firmwareBytes)) {
        error(QStringLiteral("Trace"), Transport::Tcp, BenchError("cannot write the image"));
        return;
    }
    const QString download =
        QStringLiteral("Firmware download %1, s").arg(sizeText(m_plan.firmwareBytes));
    for (const Transport t : {Transport::Tcp, Transport::Pty}) {
        progress(download + u' ' + transportName(t) + QStringLiteral(" traced"));
        try {
            std::vector<double> plain;
            std::vector<double> traced;
            std::vector<double> plainCpu;
            std::vector<double> tracedCpu;
            for (int rep = 0; rep < m_plan.transferReps; ++rep) {
                Run without;
                Run with;
                takeTurns(
                    rep, [&] { without = firmwareUtility(m_host, t, image); },
                    [&] { with = firmwareUtilityTraced(m_host, t, image); });
                plain.push_back(without.seconds);
                traced.push_back(with.seconds);
                plainCpu.push_back(without.cpuSeconds);
                tracedCpu.push_back(with.cpuSeconds);
            }
            const double ratio = medianRatio(traced, plain);
            const double cpuRatio = medianRatio(tracedCpu, plainCpu);
            m_trace.addRow(
                {download, transportName(t), seconds(median(plain)), seconds(median(traced)),
                 fixed(ratio, 3) + QStringLiteral("x (CPU %1 s -> %2 s, %3x)")
                                       .arg(seconds(median(plainCpu)), seconds(median(tracedCpu)),
                                            fixed(cpuRatio, 2))});
            m_targets.judge(ratio <= kTracedRatioTarget,
                            QStringLiteral("%1 %2: traced/untraced %3 <= %4")
                                .arg(download, transportName(t), fixed(ratio, 3),
                                     fixed(kTracedRatioTarget, 2)));
        } catch (const BenchError &e) {
            error(download, t, e);
        }
    }
    const QString stream = QStringLiteral("Terminal, 11520 chars/s stream, share of a core");
    for (const Transport t : {Transport::Pty, Transport::Tcp}) {
        progress(stream + u' ' + transportName(t) + QStringLiteral(" traced"));
        try {
            double shares[2] = {};
            for (const bool traced : {false, true}) {
                SimHost host;
                if (!host.isValid())
                    throw BenchError("cannot start a simulator");
                const double cpu =
                    terminalCpu(host, t, m_plan.cpuWindow, kStreamRate, nullptr, traced);
                shares[traced ? 1 : 0] = cpu / m_plan.cpuWindow;
            }
            m_trace.addRow({stream, transportName(t),
                            fixed(shares[0] * 100, 2) + QStringLiteral(" %"),
                            fixed(shares[1] * 100, 2) + QStringLiteral(" %"),
                            QStringLiteral("+") + fixed((shares[1] - shares[0]) * 100, 2) +
                                QStringLiteral(" points")});
            m_targets.judge(shares[1] < kTracedStreamCoreTarget,
                            QStringLiteral("%1 %2 traced: %3 % < %4 %")
                                .arg(stream, transportName(t), fixed(shares[1] * 100, 2),
                                     fixed(kTracedStreamCoreTarget * 100, 0)));
        } catch (const BenchError &e) {
            error(stream, t, e);
        }
    }
    const int rows = m_plan.name == QStringLiteral("smoke") ? 1000 : kTraceRows;
    const QString memory =
        QStringLiteral("Memory with %L1 rows of %2 bytes kept, MiB").arg(rows).arg(kTraceRowBytes);
    progress(memory);
    try {
        const double added = double(traceMemory(rows, kTraceRowBytes)) / (1024.0 * 1024.0);
        m_trace.addRow({memory, QStringLiteral("-"), QStringLiteral("0"), fixed(added, 1),
                        QStringLiteral("+") + fixed(added, 1) + QStringLiteral(" MiB")});
        m_targets.judge(added < kTraceMemoryTargetMiB,
                        QStringLiteral("%1: +%2 MiB < %3 MiB")
                            .arg(memory, fixed(added, 1), fixed(kTraceMemoryTargetMiB, 0)));
    } catch (const BenchError &e) {
        error(memory, Transport::Tcp, e);
    }
}

int Bench::run(const std::set<int> &rows) {
    if (!m_host.isValid() || !m_dir.isValid()) {
        m_out << "varo-bench: cannot start the simulator\n";
        return 1;
    }
    const auto wanted = [&rows](int row) { return rows.empty() || rows.count(row) > 0; };
    const QList<Transport> both{Transport::Tcp, Transport::Pty};

    if (wanted(1)) {
        for (const Transport t : both) {
            const int runs = m_plan.programRuns;
            compare(
                QStringLiteral("Programming run (V + 49)"), t, m_plan.programReps, 50,
                QStringLiteral("exch"), [&] { return programUtility(m_host, t, runs); },
                [&] { return programBaseline(m_host, t, runs); });
        }
    }
    if (wanted(2)) {
        const int passes = m_plan.loopbackPasses;
        for (const Transport t : both) {
            compare(
                QStringLiteral("Loopback %1 bytes").arg(passes * 256), t, m_plan.loopbackReps,
                passes * 256.0, QStringLiteral("B"),
                [&] { return loopbackUtility(m_host, t, passes); },
                [&] { return loopbackBaseline(m_host, t, passes); });
        }
    }
    if (wanted(3)) {
        const QString image = m_dir.filePath(QStringLiteral("firmware.bin"));
        if (!writeImage(image, m_plan.firmwareBytes)) {
            m_out << "varo-bench: cannot write the image\n";
            return 1;
        }
        for (const Transport t : both) {
            compare(
                QStringLiteral("Firmware download %1").arg(sizeText(m_plan.firmwareBytes)), t,
                m_plan.transferReps, double(m_plan.firmwareBytes), QStringLiteral("B"),
                [&] { return firmwareUtility(m_host, t, image); },
                [&] { return firmwareBaseline(m_host, t, image); });
        }
    }
    if (wanted(4)) {
        const int records = m_plan.uploadRecords;
        m_host.call(
            [records](varo::sim::ReaderSimulator &sim) { sim.options().recordCount = records; });
        const QString utilityFile = m_dir.filePath(QStringLiteral("upload-utility.txt"));
        const QString baselineFile = m_dir.filePath(QStringLiteral("upload-baseline.txt"));
        compare(
            QStringLiteral("Upload %1 records").arg(records), Transport::Tcp, m_plan.transferReps,
            records, QStringLiteral("rec"),
            [&] { return uploadUtility(m_host, Transport::Tcp, utilityFile, records); },
            [&] { return uploadBaseline(m_host, Transport::Tcp, baselineFile, records); });
    }
    if (wanted(5))
        terminalRows();
    if (wanted(6))
        lineRateRow();
    if (wanted(7))
        cliRows();
    if (wanted(8))
        lifecycleRows();
    if (wanted(10))
        cliReportRows();
    if (wanted(9))
        traceRows();

    m_out << "varo-bench (" << m_plan.name << "): the utility's engines and a blocking baseline"
          << " client against the simulator on its own thread.\nTimes are medians per run; CPU is"
          << " the client thread's. The two clients run back to back, taking turns which goes"
          << " first;\na ratio is the median of the pairs' ratios, and the ratio range spans the"
          << " pairs.\n\n";
    m_out << m_compare.render() << '\n'
          << m_cpu.render() << '\n'
          << m_line.render() << '\n'
          << m_cli.render() << '\n'
          << m_cliReport.render() << '\n'
          << m_reconnect.render() << '\n'
          << m_trace.render() << '\n';
    if (m_plan.name == QStringLiteral("smoke"))
        m_out << "Smoke sizes: the lines below show that every row ran; their targets mean "
                 "nothing.\n";
    m_out << m_targets.render() << '\n';
    m_out.flush();
    return m_errors == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[]) {
    // Headless: the terminal screen is painted off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::signal(SIGPIPE, SIG_IGN);
    // The largest fleet row serves 1,000 readers here (a listener and a connection each);
    // varo-cli inherits the raised limit.
    varo::common::raiseOpenFileLimit(8192);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varo-bench"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times the utility's engines against a minimal client on the simulator."));
    parser.addHelpOption();
    const QCommandLineOption quick(QStringLiteral("quick"),
                                   QStringLiteral("One repetition, shorter windows."));
    const QCommandLineOption smoke(QStringLiteral("smoke"),
                                   QStringLiteral("Every row once on a tiny size (for CI)."));
    const QCommandLineOption row(QStringLiteral("row"),
                                 QStringLiteral("Run only row N (1-10); may be repeated."),
                                 QStringLiteral("N"));
    const QCommandLineOption reps(QStringLiteral("reps"),
                                  QStringLiteral("Repetitions of every comparison row."),
                                  QStringLiteral("N"));
    parser.addOptions({quick, smoke, row, reps});
    parser.process(app);

    std::set<int> rows;
    for (const QString &value : parser.values(row))
        rows.insert(value.toInt());

    QTextStream out(stdout);
    Plan plan = planFor(parser.isSet(quick), parser.isSet(smoke));
    if (parser.isSet(reps)) {
        plan.programReps = qMax(1, parser.value(reps).toInt());
        plan.reps = plan.programReps;
        plan.transferReps = plan.programReps;
        plan.loopbackReps = plan.programReps;
    }
    Bench bench(plan, out);
    return bench.run(rows);
}
