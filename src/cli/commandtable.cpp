#include "cli/commandtable.h"

#include "cli/commandchecks.h"
#include "cli/exitcodes.h"
#include "cli/serialdevices.h"

#include "config/programrun.h"
#include "config/progresslog.h"
#include "config/readerreset.h"
#include "flash/firmwareloader.h"
#include "flash/loaderbaud.h"
#include "flash/loaderprofile.h"
#include "link/readerlink.h"
#include "loopback/loopbackengine.h"
#include "utilities/maintenancecommands.h"
#include "utilities/utilitytexts.h"

#include <QTextStream>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace varo::cli {

using link::OperationData;
using link::ResultCode;
using utilities::MaintenanceStep;
using utilities::Verb;
using namespace std::chrono_literals;

namespace {

constexpr int kBytesPerLoopbackPass = 256;

// The steps of "info", in order, and the names a failure message gives them.
constexpr const char *kInfoStepNames[] = {"firmware identification", "reader time", "memory usage"};

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

std::unique_ptr<link::ReaderOperation> maintenance(const JobContext &context,
                                                   QList<MaintenanceStep> steps) {
    auto commands = std::make_unique<utilities::MaintenanceCommands>(context.link);
    commands->setSteps(std::move(steps));
    return commands;
}

std::unique_ptr<link::ReaderOperation> makeInfo(const JobContext &context) {
    return maintenance(context, {{Verb::ReadFirmwareId}, {Verb::ReadTime}, {Verb::ShowMemory}});
}

std::unique_ptr<link::ReaderOperation> makeProgram(const JobContext &context) {
    auto *log = new config::ProgressLog;
    auto run = std::make_unique<config::ProgramRun>(context.link,
                                                    context.request.programSettings.get(), log);
    log->setParent(run.get());
    return run;
}

std::unique_ptr<link::ReaderOperation> makeReset(const JobContext &context) {
    auto *log = new config::ProgressLog;
    auto reset = std::make_unique<config::ReaderReset>(context.link, log);
    log->setParent(reset.get());
    return reset;
}

std::unique_ptr<link::ReaderOperation> makeSetTime(const JobContext &context) {
    MaintenanceStep step{Verb::SetTime};
    const int hours = context.request.hours;
    step.adjustment.hoursText = QString::number(std::abs(hours));
    step.adjustment.direction =
        hours < 0 ? utilities::Direction::Subtract : utilities::Direction::Add;
    return maintenance(context, {step});
}

std::unique_ptr<link::ReaderOperation> makeClearMemory(const JobContext &context) {
    auto commands = std::make_unique<utilities::MaintenanceCommands>(context.link);
    // --yes answered the question before anything was sent.
    commands->setAsker([](const QString &, std::function<void(bool)> answer) { answer(true); });
    commands->setSteps({{Verb::ClearMemory}});
    return commands;
}

std::unique_ptr<link::ReaderOperation> makeRestart(const JobContext &context) {
    return maintenance(context, {{Verb::Restart}});
}

std::unique_ptr<link::ReaderOperation> makeMode(const JobContext &context) {
    MaintenanceStep step{Verb::SwitchMode};
    step.mode = context.request.mode;
    return maintenance(context, {step});
}

std::unique_ptr<link::ReaderOperation> makeUpload(const JobContext &context) {
    auto commands = std::make_unique<utilities::MaintenanceCommands>(context.link);
    commands->upload()->setFile(uploadFileFor(context.request, context.target));
    commands->setSteps({{Verb::Upload}});
    return commands;
}

std::unique_ptr<link::ReaderOperation> makeFlash(const JobContext &context) {
    auto loader = std::make_unique<flash::FirmwareLoader>(context.link);
    if (context.request.shortWaits) {
        flash::LoaderTimings timings;
        timings.replyTimeout = 1000ms;
        timings.boot2ReadyTimeout = 1000ms;
        timings.tcpEntryPause = 50ms;
        timings.serialEntryPause = 50ms;
        timings.boot2SerialEntryPause = 50ms;
        loader->setTimings(timings);
    }
    const flash::DownloadKind kind =
        context.request.boot2 ? flash::DownloadKind::Boot2 : flash::DownloadKind::Firmware;
    loader->setDownload(flash::LoaderProfile::forDownload(kind, context.link->settings().isTcp()),
                        context.request.imagePath);
    return loader;
}

std::unique_ptr<link::ReaderOperation> makeLoopback(const JobContext &context) {
    auto test = std::make_unique<loopback::LoopbackEngine>(context.link);
    loopback::LoopbackTimings timings;
    timings.passes =
        int((context.request.loopbackBytes + kBytesPerLoopbackPass - 1) / kBytesPerLoopbackPass);
    if (context.request.shortWaits) {
        timings.settleSerial = 50ms;
        timings.settleTcp = 50ms;
        timings.echoSerial = 300ms;
        timings.echoTcp = 300ms;
    }
    test->setTimings(timings);
    return test;
}

link::LinkSettings loaderSettings(const Target &target) {
    return flash::forLoader(target.settings);
}

QString infoStepName(const OperationData &data) {
    return QString::fromLatin1(kInfoStepNames[std::clamp(data.step, 0, 2)]);
}

void judgeInfo(Verdict &verdict, const OperationData &data) {
    if (!verdict.result.ok()) {
        return;
    }
    if (data.firmwareId.value_or(QString()).trimmed().isEmpty()) {
        // An empty identification is no identification.
        verdict = {{ResultCode::WrongReply, QStringLiteral("empty reply")},
                   QString::fromLatin1(kInfoStepNames[0])};
        return;
    }
    const link::MemoryCounts memory = data.memory.value_or(link::MemoryCounts{});
    verdict.result.message =
        QStringLiteral("%1; time %2; memory %3 used of %4, %5 uploaded")
            .arg(data.firmwareId.value_or(QString()), data.readerTime.value_or(QString()))
            .arg(memory.used)
            .arg(memory.totalSlots)
            .arg(memory.uploaded);
}

void judgeLoopback(Verdict &verdict, const OperationData &data) {
    const link::EchoCounts echo = data.echo.value_or(link::EchoCounts{});
    const QString first = echo.firstError.trimmed();
    if (verdict.result.ok() && echo.errors > 0) {
        // Every byte went out, but not every echo came back right.
        verdict.result = {ResultCode::WrongReply,
                          QStringLiteral("%1 echo errors, first: %2").arg(echo.errors).arg(first)};
    } else if (verdict.result.ok()) {
        verdict.result.message = QStringLiteral("%1 bytes echoed").arg(echo.sent);
    } else if (verdict.result.message.isEmpty()) {
        verdict.result.message = first;
    }
}

QJsonObject infoJson(const OperationData &data) {
    QJsonObject json;
    if (!data.firmwareId.value_or(QString()).isEmpty()) {
        json.insert(QStringLiteral("firmwareId"), *data.firmwareId);
    }
    if (!data.readerTime.value_or(QString()).isEmpty()) {
        json.insert(QStringLiteral("readerTime"), *data.readerTime);
    }
    if (data.memory) {
        json.insert(QStringLiteral("totalSlots"), data.memory->totalSlots);
        json.insert(QStringLiteral("used"), data.memory->used);
        json.insert(QStringLiteral("uploaded"), data.memory->uploaded);
    }
    return json;
}

QJsonObject uploadJson(const OperationData &data) {
    if (!data.upload) {
        return {};
    }
    return {{QStringLiteral("file"), data.upload->file},
            {QStringLiteral("records"), data.upload->records}};
}

QJsonObject flashJson(const OperationData &data) {
    if (!data.bytes) {
        return {};
    }
    return {{QStringLiteral("bytesSent"), data.bytes->acknowledged},
            {QStringLiteral("bytesTotal"), data.bytes->total}};
}

QJsonObject loopbackJson(const OperationData &data) {
    if (!data.echo) {
        return {};
    }
    return {{QStringLiteral("bytesSent"), data.echo->sent},
            {QStringLiteral("errors"), data.echo->errors}};
}

QString uploadProgress(const OperationData &data) {
    return data.upload ? utilities::uploadedText(data.upload->records) : QString();
}

QString flashProgress(const OperationData &data) {
    if (!data.bytes || data.bytes->total <= 0) {
        return {};
    }
    return QStringLiteral("%1 %").arg(data.bytes->acknowledged * 100 / data.bytes->total);
}

QString loopbackProgress(const OperationData &data) {
    return data.echo ? QStringLiteral("%1 bytes").arg(data.echo->sent) : QString();
}

QString uploadNote(const OperationData &data) {
    const link::UploadCounts upload = data.upload.value_or(link::UploadCounts{});
    return QStringLiteral(" (%1 records kept in %2)").arg(upload.records).arg(upload.file);
}

bool uploadChanged(const OperationData &data) {
    // The reader counts records as uploaded once read.
    return data.upload && data.upload->records > 0;
}

const CommandRow kRows[] = {
    {.command = Command::Ports, .name = "ports", .usage = "", .answer = listPorts},
    {.command = Command::Info,
     .name = "info",
     .usage = "  info                      firmware identification, reader time, memory usage\n",
     .make = makeInfo,
     .stepName = infoStepName,
     .judge = judgeInfo,
     .dataJson = infoJson},
    {.command = Command::Program,
     .name = "program",
     .usage = "  program [--profile FILE]  checks, then the programming run (defaults without a "
              "profile)\n",
     .checkInputs = loadProgramSettings,
     .make = makeProgram,
     .changed = alwaysChanged},
    {.command = Command::Reset,
     .name = "reset",
     .usage = "  reset                     reset the reader\n",
     .make = makeReset,
     .changed = alwaysChanged},
    {.command = Command::SetTime,
     .name = "set-time",
     .usage = "  set-time [--hours N]      set the reader clock to this computer's, moved by N "
              "hours\n"
              "                            (negative N subtracts)\n",
     .make = makeSetTime,
     .changed = alwaysChanged},
    {.command = Command::ClearMemory,
     .name = "clear-memory",
     .usage = "  clear-memory --yes        erase the stored transactions (refuses without "
              "--yes)\n",
     .checkRequest = needsConfirmation,
     .make = makeClearMemory,
     .changed = alwaysChanged},
    {.command = Command::Restart,
     .name = "restart",
     .usage = "  restart                   restart the reader\n",
     .make = makeRestart,
     .changed = alwaysChanged},
    {.command = Command::Mode,
     .name = "mode",
     .usage = "  mode collection|online|prox-dump\n",
     .takeArguments = takeModeArgument,
     .make = makeMode,
     .changed = alwaysChanged},
    {.command = Command::Upload,
     .name = "upload",
     .usage = "  upload --out PATH         stored transactions: one target, PATH is the file;\n"
              "                            several, PATH is a folder with one file per target\n",
     .checkRequest = needsOutPath,
     .checkInputs = checkUploadFiles,
     .make = makeUpload,
     .dataJson = uploadJson,
     .progress = uploadProgress,
     .failureNote = uploadNote,
     .changed = uploadChanged},
    {.command = Command::Flash,
     .name = "flash",
     .usage = "  flash IMAGE [--boot2]     firmware download (--boot2: the bootloader "
              "extension);\n"
              "                            serial targets run it at 9600 baud\n",
     .takeArguments = takeImageArgument,
     .checkInputs = checkImage,
     .make = makeFlash,
     .linkSettings = loaderSettings,
     .dataJson = flashJson,
     .progress = flashProgress,
     .changed = alwaysChanged},
    {.command = Command::Loopback,
     .name = "loopback",
     .usage = "  loopback [--bytes N]      loopback test (512000 bytes unless --bytes)\n",
     .make = makeLoopback,
     .judge = judgeLoopback,
     .dataJson = loopbackJson,
     .progress = loopbackProgress},
};

} // namespace

bool alwaysChanged(const OperationData &) {
    return true;
}

std::span<const CommandRow> commandRows() {
    return kRows;
}

const CommandRow &commandRow(Command command) {
    const auto it = std::ranges::find(kRows, command, &CommandRow::command);
    return it == std::end(kRows) ? kRows[0] : *it;
}

Verdict judge(const CommandRow &row, const link::OperationResult &result,
              const link::OperationData &data) {
    Verdict verdict{result, row.stepName ? row.stepName(data) : QString::fromLatin1(row.name)};
    if (row.judge) {
        row.judge(verdict, data);
    }
    if (verdict.result.message.isEmpty()) {
        verdict.result.message =
            verdict.result.ok() ? verdict.step + QStringLiteral(" done") : QStringLiteral("failed");
    }
    return verdict;
}

} // namespace varo::cli
