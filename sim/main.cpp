// varo-sim: simulated Varo readers on 127.0.0.1 and/or pseudo-terminals.

#include "common/signalbridge.h"
#include "sim/readersimulator.h"
#include "sim/simfault.h"
#include "sim/simfleet.h"
#include "sim/simpty.h"
#include "sim/simtcpserver.h"

#include "common/openfiles.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

using varo::sim::ReaderSimulator;
using varo::sim::SimFleet;
using varo::sim::SimOptions;

constexpr int kExitUsage = 2;
constexpr int kExitFailed = 1;

QString hexAndText(const QByteArray &bytes) {
    QString text;
    for (const char c : bytes) {
        const auto byte = quint8(c);
        text += (byte >= 0x20 && byte < 0x7f) ? QString(QLatin1Char(c)) : QStringLiteral(".");
    }
    return QString::fromLatin1(bytes.toHex(' ')) + QStringLiteral("  |") + text +
           QStringLiteral("|");
}

struct IntFlag {
    const char *name;
    const char *help;
    int SimOptions::*field;
};

// Fault and behaviour flags that take a number, mapped onto SimOptions.
const IntFlag kIntFlags[] = {
    {"delay", "Delay every reply by MS milliseconds.", &SimOptions::replyDelayMs},
    {"pieces", "Write replies in pieces of N bytes.", &SimOptions::pieceSize},
    {"piece-gap", "Gap between reply pieces in milliseconds.", &SimOptions::pieceGapMs},
    {"close-after", "Drop the link after N line commands.", &SimOptions::closeAfterCommands},
    {"silent-after", "Answer N line commands, then fall silent.", &SimOptions::silentAfterCommands},
    {"records", "Number of generated stored records.", &SimOptions::recordCount},
    {"records-before-silence", "Answer \"l\" N times, then fall silent.",
     &SimOptions::recordsBeforeSilence},
    {"close-after-records", "Drop the link after N records.", &SimOptions::closeAfterRecords},
    {"wrong-ack-at", "Loader: answer \"N\" to block K.", &SimOptions::wrongAckAtBlock},
    {"silent-at-block", "Loader: leave block K unanswered.", &SimOptions::silentAtBlock},
    {"ack-delay", "Loader: delay every answer by MS milliseconds.", &SimOptions::ackDelayMs},
    {"line-rate", "Pace everything sent at BAUD/10 bytes per second.", &SimOptions::lineRateBaud},
    {"total-slots", "Memory usage: total slots.", &SimOptions::totalSlots},
    {"used", "Memory usage: used slots.", &SimOptions::used},
    {"uploaded", "Memory usage: uploaded slots.", &SimOptions::uploaded},
};

struct EchoFlag {
    const char *name;
    const char *help;
    qint64 SimOptions::*field;
};

const EchoFlag kEchoFlags[] = {
    {"drop-echo-at", "Loopback: do not echo byte N (from 1).", &SimOptions::dropEchoAt},
    {"alter-echo-at", "Loopback: echo byte N as its value + 1.", &SimOptions::alterEchoAt},
    {"double-echo-at", "Loopback: echo byte N twice.", &SimOptions::doubleEchoAt},
};

// "500,1500" -> {500, 1500}; nullopt when an item is not a time in milliseconds.
std::optional<QList<int>> parseTimes(const QString &text) {
    QList<int> times;
    for (const QString &item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int ms = item.trimmed().toInt(&ok);
        if (!ok || ms < 0) {
            return std::nullopt;
        }
        times.append(ms);
    }
    return times;
}

// One control line from stdin: "unplug", "replug" (every reader) or with a reader index,
// "quit". Unknown lines are reported on stderr and ignored.
void runControlLine(SimFleet &fleet, const QString &line) {
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        return;
    }
    bool indexOk = words.size() == 2;
    const int index = indexOk ? words[1].toInt(&indexOk) : -1;
    if (words.size() == 2 && (!indexOk || index < 0 || index >= fleet.size())) {
        QTextStream(stderr) << "varo-sim: no reader " << words[1] << '\n';
        return;
    }
    const QString &verb = words[0];
    if (verb == QLatin1String("quit")) {
        QCoreApplication::quit();
    } else if (verb == QLatin1String("unplug")) {
        indexOk ? fleet.unplug(index) : fleet.unplug();
    } else if (verb == QLatin1String("replug")) {
        indexOk ? (void)fleet.replug(index) : (void)fleet.replug();
    } else {
        QTextStream(stderr) << "varo-sim: unknown control \"" << line.trimmed() << "\"\n";
    }
}

