#pragma once

#include "harness.h"

#include <QByteArray>
#include <QString>

namespace varo::bench {

class SimHost;

// One timed run: wall seconds, CPU seconds of the calling thread (where the client runs; the
// simulator has a thread of its own), and what the simulator received during it.
struct Run {
    double seconds = 0;
    double cpuSeconds = 0;
    QByteArray wire;
};

// Each pair runs one scenario through the utility's own engine and through the baseline
// client, against the same simulator, producing the same bytes on the wire. Every function
// checks its outcome and throws BenchError when the exchange went wrong.

// "V" and the 49 programming commands built from the default settings, `runs` times over one
// connection; the time is per run. `ptyPath` replaces the simulator's pseudo-terminal (the
// paced relay), here and below.
Run programUtility(SimHost &host, Transport transport, int runs, const QString &ptyPath = {});
Run programBaseline(SimHost &host, Transport transport, int runs, const QString &ptyPath = {});

// The loopback test: start sequence, "*", then `passes` x 256 echoed bytes.
Run loopbackUtility(SimHost &host, Transport transport, int passes, const QString &ptyPath = {});
Run loopbackBaseline(SimHost &host, Transport transport, int passes, const QString &ptyPath = {});

// Firmware download of the image file at `path` (data followed by the 44-byte trailer).
Run firmwareUtility(SimHost &host, Transport transport, const QString &path,
                    const QString &ptyPath = {});
// The utility's download with the trace window open and recording.
Run firmwareUtilityTraced(SimHost &host, Transport transport, const QString &path);
Run firmwareBaseline(SimHost &host, Transport transport, const QString &path,
                     const QString &ptyPath = {});
// A deterministic image of `size` bytes written to `path`.
bool writeImage(const QString &path, qsizetype size);

// Wake-up, "lr", then "l" until "END", with the records written to `path`. The simulator must
// hold `records` records.
Run uploadUtility(SimHost &host, Transport transport, const QString &path, int records);
Run uploadBaseline(SimHost &host, Transport transport, const QString &path, int records);

// CPU seconds the utility's thread spends with the terminal screen open for `seconds`, while
// the simulator streams `charsPerSecond` characters into it (0: no traffic). `received` gets
// the characters the terminal drew.
// `traced`: with the trace window open and recording.
double terminalCpu(SimHost &host, Transport transport, double seconds, int charsPerSecond,
                   qint64 *received, bool traced = false);
// Resident memory the trace window adds when it keeps `rows` rows of `bytesPerRow` bytes each
// (shown, its newest rows painted), in bytes.
qint64 traceMemory(int rows, int bytesPerRow);

} // namespace varo::bench
