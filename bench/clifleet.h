#pragma once

#include <QString>
#include <QStringList>

namespace varo::bench {

// One varo-cli process run against simulated readers served from this process.
struct CliRun {
    double seconds = 0;    // wall time from start to exit
    double cpuSeconds = 0; // user + system time of the varo-cli process
    int exitCode = -1;     // -1: did not start, crashed or timed out
    // The largest resident size of any varo-cli process this bench has run so far, this one
    // included (the system keeps no other figure for a finished child), in KiB.
    qint64 peakResidentKiB = 0;
};

// Programs `readers` simulated readers (each delaying every reply by `replyDelayMs`) with one
// varo-cli process, all of them at once.
CliRun programFleet(const QString &cliPath, int readers, int replyDelayMs);

// Downloads `image` into one simulated reader with varo-cli, with or without --trace (the
// trace goes to the null device).
CliRun flashOne(const QString &cliPath, const QString &image, bool trace);

} // namespace varo::bench

namespace varo::bench {

// A varo-cli run with the peak memory of that process alone.
struct CliRunMemory {
    CliRun run;
    long peakKiB = 0; // maximum resident set size
};

// `info` on `readers` simulated readers with one varo-cli process, `reportArguments` choosing
// the output (--format text, or --format jsonl --metrics FILE); stdout goes to the null device.
// Measured by /usr/bin/time, which writes its figures to `usageFile`.
CliRunMemory reportFleet(const QString &cliPath, int readers, const QStringList &reportArguments,
                         const QString &usageFile);

} // namespace varo::bench
