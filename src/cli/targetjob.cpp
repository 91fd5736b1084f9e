#include "cli/targetjob.h"

#include "config/programrun.h"
#include "config/progresslog.h"
#include "config/readerreset.h"
#include "flash/firmwareloader.h"
#include "flash/loaderprofile.h"
#include "link/readerlink.h"
#include "loopback/loopbackengine.h"
#include "utilities/maintenancecommands.h"
#include "utilities/replyformat.h"
#include "utilities/settime.h"
#include "utilities/uploadsession.h"

#include <QTimer>

#include <chrono>
#include <cstdlib>

namespace varo::cli {

using link::OperationResult;
using link::ResultCode;
using namespace std::chrono_literals;

namespace {

// Members of the utilities screen's label array that the commands click.
constexpr int kFirmwareIdClick = 0;
constexpr int kCollectionModeClick = 2;
constexpr int kOnlineModeClick = 3;
constexpr int kProxDumpModeClick = 25;
constexpr int kSetTimeClick = 5;
constexpr int kGetTimeClick = 6;
constexpr int kMemoryUsageClick = 7;
constexpr int kClearMemoryClick = 9;
constexpr int kRestartClick = 12;
constexpr int kUploadClick = 19;

// The steps of "info", in order: the click and the name a failure message gives it.
struct InfoStep {
    int click;
    const char *name;
};
constexpr InfoStep kInfoSteps[] = {{kFirmwareIdClick, "firmware identification"},
                                   {kGetTimeClick, "reader time"},
                                   {kMemoryUsageClick, "memory usage"}};

int modeClick(ReaderMode mode) {
    switch (mode) {
    case ReaderMode::Collection:
        return kCollectionModeClick;
    case ReaderMode::Online:
        return kOnlineModeClick;
    case ReaderMode::ProxDump:
        return kProxDumpModeClick;
    }
    return kCollectionModeClick;
}

constexpr int kBytesPerLoopbackPass = 256;

} // namespace

JobWaits waitsFromEnvironment() {
    JobWaits waits;
    waits.shortened = qEnvironmentVariableIntValue("VARO_CLI_SHORT_WAITS") == 1;
    return waits;
}

link::LinkSettings linkSettingsFor(const Target &target, Command command) {
    link::LinkSettings settings;
    switch (target.kind) {
    case Target::Kind::Tcp:
        settings.mode = link::LinkMode::Tcp;
        settings.host = target.host;
        settings.tcpPort = target.port;
        break;
    case Target::Kind::SerialDevice:
        settings.mode = link::LinkMode::Serial;
        settings.serialDevice = target.device;
        settings.baudRate = target.baudRate;
        break;
    case Target::Kind::SerialPortNumber:
        settings.mode = link::LinkMode::Serial;
        settings.commPort = target.portNumber;
        settings.baudRate = target.baudRate;
        break;
    }
    // The reader's loader talks at 9600 baud whatever the line mode's rate.
    if (command == Command::Flash && !settings.isTcp()) {
        settings.baudRate = Target::kDefaultBaud;
    }
    return settings;
}

QString reasonFor(ResultCode code) {
    switch (code) {
    case ResultCode::Ok:
        return QString::fromLatin1(reason::kOk);
    case ResultCode::Timeout:
        return QString::fromLatin1(reason::kTimeout);
    case ResultCode::WrongReply:
        return QString::fromLatin1(reason::kWrongReply);
    case ResultCode::FileError:
        return QString::fromLatin1(reason::kFile);
    case ResultCode::Cancelled:
        return QString::fromLatin1(reason::kInterrupted);
    case ResultCode::Invalid:
    case ResultCode::Busy:
        return QString::fromLatin1(reason::kRefused);
    case ResultCode::NotConnected:
    case ResultCode::LinkError:
    case ResultCode::Disconnected:
        return QString::fromLatin1(reason::kLink);
    }
    return QString::fromLatin1(reason::kLink);
}

TargetJob::TargetJob(const Request &request, const Target &target, const config::ConfigModel *model,
                     JobWaits waits, QObject *parent)
    : QObject(parent)
    , m_request(request)
    , m_target(target)
    , m_model(model)
    , m_waits(waits)
    , m_link(std::make_unique<link::ReaderLink>()) {
    m_link->setTraceName(target.text);
    if (m_waits.shortened) {
        m_link->setTimings({400ms, 1500ms});
    }
}

TargetJob::~TargetJob() {
    // Engines first: they release their claims on the link.
    m_engine.reset();
    m_helper.reset();
}

void TargetJob::start() {
    m_clock.start();
    connect(m_link.get(), &link::ReaderLink::connectFinished, this, &TargetJob::onConnected);
    // connectReader() may report a failure from inside the call; finished() must come later.
    QTimer::singleShot(0, this, [this] {
        if (m_stopping) {
            return end(false, QString::fromLatin1(reason::kInterrupted),
                       QStringLiteral("interrupted before connecting"));
        }
        m_link->connectReader(linkSettingsFor(m_target, m_request.command));
    });
}

void TargetJob::stop() {
    if (m_stopping || m_ended) {
        return;
    }
    m_stopping = true;
    if (m_link->isConnecting()) {
        // Nothing was sent yet: drop the attempt.
        m_link.reset();
        QTimer::singleShot(0, this, [this] {
            end(false, QString::fromLatin1(reason::kInterrupted),
                QStringLiteral("interrupted while connecting"));
        });
        return;
    }
    if (auto *loopback = qobject_cast<loopback::LoopbackEngine *>(m_engine.get())) {
        loopback->requestStop();
        return;
    }
    // Every engine ends its wait on the disconnect and reports through finished().
    if (!m_link->disconnectReader() && !m_engine) {
        QTimer::singleShot(0, this, [this] {
            end(false, QString::fromLatin1(reason::kInterrupted), QStringLiteral("interrupted"));
        });
    }
}

void TargetJob::onConnected(bool connected) {
    if (m_ended) {
        return;
    }
    if (!connected) {
        const QString why =
            m_link->lastError().isEmpty() ? QStringLiteral("no connection") : m_link->lastError();
        const bool refused = why.contains(QLatin1String("refused"), Qt::CaseInsensitive);
        return end(false,
                   QString::fromLatin1(refused ? reason::kRefused
                                       : why.contains(QLatin1String("time"), Qt::CaseInsensitive)
                                           ? reason::kTimeout
                                           : reason::kLink),
                   QStringLiteral("connect: ") + why);
    }
    if (m_stopping) {
        m_link->disconnectReader();
        return end(false, QString::fromLatin1(reason::kInterrupted),
                   QStringLiteral("interrupted after connecting"));
    }
    runOperation();
}

void TargetJob::runOperation() {
    link::ReaderLink *readerLink = m_link.get();
    const auto onFinished = [this](const OperationResult &result) { onOperationFinished(result); };
    const auto remember = [this](const QString &text) {
        if (!text.isEmpty()) {
            m_lastStatus = text;
        }
    };

    switch (m_request.command) {
    case Command::Ports:
        return end(false, QString::fromLatin1(reason::kRefused), QStringLiteral("no operation"));
    case Command::Program: {
        auto log = std::make_unique<config::ProgressLog>();
        auto *run = new config::ProgramRun(readerLink, m_model, log.get());
        m_engine.reset(run);
        m_helper = std::move(log);
        connect(run, &config::ProgramRun::finished, this, onFinished);
        if (!run->start()) {
            return end(false, QString::fromLatin1(reason::kRefused),
                       QStringLiteral("program: the link is busy"));
        }
        return;
    }
    case Command::Reset: {
        auto log = std::make_unique<config::ProgressLog>();
        auto *reset = new config::ReaderReset(readerLink, log.get());
        m_engine.reset(reset);
        m_helper = std::move(log);
        // The reset finishes inside start(); its result is handled from the event loop.
        connect(reset, &config::ReaderReset::finished, this, onFinished, Qt::QueuedConnection);
        if (!reset->start()) {
            return end(false, QString::fromLatin1(reason::kRefused),
                       QStringLiteral("reset: the link is busy"));
        }
        return;
    }
    case Command::Flash: {
        auto *loader = new flash::FirmwareLoader(readerLink);
        m_engine.reset(loader);
        if (m_waits.shortened) {
            flash::LoaderTimings timings;
            timings.replyTimeout = 1000ms;
            timings.boot2ReadyTimeout = 1000ms;
            timings.tcpEntryPause = 50ms;
            timings.serialEntryPause = 50ms;
            timings.boot2SerialEntryPause = 50ms;
            loader->setTimings(timings);
        }
        connect(loader, &flash::FirmwareLoader::statusTextChanged, this, remember);
        connect(loader, &flash::FirmwareLoader::progressChanged, this,
                [this](qint64 acknowledged, qint64 total) {
                    m_data.insert(QStringLiteral("bytesSent"), acknowledged);
                    m_data.insert(QStringLiteral("bytesTotal"), total);
                    if (total > 0) {
                        emit progressed(m_target.text,
                                        QStringLiteral("%1 %").arg(acknowledged * 100 / total));
                    }
                });
        connect(loader, &flash::FirmwareLoader::finished, this, onFinished, Qt::QueuedConnection);
        const flash::DownloadKind kind =
            m_request.boot2 ? flash::DownloadKind::Boot2 : flash::DownloadKind::Firmware;
        if (!loader->start(flash::LoaderProfile::forDownload(kind, readerLink->settings().isTcp()),
                           m_request.imagePath)) {
            return end(false, QString::fromLatin1(reason::kRefused),
                       QStringLiteral("flash: the link is busy"));
        }
        return;
    }
    case Command::Loopback: {
        auto *test = new loopback::LoopbackEngine(readerLink);
        m_engine.reset(test);
        loopback::LoopbackTimings timings;
        timings.passes =
            int((m_request.loopbackBytes + kBytesPerLoopbackPass - 1) / kBytesPerLoopbackPass);
        if (m_waits.shortened) {
            timings.settleSerial = 50ms;
            timings.settleTcp = 50ms;
            timings.echoSerial = 300ms;
            timings.echoTcp = 300ms;
        }
        test->setTimings(timings);
        auto errors = std::make_shared<qint64>(0);
        connect(test, &loopback::LoopbackEngine::lineAdded, this,
                [this, errors](const QString &line) {
                    if (line.contains(QLatin1String("bad echo")) ||
                        line.contains(QLatin1String("timeout"))) {
                        ++*errors;
                        if (m_lastStatus.isEmpty()) {
                            m_lastStatus = line.trimmed(); // the first fault
                        }
                    }
                });
        connect(test, &loopback::LoopbackEngine::countChanged, this, [this](qint32 count) {
            m_data.insert(QStringLiteral("bytesSent"), count);
            emit progressed(m_target.text, QStringLiteral("%1 bytes").arg(count));
        });
        connect(
            test, &loopback::LoopbackEngine::finished, this,
            [this, test, errors](const OperationResult &result) {
                m_data.insert(QStringLiteral("bytesSent"), test->charactersSent());
                m_data.insert(QStringLiteral("errors"), *errors);
                if (result.ok() && *errors > 0) {
                    // Every byte went out, but not every echo came back right.
                    return onOperationFinished(
                        {ResultCode::WrongReply, QStringLiteral("%1 echo errors, first: %2")
                                                     .arg(*errors)
                                                     .arg(m_lastStatus)});
                }
                onOperationFinished(
                    result.ok() ? OperationResult::success(
                                      QStringLiteral("%1 bytes echoed").arg(test->charactersSent()))
                                : result);
            },
            Qt::QueuedConnection);
        if (!test->start()) {
            return end(false, QString::fromLatin1(reason::kRefused),
                       QStringLiteral("loopback: the link is busy"));
        }
        return;
    }
    case Command::Info:
    case Command::SetTime:
    case Command::ClearMemory:
    case Command::Restart:
    case Command::Mode:
    case Command::Upload:
        break;
    }

    auto *commands = new utilities::MaintenanceCommands(readerLink);
    m_engine.reset(commands);
    connect(commands, &utilities::MaintenanceCommands::statusTextChanged, this, remember);
    connect(commands->upload(), &utilities::UploadSession::statusTextChanged, this,
            [this, commands](const QString &text) {
                m_data.insert(QStringLiteral("records"), commands->upload()->recordCount());
                emit progressed(m_target.text, text);
            });
    connect(commands, &utilities::MaintenanceCommands::firmwareIdChanged, this,
            [this](const QString &text) {
                if (!text.isEmpty()) {
                    m_data.insert(QStringLiteral("firmwareId"), text);
                }
            });
    connect(commands, &utilities::MaintenanceCommands::readerTimeChanged, this,
            [this](const QString &text) {
                if (!text.isEmpty()) {
                    m_data.insert(QStringLiteral("readerTime"), text);
                }
            });
    connect(commands, &utilities::MaintenanceCommands::memoryUsageChanged, this,
            [this](const utilities::MemoryUsage &usage) {
                m_data.insert(QStringLiteral("totalSlots"), usage.totalSlots.trimmed().toInt());
                m_data.insert(QStringLiteral("used"), usage.used.trimmed().toInt());
                m_data.insert(QStringLiteral("uploaded"), usage.uploaded.trimmed().toInt());
            });
    connect(commands, &utilities::MaintenanceCommands::finished, this, onFinished,
            Qt::QueuedConnection);

    switch (m_request.command) {
    case Command::Info:
        m_infoStep = 0;
        return runInfoStep();
    case Command::SetTime: {
        utilities::TimeAdjustment adjustment;
        adjustment.hoursText = QString::number(std::abs(m_request.hours));
        adjustment.direction =
            m_request.hours < 0 ? utilities::Direction::Subtract : utilities::Direction::Add;
        commands->click(kSetTimeClick, adjustment);
        return;
    }
    case Command::ClearMemory:
        // --yes answered the question before anything was sent.
        commands->setAsker([](const QString &, std::function<void(bool)> answer) { answer(true); });
        commands->click(kClearMemoryClick);
        return;
    case Command::Restart:
        commands->click(kRestartClick);
        return;
    case Command::Mode:
        commands->click(modeClick(m_request.mode));
        return;
    case Command::Upload: {
        const QString path = uploadFileFor(m_request, m_target);
        m_data.insert(QStringLiteral("file"), path);
        commands->upload()->setFileChooser(
            [path](const utilities::UploadSession::FileChosen &done) { done(path); });
        commands->click(kUploadClick);
        return;
    }
    default:
        return;
    }
}

void TargetJob::runInfoStep() {
    auto *commands = qobject_cast<utilities::MaintenanceCommands *>(m_engine.get());
    commands->click(kInfoSteps[m_infoStep].click);
}

void TargetJob::onOperationFinished(const OperationResult &result) {
    if (m_ended) {
        return;
    }
    QString step = commandName(m_request.command);
    if (m_request.command == Command::Info) {
        step = QString::fromLatin1(kInfoSteps[m_infoStep].name);
        if (result.ok() && m_infoStep + 1 < int(std::size(kInfoSteps)) && !m_stopping) {
            ++m_infoStep;
            return runInfoStep();
        }
    }
    if (m_request.command == Command::Upload) {
        if (auto *commands = qobject_cast<utilities::MaintenanceCommands *>(m_engine.get())) {
            m_data.insert(QStringLiteral("records"), commands->upload()->recordCount());
        }
    }
    if (m_request.command == Command::Info && result.ok() &&
        m_data.value(QStringLiteral("firmwareId")).toString().trimmed().isEmpty()) {
        // An empty identification is no identification.
        return end(false, QString::fromLatin1(reason::kWrongReply),
                   QStringLiteral("firmware identification: empty reply"));
    }

    QString message = result.message;
    if (message.isEmpty()) {
        message = m_lastStatus;
    }
    if (message.isEmpty() && m_request.command == Command::Program && m_helper) {
        // The run printed its texts into the progress lists; the last line says how it ended.
        const auto *log = static_cast<config::ProgressLog *>(m_helper.get());
        QStringList lines = log->lines(config::ProgressList::Right);
        lines.removeAll(QString());
        if (!lines.isEmpty()) {
            message = lines.last();
        }
    }
    if (result.ok()) {
        if (m_request.command == Command::Info) {
            message = QStringLiteral("%1; time %2; memory %3 used of %4, %5 uploaded")
                          .arg(m_data.value(QStringLiteral("firmwareId")).toString(),
                               m_data.value(QStringLiteral("readerTime")).toString(),
                               m_data.value(QStringLiteral("used")).toString(),
                               m_data.value(QStringLiteral("totalSlots")).toString(),
                               m_data.value(QStringLiteral("uploaded")).toString());
        } else if (message.isEmpty()) {
            message = QStringLiteral("%1 done").arg(step);
        }
        m_link->disconnectReader();
        return end(true, QString::fromLatin1(reason::kOk), message);
    }
    if (message.isEmpty()) {
        message = QStringLiteral("failed");
    }
    const bool interrupted = m_stopping && (result.code == ResultCode::Disconnected ||
                                            result.code == ResultCode::Cancelled);
    if (m_request.command == Command::Upload) {
        message += QStringLiteral(" (%1 records kept in %2)")
                       .arg(m_data.value(QStringLiteral("records")).toLongLong())
                       .arg(m_data.value(QStringLiteral("file")).toString());
    }
    m_link->disconnectReader();
    end(false, interrupted ? QString::fromLatin1(reason::kInterrupted) : reasonFor(result.code),
        (interrupted ? QStringLiteral("interrupted during ") : QString()) + step +
            QStringLiteral(": ") + message);
}

void TargetJob::end(bool ok, const QString &exitReason, const QString &message) {
    if (m_ended) {
        return;
    }
    m_ended = true;
    if (m_link && m_link->isConnected()) {
        m_link->disconnectReader();
    }
    TargetResult result;
    result.target = m_target.text;
    result.ok = ok;
    result.exit = exitReason;
    result.message = message;
    result.seconds = double(m_clock.nsecsElapsed()) / 1e9;
    result.data = m_data;
    emit finished(result);
}

} // namespace varo::cli