// What one run of varo-sim does, as its command line asks.
struct SimRun {
    SimOptions options;
    int readerCount = 1;
    QMap<int, varo::sim::FaultMode> faults;
    QList<int> unplugTimes;
    QList<int> replugTimes;
    std::optional<quint16> tcpPort; // first port; readers after the first take the next ones
    bool pty = false;
    QString ptyLink;
    bool control = false;
    bool log = false;
    QString reportPath; // empty: no report
};

// The options of the command line and their help texts.
struct CommandLine {
    CommandLine();

    QCommandLineParser parser;
    const QCommandLineOption tcp{QStringLiteral("tcp"),
                                 QStringLiteral("Listen on 127.0.0.1 PORT (0 = any free port)."),
                                 QStringLiteral("PORT")};
    const QCommandLineOption pty{QStringLiteral("pty"),
                                 QStringLiteral("Open a pseudo-terminal; prints \"PTY <path>\".")};
    const QCommandLineOption ptyLink{
        QStringLiteral("pty-link"),
        QStringLiteral("Keep a symbolic link PATH to the pseudo-terminal, re-pointed whenever it "
                       "is re-created (several readers: PATH.<i>)."),
        QStringLiteral("PATH")};
    const QCommandLineOption readers{
        QStringLiteral("readers"),
        QStringLiteral("Simulate N readers, each with its own state; reader i (from 0) listens on "
                       "PORT + i."),
        QStringLiteral("N"), QStringLiteral("1")};
    const QCommandLineOption replyDelay{
        QStringLiteral("reply-delay"),
        QStringLiteral("Delay every reply, line and loader, by MS milliseconds."),
        QStringLiteral("MS")};
    const QCommandLineOption faulty{
        QStringLiteral("faulty"),
        QStringLiteral("Readers that fail: indexes from 0, each optionally \":MODE\" "
                       "(for example 3,7:close)."),
        QStringLiteral("LIST")};
    const QCommandLineOption faultMode{
        QStringLiteral("fault-mode"),
        QStringLiteral("Fault of --faulty readers without a mode: %1 (default silent).")
            .arg(varo::sim::faultModeNames()),
        QStringLiteral("MODE"), QStringLiteral("silent")};
    const QCommandLineOption unplugAt{
        QStringLiteral("unplug-at"),
        QStringLiteral("Unplug every reader MS milliseconds after the start (a list: several "
                       "times): listeners closed, clients dropped, pseudo-terminals gone."),
        QStringLiteral("MS")};
    const QCommandLineOption replugAt{
        QStringLiteral("replug-at"),
        QStringLiteral("Plug every reader back in MS milliseconds after the start (a list: "
                       "several times): same ports, new pseudo-terminals."),
        QStringLiteral("MS")};
    const QCommandLineOption control{
        QStringLiteral("control"),
        QStringLiteral("Read control lines on stdin: \"unplug [i]\", \"replug [i]\", \"quit\".")};
    const QCommandLineOption log{QStringLiteral("log"),
                                 QStringLiteral("Print every received byte to stderr.")};
    const QCommandLineOption report{
        QStringLiteral("report"),
        QStringLiteral("Write what was received to FILE at exit (several readers: FILE.<i>)."),
        QStringLiteral("FILE")};
    const QCommandLineOption silent{QStringLiteral("silent"),
                                    QStringLiteral("Never answer line commands.")};
    const QCommandLineOption silentOn{QStringLiteral("silent-on"),
                                      QStringLiteral("No answer to commands starting with CODE."),
                                      QStringLiteral("CODE")};
    const QCommandLineOption emptyReplies{QStringLiteral("empty-replies"),
                                          QStringLiteral("Answer every line command with CR.")};
    const QCommandLineOption garbage{QStringLiteral("garbage"),
                                     QStringLiteral("Send TEXT before every reply."),
                                     QStringLiteral("TEXT")};
    const QCommandLineOption wakeup{QStringLiteral("wakeup-reply"),
                                    QStringLiteral("Answer each wake-up CR CR with TEXT."),
                                    QStringLiteral("TEXT")};
    const QCommandLineOption crlf{QStringLiteral("crlf"),
                                  QStringLiteral("End replies with CR LF instead of CR.")};
    const QCommandLineOption firmware{QStringLiteral("firmware"),
                                      QStringLiteral("Firmware identification (reply to \"V\")."),
                                      QStringLiteral("TEXT")};
    const QCommandLineOption ack{QStringLiteral("ack"),
                                 QStringLiteral("Reply to programming commands."),
                                 QStringLiteral("TEXT")};
    const QCommandLineOption recordFile{QStringLiteral("record-file"),
                                        QStringLiteral("Stored records, one per line, from FILE."),
                                        QStringLiteral("FILE")};
    const QCommandLineOption clock{QStringLiteral("clock"),
                                   QStringLiteral("Reader clock start, \"yyyy-MM-dd HH:mm:ss\"."),
                                   QStringLiteral("TIME")};
    const QCommandLineOption echoTyped{
        QStringLiteral("echo-typed"),
        QStringLiteral("Echo every character received in line mode.")};
    const QCommandLineOption noReady{QStringLiteral("loader-no-ready"),
                                     QStringLiteral("Loader: no \"TK\"/\"YK\".")};
    const QCommandLineOption noFinalB{QStringLiteral("no-final-b"),
                                      QStringLiteral("Loader: no final \"B\".")};
    QList<QCommandLineOption> intOptions;  // kIntFlags, in order
    QList<QCommandLineOption> echoOptions; // kEchoFlags, in order
};

