#pragma once

#include "cli/batches.h"
#include "cli/target.h"

#include "link/operation.h"
#include "utilities/maintenanceverb.h"

#include <QDateTime>

#include <QList>
#include <QString>

#include <memory>
#include <optional>

namespace varo::config {
class ConfigModel;
}

namespace varo::cli {

enum class Command {
    Ports,       // detected serial devices; no targets
    Info,        // firmware identification, reader time, memory usage
    Program,     // checks, then the programming run
    Reset,       // reader reset
    SetTime,     // reader clock from the workstation clock, moved by --hours
    ClearMemory, // clears the transaction memory; needs --yes
    Restart,     // reader restart
    Mode,        // collection | online | prox-dump
    Upload,      // stored transactions into a file per target
    Flash,       // firmware download (or the bootloader extension with --boot2)
    Loopback,    // loopback test of the link
};

using utilities::ReaderMode;

// How results reach stdout: lines for people, one JSON document, or one JSON object per line as
// it happens.
enum class OutputFormat { Text, Json, Jsonl };

QString commandName(Command command);
std::optional<Command> commandFromName(const QString &name);
QString readerModeName(ReaderMode mode);

// Everything a run needs, checked: the command, its targets (in the order given) and its
// options. Built only by parseArguments(); a Request that exists is valid.
struct Request {
    static constexpr int kDefaultJobs = 16;
    static constexpr qint64 kLoopbackBytes = 512000;

    Command command = Command::Info;
    QList<Target> targets;

    // Global options
    int jobs = kDefaultJobs; // links open at once
    bool json = false;       // one JSON document on stdout instead of lines
    bool quiet = false;      // only failed targets' lines, no summary, no progress
    bool trace = false;      // every byte exchanged on stderr
    bool shortWaits = false; // tests and the benchmark: every reply, connect and pause wait short

    // Report and rollout options
    OutputFormat format = OutputFormat::Text; // --format (--json is json)
    QString junitPath;                        // --junit: JUnit XML, one test case per target
    QString metricsPath;                      // --metrics: Prometheus text format
    QString retryPath;                        // --retry-file: the targets to run again
    QList<BatchSize> batches;                 // --batch (empty: one batch of every target)
    std::optional<double> maxFailPercent;     // --max-fail-percent (only with --batch)

    // Global options of the command checks
    bool check = false;                 // --check: reads only, reports what each would do
    std::optional<QString> expectReply; // --expect-reply: the one acknowledgement accepted

    // Command options
    QString profilePath;                      // program --profile (empty: the defaults)
    int hours = 0;                            // set-time --hours (negative subtracts)
    bool confirmed = false;                   // clear-memory --yes
    ReaderMode mode = ReaderMode::Collection; // mode
    QString outPath;                          // upload --out: a file, or a folder for several
    QString imagePath;                        // flash IMAGE
    bool boot2 = false;                       // flash --boot2
    qint64 loopbackBytes = kLoopbackBytes;    // loopback --bytes
    bool allowUnknownKeys = false;            // program --allow-unknown-keys
    std::optional<double> maxDriftSeconds;    // set-time --max-drift
    bool force = false;                       // clear-memory --force
    QString skipIfVersion;                    // flash --skip-if-version
    bool overwrite = false;                   // upload --overwrite
    bool outIsFolder = false; // upload: --out named an existing folder (set by checkInputs())

    // program: the settings sent, loaded once by checkInputs() (shared by every target; only
    // read)
    std::shared_ptr<const config::ConfigModel> programSettings;
    bool checked = false;            // checkInputs() has run
    link::ProfileNotes profileNotes; // program: what the profile check noted (no errors)
    QDateTime startedUtc;            // set by checkInputs(): names the upload files of a folder
};

// The file an upload from `target` writes: outPath itself for a single target and a path that is
// no folder, else a file in the outPath folder named after the target and the run's UTC start
// time
// ("tcp_10.0.0.7_5757-20261208T130700Z.txt").
QString uploadFileFor(const Request &request, const Target &target);

} // namespace varo::cli
