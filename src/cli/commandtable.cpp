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
#include "utilities/replyformat.h"
#include "utilities/utilitytexts.h"

#include "common/controltext.h"

#include <QJsonArray>
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
constexpr Verb kInfoVerbs[] = {Verb::ReadFirmwareId, Verb::ReadTime, Verb::ShowMemory};
constexpr int kMemoryFieldWidth = 5;

// Text from a reader, safe for a terminal, between backquotes.
QString quoted(const QString &text) {
    return u'`' + namedControls(text) + u'`';
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
    commands->upload()->setExistingFile(context.request.overwrite ? ExistingFile::Replace
                                                                  : ExistingFile::Refuse);
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

// Why a memory usage reply is no count of slots (empty when it is three fields of digits).
QString memoryProblem(const link::MemoryCounts &memory) {
    const QByteArray &reply = memory.reply;
    bool digits = reply.size() == 3 * kMemoryFieldWidth;
    for (int field = 0; digits && field < 3; ++field) {
        const QByteArray text = reply.mid(field * kMemoryFieldWidth, kMemoryFieldWidth).trimmed();
        digits = !text.isEmpty() &&
                 std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
    }
    return digits ? QString()
                  : QStringLiteral("not three counts of digits: ") +
                        quoted(utilities::replyText(reply));
}

// The first reply of an "info" run that is not what a reader sends, as the failed verdict.
std::optional<Verdict> wrongInfoReply(const OperationData &data) {
    const auto wrong = [](int step, const QString &why) {
        return Verdict{{ResultCode::WrongReply, why}, QString::fromLatin1(kInfoStepNames[step])};
    };
    if (data.firmwareId.value_or(QString()).trimmed().isEmpty()) {
        // An empty identification is no identification.
        return wrong(0, QStringLiteral("empty reply"));
    }
    if (data.readerTime && !data.readerClock) {
        return wrong(1, QStringLiteral("not a date and time: ") +
                            quoted(utilities::replyText(data.readerTimeReply)));
    }
    if (data.memory) {
        if (const QString problem = memoryProblem(*data.memory); !problem.isEmpty()) {
            return wrong(2, problem);
        }
    }
    return std::nullopt;
}

void judgeInfo(Verdict &verdict, const OperationData &data, const Request &) {
    if (!verdict.result.ok()) {
        return;
    }
    if (const std::optional<Verdict> wrong = wrongInfoReply(data)) {
        verdict = *wrong;
        return;
    }
    const link::MemoryCounts memory = data.memory.value_or(link::MemoryCounts{});
    verdict.result.message = QStringLiteral("%1; time %2; memory %3 used of %4, %5 uploaded")
                                 .arg(namedControls(data.firmwareId.value_or(QString())),
                                      data.readerTime.value_or(QString()))
                                 .arg(memory.used)
                                 .arg(memory.totalSlots)
                                 .arg(memory.uploaded);
}

// The replies that acknowledge a programming command: all but the identification ("V") that
// opens a run.
QList<link::CommandReply> acknowledgements(const QList<link::CommandReply> &replies) {
    QList<link::CommandReply> acks;
    for (const link::CommandReply &reply : replies) {
        if (reply.command != QLatin1String("V")) {
            acks.append(reply);
        }
    }
    return acks;
}

// The distinct replies of a run and how often each came, the most frequent first.
QList<std::pair<QString, int>> replyCounts(const QList<link::CommandReply> &replies) {
    QList<std::pair<QString, int>> counts;
    for (const link::CommandReply &reply : replies) {
        const auto it = std::ranges::find(counts, reply.reply, &std::pair<QString, int>::first);
        if (it == counts.end()) {
            counts.append({reply.reply, 1});
        } else {
            ++it->second;
        }
    }
    std::ranges::stable_sort(counts, std::greater<>(), &std::pair<QString, int>::second);
    return counts;
}

// "49 replies: 47 `OK`, 2 `?`"
QString replySummaryText(const QList<link::CommandReply> &replies) {
    QStringList parts;
    for (const auto &[reply, count] : replyCounts(replies)) {
        parts.append(QStringLiteral("%1 %2").arg(count).arg(quoted(reply)));
    }
    return QStringLiteral("%1 replies: %2")
        .arg(replies.size())
        .arg(parts.join(QStringLiteral(", ")));
}

QString wrongReplyText(const QString &command, const QString &reply, const QString &expected) {
    return QStringLiteral("%1 was answered %2, not %3")
        .arg(quoted(command), quoted(reply), quoted(expected));
}

void judgeProgram(Verdict &verdict, const OperationData &data, const Request &request) {
    if (!verdict.result.ok()) {
        return;
    }
    if (request.expectReply) {
        for (const link::CommandReply &reply : acknowledgements(data.replies)) {
            if (reply.reply != *request.expectReply) {
                verdict.result = {ResultCode::WrongReply,
                                  wrongReplyText(reply.command, reply.reply, *request.expectReply)};
                return;
            }
        }
    }
    const QString summary = replySummaryText(acknowledgements(data.replies));
    verdict.result.message = verdict.result.message.isEmpty()
                                 ? summary
                                 : verdict.result.message + QStringLiteral("; ") + summary;
}

void judgeMode(Verdict &verdict, const OperationData &data, const Request &request) {
    if (!verdict.result.ok() || !data.modeReply) {
        return;
    }
    if (request.expectReply && *data.modeReply != *request.expectReply) {
        verdict.result = {ResultCode::WrongReply,
                          wrongReplyText(QStringLiteral("mode ") + readerModeName(request.mode),
                                         *data.modeReply, *request.expectReply)};
        return;
    }
    verdict.result.message += QStringLiteral("; reply ") + quoted(*data.modeReply);
}

void judgeSetTime(Verdict &verdict, const OperationData &data, const Request &) {
    if (verdict.result.ok() && data.driftSeconds) {
        verdict.result.message += QStringLiteral("; drift before %1 s").arg(*data.driftSeconds);
    }
}

void judgeLoopback(Verdict &verdict, const OperationData &data, const Request &) {
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

QString isoText(const QDateTime &moment) {
    return moment.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

void insertMemory(QJsonObject &json, const OperationData &data) {
    if (data.memory) {
        json.insert(QStringLiteral("totalSlots"), data.memory->totalSlots);
        json.insert(QStringLiteral("used"), data.memory->used);
        json.insert(QStringLiteral("uploaded"), data.memory->uploaded);
    }
}

void insertFirmwareId(QJsonObject &json, const OperationData &data) {
    if (!data.firmwareId.value_or(QString()).isEmpty()) {
        json.insert(QStringLiteral("firmwareId"), *data.firmwareId);
    }
}

QJsonObject infoJson(const OperationData &data) {
    QJsonObject json;
    insertFirmwareId(json, data);
    if (!data.readerTime.value_or(QString()).isEmpty()) {
        json.insert(QStringLiteral("readerTime"), *data.readerTime);
    }
    if (data.readerClock) {
        json.insert(QStringLiteral("readerTimeIso"), isoText(*data.readerClock));
    }
    if (data.clockOffsetSeconds) {
        json.insert(QStringLiteral("clockOffsetSeconds"), double(*data.clockOffsetSeconds));
    }
    insertMemory(json, data);
    return json;
}

QJsonObject memoryJson(const OperationData &data) {
    QJsonObject json;
    insertMemory(json, data);
    return json;
}

QJsonObject setTimeJson(const OperationData &data) {
    QJsonObject json;
    if (data.readerClock) {
        json.insert(QStringLiteral("readerTimeBefore"), isoText(*data.readerClock));
    }
    if (data.driftSeconds) {
        json.insert(QStringLiteral("driftSeconds"), double(*data.driftSeconds));
    }
    if (data.timeSet) {
        json.insert(QStringLiteral("timeSet"), isoText(*data.timeSet));
    }
    return json;
}

QJsonObject programJson(const OperationData &data) {
    QJsonArray replies;
    QJsonObject summary;
    for (const link::CommandReply &reply : data.replies) {
        replies.append(QJsonObject{{QStringLiteral("command"), reply.command},
                                   {QStringLiteral("reply"), reply.reply}});
    }
    for (const auto &[reply, count] : replyCounts(acknowledgements(data.replies))) {
        summary.insert(reply, count);
    }
    const link::ProfileNotes notes = data.profile.value_or(link::ProfileNotes{});
    return {{QStringLiteral("replies"), replies},
            {QStringLiteral("replySummary"), summary},
            {QStringLiteral("warnings"), QJsonArray::fromStringList(notes.warnings)},
            {QStringLiteral("missingKeys"), QJsonArray::fromStringList(notes.missingKeys)},
            {QStringLiteral("unknownKeys"), QJsonArray::fromStringList(notes.unknownKeys)}};
}

QJsonObject modeJson(const OperationData &data) {
    return data.modeReply ? QJsonObject{{QStringLiteral("reply"), *data.modeReply}} : QJsonObject();
}

QJsonObject uploadJson(const OperationData &data) {
    if (!data.upload) {
        return {};
    }
    return {{QStringLiteral("file"), data.upload->file},
            {QStringLiteral("records"), data.upload->records}};
}

QJsonObject flashJson(const OperationData &data) {
    QJsonObject json;
    insertFirmwareId(json, data);
    if (data.bytes) {
        json.insert(QStringLiteral("bytesSent"), data.bytes->acknowledged);
        json.insert(QStringLiteral("bytesTotal"), data.bytes->total);
    }
    return json;
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

bool setTimeChanged(const OperationData &data) {
    return data.timeSet.has_value() || data.gate == link::Gate::WouldAct;
}

QList<MaintenanceStep> lookAtClock(const Request &request) {
    if (request.maxDriftSeconds || request.check) {
        return {{Verb::ReadTime}};
    }
    return {};
}

Plan planSetTime(const Request &request, OperationData &looked) {
    if (!looked.clockOffsetSeconds) {
        return {Plan::Action::Act, QStringLiteral("set the clock (the reader time %1 is no date "
                                                  "and time)")
                                       .arg(quoted(utilities::replyText(looked.readerTimeReply)))};
    }
    looked.driftSeconds = *looked.clockOffsetSeconds - qint64(request.hours) * 3600;
    const qint64 drift = *looked.driftSeconds;
    if (request.maxDriftSeconds && double(std::abs(drift)) <= *request.maxDriftSeconds) {
        return {Plan::Action::Skip, QStringLiteral("clock within %1 s (drift %2 s)")
                                        .arg(*request.maxDriftSeconds)
                                        .arg(drift)};
    }
    return {Plan::Action::Act, QStringLiteral("set the clock (drift %1 s)").arg(drift)};
}

QList<MaintenanceStep> lookAtMemory(const Request &) {
    return {{Verb::ShowMemory}};
}

Plan planClearMemory(const Request &request, OperationData &looked) {
    const link::MemoryCounts memory = looked.memory.value_or(link::MemoryCounts{});
    if (const QString problem = memoryProblem(memory); !problem.isEmpty()) {
        return {Plan::Action::Refuse, QStringLiteral("memory usage: ") + problem,
                ResultCode::WrongReply};
    }
    const int notUploaded = memory.used - memory.uploaded;
    if (notUploaded > 0 && !request.force) {
        return {Plan::Action::Refuse,
                QStringLiteral("%1 records not uploaded (--force clears them anyway)")
                    .arg(notUploaded)};
    }
    return {Plan::Action::Act, QStringLiteral("clear %1 used slots").arg(memory.used)};
}

QList<MaintenanceStep> lookAtVersion(const Request &request) {
    if (!request.skipIfVersion.isEmpty()) {
        return {{Verb::ReadFirmwareId}};
    }
    return {};
}

Plan planFlash(const Request &request, OperationData &looked) {
    const QString id = looked.firmwareId.value_or(QString());
    if (!request.skipIfVersion.isEmpty() && id.contains(request.skipIfVersion)) {
        return {Plan::Action::Skip, QStringLiteral("the firmware %1 holds %2: nothing sent")
                                        .arg(quoted(id), quoted(request.skipIfVersion))};
    }
    return {Plan::Action::Act, QStringLiteral("download %1").arg(request.imagePath)};
}

const CommandRow kRows[] = {
    {.command = Command::Ports, .name = "ports", .usage = "", .answer = listPorts},
    {.command = Command::Info,
     .name = "info",
     .usage = "  info                      firmware identification, reader time, memory usage\n",
     .make = makeInfo,
     .stepName = infoStepName,
     .judge = judgeInfo,
     .dataJson = infoJson,
     .readOnly = true},
    {.command = Command::Program,
     .name = "program",
     .usage = "  program [--profile FILE] [--allow-unknown-keys]\n"
              "                            checks, then the programming run (defaults without a "
              "profile);\n"
              "                            a key the profile should not hold is refused unless "
              "allowed\n",
     .checkInputs = loadProgramSettings,
     .make = makeProgram,
     .judge = judgeProgram,
     .dataJson = programJson,
     .changed = alwaysChanged,
     .acknowledged = true},
    {.command = Command::Reset,
     .name = "reset",
     .usage = "  reset                     reset the reader\n",
     .make = makeReset,
     .changed = alwaysChanged},
    {.command = Command::SetTime,
     .name = "set-time",
     .usage = "  set-time [--hours N] [--max-drift SECONDS]\n"
              "                            set the reader clock to this computer's, moved by N "
              "hours\n"
              "                            (-24 to 24; negative N subtracts); with --max-drift "
              "only\n"
              "                            when the reader clock is off by more than SECONDS\n",
     .make = makeSetTime,
     .judge = judgeSetTime,
     .dataJson = setTimeJson,
     .changed = setTimeChanged,
     .look = lookAtClock,
     .plan = planSetTime},
    {.command = Command::ClearMemory,
     .name = "clear-memory",
     .usage = "  clear-memory --yes [--force]\n"
              "                            erase the stored transactions (refuses without --yes, "
              "and\n"
              "                            when records are not uploaded unless --force)\n",
     .checkRequest = needsConfirmation,
     .make = makeClearMemory,
     .dataJson = memoryJson,
     .changed = alwaysChanged,
     .look = lookAtMemory,
     .plan = planClearMemory},
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
     .judge = judgeMode,
     .dataJson = modeJson,
     .changed = alwaysChanged,
     .acknowledged = true},
    {.command = Command::Upload,
     .name = "upload",
     .usage = "  upload --out PATH [--overwrite]\n"
              "                            stored transactions into PATH, a new file (an "
              "existing one\n"
              "                            only with --overwrite; one target), or an existing "
              "folder\n"
              "                            that gets a new file per target and run\n",
     .checkRequest = needsOutPath,
     .checkInputs = checkUploadFiles,
     .make = makeUpload,
     .dataJson = uploadJson,
     .progress = uploadProgress,
     .failureNote = uploadNote,
     .changed = uploadChanged},
    {.command = Command::Flash,
     .name = "flash",
     .usage = "  flash IMAGE [--boot2] [--skip-if-version TEXT]\n"
              "                            firmware download (--boot2: the bootloader "
              "extension);\n"
              "                            serial targets run it at 9600 baud; nothing is sent "
              "when\n"
              "                            the firmware identification holds TEXT\n",
     .takeArguments = takeImageArgument,
     .checkInputs = checkImage,
     .make = makeFlash,
     .linkSettings = loaderSettings,
     .dataJson = flashJson,
     .progress = flashProgress,
     .changed = alwaysChanged,
     .look = lookAtVersion,
     .plan = planFlash},
    {.command = Command::Loopback,
     .name = "loopback",
     .usage = "  loopback [--bytes N]      loopback test (512000 bytes unless --bytes)\n",
     .make = makeLoopback,
     .judge = judgeLoopback,
     .dataJson = loopbackJson,
     .progress = loopbackProgress},
};

} // namespace

bool alwaysChanged(const OperationData &data) {
    return data.gate != link::Gate::Skipped;
}

QList<MaintenanceStep> checkSteps(const CommandRow &row, const Request &request) {
    QList<MaintenanceStep> steps{{Verb::ReadFirmwareId}};
    for (const MaintenanceStep &step : row.look ? row.look(request) : QList<MaintenanceStep>()) {
        if (step.verb != Verb::ReadFirmwareId) {
            steps.append(step);
        }
    }
    return steps;
}

QString lookStepName(Verb verb) {
    const auto it = std::ranges::find(kInfoVerbs, verb);
    return it == std::end(kInfoVerbs)
               ? QString()
               : QString::fromLatin1(kInfoStepNames[it - std::begin(kInfoVerbs)]);
}

std::span<const CommandRow> commandRows() {
    return kRows;
}

const CommandRow &commandRow(Command command) {
    const auto it = std::ranges::find(kRows, command, &CommandRow::command);
    return it == std::end(kRows) ? kRows[0] : *it;
}

Verdict judge(const CommandRow &row, const link::OperationResult &result,
              const link::OperationData &data, const Request &request) {
    Verdict verdict{result, row.stepName ? row.stepName(data) : QString::fromLatin1(row.name)};
    if (row.judge) {
        row.judge(verdict, data, request);
    }
    if (verdict.result.message.isEmpty()) {
        verdict.result.message =
            verdict.result.ok() ? verdict.step + QStringLiteral(" done") : QStringLiteral("failed");
    }
    return verdict;
}

} // namespace varo::cli