CommandLine::CommandLine() {
    parser.setApplicationDescription(QStringLiteral(
        "Simulated Varo Series readers on 127.0.0.1 and pseudo-terminals.\n"
        "Prints \"TCP 127.0.0.1 <port>\" and \"PTY <path>\" for each reader, in order, and\n"
        "\"UNPLUGGED <i>\" / \"REPLUGGED <i> [<new pty>]\" when readers go and come back."));
    parser.addHelpOption();
    parser.addOptions({tcp,          pty,       ptyLink, readers, replyDelay, faulty, faultMode,
                       unplugAt,     replugAt,  control, log,     report,     silent, silentOn,
                       emptyReplies, garbage,   wakeup,  crlf,    firmware,   ack,    recordFile,
                       clock,        echoTyped, noReady, noFinalB});
    for (const IntFlag &flag : kIntFlags) {
        intOptions.append(QCommandLineOption(QString::fromLatin1(flag.name),
                                             QString::fromLatin1(flag.help), QStringLiteral("N")));
        parser.addOption(intOptions.last());
    }
    for (const EchoFlag &flag : kEchoFlags) {
        echoOptions.append(QCommandLineOption(QString::fromLatin1(flag.name),
                                              QString::fromLatin1(flag.help), QStringLiteral("N")));
        parser.addOption(echoOptions.last());
    }
}

// A message on stderr for a command line that cannot run.
class UsageError {
public:
    explicit UsageError(QTextStream &err)
        : m_err(err) {}
    std::nullopt_t operator()(const QString &message) {
        m_err << "varo-sim: " << message << '\n';
        return std::nullopt;
    }

private:
    QTextStream &m_err;
};

// The stored records of --record-file; nullopt when the file cannot be read.
std::optional<QList<QByteArray>> readRecordFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QList<QByteArray> records;
    for (QByteArray line : file.readAll().split('\n')) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (!line.isEmpty()) {
            records.append(line);
        }
    }
    return records;
}

// The reader behaviour flags into `options`; nullopt after a message when one is malformed.
std::optional<SimOptions> readReaderOptions(const CommandLine &cl, QTextStream &err) {
    const QCommandLineParser &parser = cl.parser;
    UsageError fail(err);
    SimOptions options;
    for (qsizetype i = 0; i < cl.intOptions.size(); ++i) {
        if (parser.isSet(cl.intOptions[i])) {
            bool ok = false;
            options.*kIntFlags[i].field = parser.value(cl.intOptions[i]).toInt(&ok);
            if (!ok) {
                return fail(
                    QStringLiteral("--%1 needs a number").arg(QLatin1String(kIntFlags[i].name)));
            }
        }
    }
    for (qsizetype i = 0; i < cl.echoOptions.size(); ++i) {
        if (parser.isSet(cl.echoOptions[i])) {
            options.*kEchoFlags[i].field = parser.value(cl.echoOptions[i]).toLongLong();
        }
    }
    if (parser.isSet(cl.replyDelay)) {
        bool ok = false;
        options.replyDelayMs = options.ackDelayMs = parser.value(cl.replyDelay).toInt(&ok);
        if (!ok || options.replyDelayMs < 0) {
            return fail(QStringLiteral("--reply-delay needs a number of milliseconds"));
        }
    }
    options.silent = parser.isSet(cl.silent);
    options.emptyReplies = parser.isSet(cl.emptyReplies);
    options.echoTyped = parser.isSet(cl.echoTyped);
    options.noReadyReply = parser.isSet(cl.noReady);
    options.noFinalB = parser.isSet(cl.noFinalB);
    const std::pair<const QCommandLineOption *, QByteArray SimOptions::*> kTexts[] = {
        {&cl.silentOn, &SimOptions::silentOnCode}, {&cl.garbage, &SimOptions::garbageBeforeReply},
        {&cl.wakeup, &SimOptions::wakeupReply},    {&cl.firmware, &SimOptions::firmwareId},
        {&cl.ack, &SimOptions::ackReply},
    };
    for (const auto &[option, field] : kTexts) {
        if (parser.isSet(*option)) {
            options.*field = parser.value(*option).toLatin1();
        }
    }
    if (parser.isSet(cl.crlf)) {
        options.replyTerminator = "\r\n";
    }
    if (parser.isSet(cl.clock)) {
        options.clock =
            QDateTime::fromString(parser.value(cl.clock), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!options.clock.isValid()) {
            return fail(QStringLiteral("--clock wants \"yyyy-MM-dd HH:mm:ss\""));
        }
    }
    if (parser.isSet(cl.recordFile)) {
        const auto records = readRecordFile(parser.value(cl.recordFile));
        if (!records) {
            return fail(QStringLiteral("cannot read ") + parser.value(cl.recordFile));
        }
        options.records.append(*records);
    }
    return options;
}

