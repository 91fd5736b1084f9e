// varo-sim: a simulated Varo reader on 127.0.0.1 and/or a pseudo-terminal.

#include "sim/readersimulator.h"
#include "sim/simpty.h"
#include "sim/simtcpserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using varo::sim::ReaderSimulator;
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

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varo-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated Varo Series reader."));
    parser.addHelpOption();
    const QCommandLineOption tcp(QStringLiteral("tcp"),
                                 QStringLiteral("Listen on 127.0.0.1 PORT (0 = any free port)."),
                                 QStringLiteral("PORT"));
    const QCommandLineOption pty(QStringLiteral("pty"),
                                 QStringLiteral("Open a pseudo-terminal; prints \"PTY <path>\"."));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Print every received byte to stderr."));
    const QCommandLineOption report(QStringLiteral("report"),
                                    QStringLiteral("Write what was received to FILE at exit."),
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
    parser.addOptions({tcp, pty, log, report, silent, silentOn, emptyReplies, garbage, wakeup, crlf,
                       firmware, ack, recordFile, clock, echoTyped, noReady, noFinalB});
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

    ReaderSimulator sim(options);
    if (parser.isSet(log)) {
        QObject::connect(&sim, &ReaderSimulator::bytesReceived, &app, [](const QByteArray &bytes) {
            QTextStream(stderr) << "<< " << hexAndText(bytes) << Qt::endl;
        });
    }

    QTextStream out(stdout);
    varo::sim::SimTcpServer server(&sim);
    if (parser.isSet(tcp)) {
        if (!server.listen(quint16(parser.value(tcp).toUInt()))) {
            err << "varo-sim: cannot listen on 127.0.0.1:" << parser.value(tcp) << '\n';
            return 1;
        }
        out << "TCP 127.0.0.1 " << server.port() << Qt::endl;
    }
    varo::sim::SimPty terminal(&sim);
    if (parser.isSet(pty)) {
        if (!terminal.open()) {
            err << "varo-sim: cannot open a pseudo-terminal\n";
            return 1;
        }
        out << "PTY " << terminal.slavePath() << Qt::endl;
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
    if (parser.isSet(report) && !sim.writeReport(parser.value(report))) {
        err << "varo-sim: cannot write " << parser.value(report) << '\n';
        return 1;
    }
    return result;
}
