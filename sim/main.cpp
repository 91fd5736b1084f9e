// varo-sim: simulated Varo readers on 127.0.0.1 and/or pseudo-terminals.

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

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using varo::sim::ReaderSimulator;
using varo::sim::SimFleet;
using varo::sim::SimOptions;

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

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

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varo-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated Varo Series readers on 127.0.0.1 and pseudo-terminals.\n"
        "Prints \"TCP 127.0.0.1 <port>\" and \"PTY <path>\" for each reader, in order, and\n"
        "\"UNPLUGGED <i>\" / \"REPLUGGED <i> [<new pty>]\" when readers go and come back."));
    parser.addHelpOption();
    const QCommandLineOption tcp(QStringLiteral("tcp"),
                                 QStringLiteral("Listen on 127.0.0.1 PORT (0 = any free port)."),
                                 QStringLiteral("PORT"));
    const QCommandLineOption pty(QStringLiteral("pty"),
                                 QStringLiteral("Open a pseudo-terminal; prints \"PTY <path>\"."));
    const QCommandLineOption ptyLink(
        QStringLiteral("pty-link"),
        QStringLiteral("Keep a symbolic link PATH to the pseudo-terminal, re-pointed whenever it "
                       "is re-created (several readers: PATH.<i>)."),
        QStringLiteral("PATH"));
    const QCommandLineOption readers(
        QStringLiteral("readers"),
        QStringLiteral("Simulate N readers, each with its own state; reader i (from 0) listens on "
                       "PORT + i."),
        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption replyDelay(
        QStringLiteral("reply-delay"),
        QStringLiteral("Delay every reply, line and loader, by MS milliseconds."),
        QStringLiteral("MS"));
    const QCommandLineOption faulty(
        QStringLiteral("faulty"),
        QStringLiteral("Readers that fail: indexes from 0, each optionally \":MODE\" "
                       "(for example 3,7:close)."),
        QStringLiteral("LIST"));
    const QCommandLineOption faultMode(
        QStringLiteral("fault-mode"),
        QStringLiteral("Fault of --faulty readers without a mode: %1 (default silent).")
            .arg(varo::sim::faultModeNames()),
        QStringLiteral("MODE"), QStringLiteral("silent"));
    const QCommandLineOption unplugAt(
        QStringLiteral("unplug-at"),
        QStringLiteral("Unplug every reader MS milliseconds after the start (a list: several "
                       "times): listeners closed, clients dropped, pseudo-terminals gone."),
        QStringLiteral("MS"));
    const QCommandLineOption replugAt(
        QStringLiteral("replug-at"),
        QStringLiteral("Plug every reader back in MS milliseconds after the start (a list: "
                       "several times): same ports, new pseudo-terminals."),
        QStringLiteral("MS"));
    const QCommandLineOption control(
        QStringLiteral("control"),
        QStringLiteral("Read control lines on stdin: \"unplug [i]\", \"replug [i]\", \"quit\"."));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Print every received byte to stderr."));
    const QCommandLineOption report(
        QStringLiteral("report"),
        QStringLiteral("Write what was received to FILE at exit (several readers: FILE.<i>)."),
        QStringLiteral("FILE"));
    const QCommandLineOption silent(QStringLiteral("silent"),
                                    QStringLiteral("Never answer line commands."));
    const QCommandLineOption silentOn(QStringLiteral("silent-on"),
                                      QStringLiteral("No answer to commands starting with CODE."),
                                      QStringLiteral("CODE"));
    const QCommandLineOption emptyReplies(QStringLiteral("empty-replies"),
                                          QStringLiteral("Answer every line command with CR."));
    const QCommandLineOption garbage(QStringLiteral("garbage"),
                                     QStringLiteral("Send TEXT before every reply."),
                                     QStringLiteral("TEXT"));
    const QCommandLineOption wakeup(QStringLiteral("wakeup-reply"),
                                    QStringLiteral("Answer each wake-up CR CR with TEXT."),
                                    QStringLiteral("TEXT"));
    const QCommandLineOption crlf(QStringLiteral("crlf"),
                                  QStringLiteral("End replies with CR LF instead of CR."));
    const QCommandLineOption firmware(QStringLiteral("firmware"),
                                      QStringLiteral("Firmware identification (reply to \"V\")."),
                                      QStringLiteral("TEXT"));
    const QCommandLineOption ack(QStringLiteral("ack"),
                                 QStringLiteral("Reply to programming commands."),
                                 QStringLiteral("TEXT"));
    const QCommandLineOption recordFile(QStringLiteral("record-file"),
                                        QStringLiteral("Stored records, one per line, from FILE."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption clock(QStringLiteral("clock"),
                                   QStringLiteral("Reader clock start, \"yyyy-MM-dd HH:mm:ss\"."),
                                   QStringLiteral("TIME"));
    const QCommandLineOption echoTyped(
        QStringLiteral("echo-typed"),
        QStringLiteral("Echo every character received in line mode."));
    const QCommandLineOption noReady(QStringLiteral("loader-no-ready"),
                                     QStringLiteral("Loader: no \"TK\"/\"YK\"."));
    const QCommandLineOption noFinalB(QStringLiteral("no-final-b"),
                                      QStringLiteral("Loader: no final \"B\"."));
    parser.addOptions({tcp,          pty,       ptyLink, readers, replyDelay, faulty, faultMode,
                       unplugAt,     replugAt,  control, log,     report,     silent, silentOn,
                       emptyReplies, garbage,   wakeup,  crlf,    firmware,   ack,    recordFile,
                       clock,        echoTyped, noReady, noFinalB});
    QList<QCommandLineOption> intOptions;
    for (const IntFlag &flag : kIntFlags) {
        intOptions.append(QCommandLineOption(QString::fromLatin1(flag.name),
                                             QString::fromLatin1(flag.help), QStringLiteral("N")));
        parser.addOption(intOptions.last());
    }
    QList<QCommandLineOption> echoOptions;
    for (const EchoFlag &flag : kEchoFlags) {
        echoOptions.append(QCommandLineOption(QString::fromLatin1(flag.name),
                                              QString::fromLatin1(flag.help), QStringLiteral("N")));
        parser.addOption(echoOptions.last());
    }
    parser.process(app);

    QTextStream err(stderr);
    if (!parser.isSet(tcp) && !parser.isSet(pty)) {
        err << "varo-sim: give --tcp PORT and/or --pty\n";
        return 2;
    }
    bool countOk = false;
    const int readerCount = parser.value(readers).toInt(&countOk);
    if (!countOk || readerCount < 1 || readerCount > 1000) {
        err << "varo-sim: --readers wants a number from 1 to 1000\n";
        return 2;
    }
    // Each reader may hold a listener, a client connection and a pseudo-terminal (two ends).
    const qint64 filesNeeded = qint64(readerCount) * 4 + 64;
    if (const qint64 files = varo::common::raiseOpenFileLimit(filesNeeded);
        files >= 0 && files < filesNeeded) {
        err << "varo-sim: this system lets a process open " << files
            << " files (ulimit -n); some of the " << readerCount << " readers may not be served.\n";
    }
    const auto defaultFault = varo::sim::faultModeFromName(parser.value(faultMode));
    if (!defaultFault) {
        err << "varo-sim: --fault-mode wants one of " << varo::sim::faultModeNames() << '\n';
        return 2;
    }
    QString faultError;
    const auto faults = varo::sim::parseFaultyReaders(parser.value(faulty), readerCount,
                                                      *defaultFault, &faultError);
    if (!faults) {
        err << "varo-sim: --faulty: " << faultError << '\n';
        return 2;
    }
    const auto unplugTimes = parseTimes(parser.value(unplugAt));
    const auto replugTimes = parseTimes(parser.value(replugAt));
    if (!unplugTimes || !replugTimes) {
        err << "varo-sim: --unplug-at and --replug-at want milliseconds (a list: 500,1500)\n";
        return 2;
    }
    if (parser.isSet(ptyLink) && !parser.isSet(pty)) {
        err << "varo-sim: --pty-link needs --pty\n";
        return 2;
    }

    SimOptions options;
    for (qsizetype i = 0; i < intOptions.size(); ++i) {
        if (parser.isSet(intOptions[i])) {
            bool ok = false;
            options.*kIntFlags[i].field = parser.value(intOptions[i]).toInt(&ok);
            if (!ok) {
                err << "varo-sim: --" << kIntFlags[i].name << " needs a number\n";
                return 2;
            }
        }
    }
    for (qsizetype i = 0; i < echoOptions.size(); ++i) {
        if (parser.isSet(echoOptions[i])) {
            options.*kEchoFlags[i].field = parser.value(echoOptions[i]).toLongLong();
        }
    }
    if (parser.isSet(replyDelay)) {
        bool ok = false;
        options.replyDelayMs = options.ackDelayMs = parser.value(replyDelay).toInt(&ok);
        if (!ok || options.replyDelayMs < 0) {
            err << "varo-sim: --reply-delay needs a number of milliseconds\n";
            return 2;
        }
    }
    options.silent = parser.isSet(silent);
    options.emptyReplies = parser.isSet(emptyReplies);
    options.echoTyped = parser.isSet(echoTyped);
    options.noReadyReply = parser.isSet(noReady);
    options.noFinalB = parser.isSet(noFinalB);
    if (parser.isSet(silentOn)) {
        options.silentOnCode = parser.value(silentOn).toLatin1();
    }
    if (parser.isSet(garbage)) {
        options.garbageBeforeReply = parser.value(garbage).toLatin1();
    }
    if (parser.isSet(wakeup)) {
        options.wakeupReply = parser.value(wakeup).toLatin1();
    }
    if (parser.isSet(crlf)) {
        options.replyTerminator = "\r\n";
    }
    if (parser.isSet(firmware)) {
        options.firmwareId = parser.value(firmware).toLatin1();
    }
    if (parser.isSet(ack)) {
        options.ackReply = parser.value(ack).toLatin1();
    }
    if (parser.isSet(clock)) {
        options.clock =
            QDateTime::fromString(parser.value(clock), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!options.clock.isValid()) {
            err << "varo-sim: --clock wants \"yyyy-MM-dd HH:mm:ss\"\n";
            return 2;
        }
    }
    if (parser.isSet(recordFile)) {
        QFile file(parser.value(recordFile));
        if (!file.open(QIODevice::ReadOnly)) {
            err << "varo-sim: cannot read " << file.fileName() << '\n';
            return 2;
        }
        for (QByteArray line : file.readAll().split('\n')) {
            if (line.endsWith('\r')) {
                line.chop(1);
            }
            if (!line.isEmpty()) {
                options.records.append(line);
            }
        }
    }

    SimFleet fleet(options, readerCount, faults->modes);
    if (parser.isSet(log)) {
        for (int i = 0; i < fleet.size(); ++i) {
            const QString prefix = readerCount == 1 ? QString() : QStringLiteral("[%1] ").arg(i);
            QObject::connect(fleet.reader(i), &ReaderSimulator::bytesReceived, &app,
                             [prefix](const QByteArray &bytes) {
                                 QTextStream(stderr)
                                     << prefix << "<< " << hexAndText(bytes) << Qt::endl;
                             });
        }
    }

    QTextStream out(stdout);
    QString frontEndError;
    if (parser.isSet(tcp)) {
        bool portOk = false;
        const uint firstPort = parser.value(tcp).toUInt(&portOk);
        if (!portOk || firstPort > 65535) {
            err << "varo-sim: --tcp wants a port number\n";
            return 2;
        }
        if (!fleet.listen(quint16(firstPort), &frontEndError)) {
            err << "varo-sim: " << frontEndError << '\n';
            return 1;
        }
        for (int i = 0; i < fleet.size(); ++i) {
            out << "TCP 127.0.0.1 " << fleet.tcp(i)->port() << Qt::endl;
        }
    }
    if (parser.isSet(pty)) {
        if (!fleet.openPtys(parser.value(ptyLink), &frontEndError)) {
            err << "varo-sim: " << frontEndError << '\n';
            return 1;
        }
        for (int i = 0; i < fleet.size(); ++i) {
            if (const varo::sim::SimPty *terminal = fleet.pty(i)) {
                out << "PTY " << terminal->slavePath() << Qt::endl;
            }
        }
    }
    QObject::connect(&fleet, &SimFleet::unplugged, &app,
                     [&out](int index) { out << "UNPLUGGED " << index << Qt::endl; });
    QObject::connect(&fleet, &SimFleet::replugged, &app, [&out, &fleet](int index) {
        out << "REPLUGGED " << index;
        if (const varo::sim::SimPty *terminal = fleet.pty(index); terminal && terminal->isOpen()) {
            out << ' ' << terminal->slavePath();
        }
        out << Qt::endl;
    });
    for (const int ms : *unplugTimes) {
        QTimer::singleShot(ms, &fleet, [&fleet] { fleet.unplug(); });
    }
    for (const int ms : *replugTimes) {
        QTimer::singleShot(ms, &fleet, [&fleet] { (void)fleet.replug(); });
    }
    std::unique_ptr<QSocketNotifier> controlNotifier;
    if (parser.isSet(control)) {
        controlNotifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(controlNotifier.get(), &QSocketNotifier::activated, &app,
                         [&fleet, &controlNotifier, pending = QByteArray()]() mutable {
                             char buffer[256];
                             const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
                             if (count <= 0) {
                                 controlNotifier->setEnabled(false); // stdin closed
                                 return;
                             }
                             pending.append(buffer, count);
                             qsizetype end = 0;
                             while ((end = pending.indexOf('\n')) >= 0) {
                                 runControlLine(fleet, QString::fromLocal8Bit(pending.left(end)));
                                 pending.remove(0, end + 1);
                             }
                         });
    }

    // SIGINT and SIGTERM end the event loop through a socket pair, so the report gets written.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        err << "varo-sim: socketpair failed\n";
        return 1;
    }
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        [[maybe_unused]] const auto got = ::read(g_signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    const int result = app.exec();
    if (parser.isSet(report)) {
        for (int i = 0; i < fleet.size(); ++i) {
            const QString path = SimFleet::perReaderPath(parser.value(report), i, fleet.size());
            if (!fleet.reader(i)->writeReport(path)) {
                err << "varo-sim: cannot write " << path << '\n';
                return 1;
            }
        }
    }
    return result;
}