// The whole command line as a run; nullopt after a message when it cannot run.
std::optional<SimRun> readRun(const CommandLine &cl, QTextStream &err) {
    const QCommandLineParser &parser = cl.parser;
    UsageError fail(err);
    if (!parser.isSet(cl.tcp) && !parser.isSet(cl.pty)) {
        return fail(QStringLiteral("give --tcp PORT and/or --pty"));
    }
    SimRun run;
    bool countOk = false;
    run.readerCount = parser.value(cl.readers).toInt(&countOk);
    if (!countOk || run.readerCount < 1 || run.readerCount > 1000) {
        return fail(QStringLiteral("--readers wants a number from 1 to 1000"));
    }
    const auto defaultFault = varo::sim::faultModeFromName(parser.value(cl.faultMode));
    if (!defaultFault) {
        return fail(QStringLiteral("--fault-mode wants one of ") + varo::sim::faultModeNames());
    }
    QString faultError;
    const auto faults = varo::sim::parseFaultyReaders(parser.value(cl.faulty), run.readerCount,
                                                      *defaultFault, &faultError);
    if (!faults) {
        return fail(QStringLiteral("--faulty: ") + faultError);
    }
    run.faults = faults->modes;
    const auto unplugTimes = parseTimes(parser.value(cl.unplugAt));
    const auto replugTimes = parseTimes(parser.value(cl.replugAt));
    if (!unplugTimes || !replugTimes) {
        return fail(
            QStringLiteral("--unplug-at and --replug-at want milliseconds (a list: 500,1500)"));
    }
    run.unplugTimes = *unplugTimes;
    run.replugTimes = *replugTimes;
    if (parser.isSet(cl.ptyLink) && !parser.isSet(cl.pty)) {
        return fail(QStringLiteral("--pty-link needs --pty"));
    }
    const auto options = readReaderOptions(cl, err);
    if (!options) {
        return std::nullopt;
    }
    run.options = *options;
    if (parser.isSet(cl.tcp)) {
        bool portOk = false;
        const uint firstPort = parser.value(cl.tcp).toUInt(&portOk);
        if (!portOk || firstPort > 65535) {
            return fail(QStringLiteral("--tcp wants a port number"));
        }
        run.tcpPort = quint16(firstPort);
    }
    run.pty = parser.isSet(cl.pty);
    run.ptyLink = parser.value(cl.ptyLink);
    run.control = parser.isSet(cl.control);
    run.log = parser.isSet(cl.log);
    run.reportPath = parser.isSet(cl.report) ? parser.value(cl.report) : QString();
    return run;
}

// Prints every received byte of every reader on stderr.
void logReceivedBytes(SimFleet &fleet) {
    for (int i = 0; i < fleet.size(); ++i) {
        const QString prefix = fleet.size() == 1 ? QString() : QStringLiteral("[%1] ").arg(i);
        QObject::connect(fleet.reader(i), &ReaderSimulator::bytesReceived, &fleet,
                         [prefix](const QByteArray &bytes) {
                             QTextStream(stderr)
                                 << prefix << "<< " << hexAndText(bytes) << Qt::endl;
                         });
    }
}

// Opens the TCP ports and the pseudo-terminals and prints where they are; false after a message.
bool openFrontEnds(SimFleet &fleet, const SimRun &run, QTextStream &out, QTextStream &err) {
    QString frontEndError;
    if (run.tcpPort) {
        if (!fleet.listen(*run.tcpPort, &frontEndError)) {
            err << "varo-sim: " << frontEndError << '\n';
            return false;
        }
        for (int i = 0; i < fleet.size(); ++i) {
            out << "TCP 127.0.0.1 " << fleet.tcp(i)->port() << Qt::endl;
        }
    }
    if (run.pty) {
        if (!fleet.openPtys(run.ptyLink, &frontEndError)) {
            err << "varo-sim: " << frontEndError << '\n';
            return false;
        }
        for (int i = 0; i < fleet.size(); ++i) {
            if (const varo::sim::SimPty *terminal = fleet.pty(i)) {
                out << "PTY " << terminal->slavePath() << Qt::endl;
            }
        }
    }
    return true;
}

// Reports unplugs and replugs on stdout and schedules the timed ones.
void followPlugging(SimFleet &fleet, const SimRun &run, QTextStream &out) {
    QObject::connect(&fleet, &SimFleet::unplugged, &fleet,
                     [&out](int index) { out << "UNPLUGGED " << index << Qt::endl; });
    QObject::connect(&fleet, &SimFleet::replugged, &fleet, [&out, &fleet](int index) {
        out << "REPLUGGED " << index;
        if (const varo::sim::SimPty *terminal = fleet.pty(index); terminal && terminal->isOpen()) {
            out << ' ' << terminal->slavePath();
        }
        out << Qt::endl;
    });
    for (const int ms : run.unplugTimes) {
        QTimer::singleShot(ms, &fleet, [&fleet] { fleet.unplug(); });
    }
    for (const int ms : run.replugTimes) {
        QTimer::singleShot(ms, &fleet, [&fleet] { (void)fleet.replug(); });
    }
}

// Control lines on stdin, read as they come; the notifier stops when stdin closes.
std::unique_ptr<QSocketNotifier> readControlLines(SimFleet &fleet) {
    auto notifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &fleet,
                     [&fleet, raw = notifier.get(), pending = QByteArray()]() mutable {
                         char buffer[256];
                         const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
                         if (count <= 0) {
                             raw->setEnabled(false); // stdin closed
                             return;
                         }
                         pending.append(buffer, count);
                         qsizetype end = 0;
                         while ((end = pending.indexOf('\n')) >= 0) {
                             runControlLine(fleet, QString::fromLocal8Bit(pending.left(end)));
                             pending.remove(0, end + 1);
                         }
                     });
    return notifier;
}

// Runs the fleet until "quit", SIGINT or SIGTERM, then writes the reports.
int runFleet(const SimRun &run, QTextStream &err) {
    // Each reader may hold a listener, a client connection and a pseudo-terminal (two ends).
    const qint64 filesNeeded = qint64(run.readerCount) * 4 + 64;
    if (const qint64 files = varo::common::raiseOpenFileLimit(filesNeeded);
        files >= 0 && files < filesNeeded) {
        err << "varo-sim: this system lets a process open " << files
            << " files (ulimit -n); some of the " << run.readerCount
            << " readers may not be served.\n";
    }
    SimFleet fleet(run.options, run.readerCount, run.faults);
    if (run.log) {
        logReceivedBytes(fleet);
    }
    QTextStream out(stdout);
    if (!openFrontEnds(fleet, run, out, err)) {
        return kExitFailed;
    }
    followPlugging(fleet, run, out);
    std::unique_ptr<QSocketNotifier> controlNotifier;
    if (run.control) {
        controlNotifier = readControlLines(fleet);
    }

    // SIGINT and SIGTERM end the event loop, so the report gets written.
    varo::common::SignalBridge signalBridge;
    if (!signalBridge.isInstalled()) {
        err << "varo-sim: socketpair failed\n";
        return kExitFailed;
    }
    QObject::connect(&signalBridge, &varo::common::SignalBridge::received, &fleet,
                     [] { QCoreApplication::quit(); });

    const int result = QCoreApplication::exec();
    if (!run.reportPath.isEmpty()) {
        for (int i = 0; i < fleet.size(); ++i) {
            const QString path = SimFleet::perReaderPath(run.reportPath, i, fleet.size());
            if (!fleet.reader(i)->writeReport(path)) {
                err << "varo-sim: cannot write " << path << '\n';
                return kExitFailed;
            }
        }
    }
    return result;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varo-sim"));

    CommandLine commandLine;
    commandLine.parser.process(app);
    QTextStream err(stderr);
    const std::optional<SimRun> run = readRun(commandLine, err);
    if (!run) {
        return kExitUsage;
    }
    return runFleet(*run, err);
}
