// Every varo-cli command as a process against simulated readers on 127.0.0.1 and on
// pseudo-terminals: exit code, the human line and the JSON report; reader faults; a fleet with
// faulty readers; Ctrl+C during a fleet upload.

#include "clirun.h"
#include "sim/readersimulator.h"
#include "sim/simfault.h"
#include "sim/simfleet.h"
#include "sim/simpty.h"
#include "sim/simtcpserver.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using varo::sim::FaultMode;
using varo::sim::SimFleet;
using varo::sim::SimOptions;

namespace {

// Every wait shortened (the option is not in --help).
QStringList shortWaits(const QStringList &arguments) {
    return QStringList{QStringLiteral("--short-waits")} + arguments;
}

Outcome runCli(const QStringList &arguments, int timeoutMs = 20000) {
    return runVaroCli(shortWaits(arguments), timeoutMs);
}

QJsonObject resultOf(const QString &json, int index = 0) {
    return QJsonDocument::fromJson(json.toUtf8())
        .object()
        .value(QLatin1String("results"))
        .toArray()
        .at(index)
        .toObject();
}

// 344 bytes: six 50-byte blocks and the 44-byte trailer.
QByteArray imageBytes() {
    QByteArray bytes;
    for (int i = 0; i < 44 + 50 * 6; ++i) {
        bytes.append(char('A' + i % 26));
    }
    return bytes;
}

} // namespace

class TestCliCommands : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void commands_data();
    void commands();
    void faults_data();
    void faults();
    void fleetWithFaultyReaders();
    void interruptFleetUpload();
    void traceGoesToStderr();

private:
    QString target(SimFleet &fleet, int index, bool pty) const {
        return pty ? QStringLiteral("serial:") + fleet.pty(index)->slavePath()
                   : QStringLiteral("tcp:127.0.0.1:%1").arg(fleet.tcp(index)->port());
    }

    QTemporaryDir m_dir;
    QString m_image;
};

void TestCliCommands::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_image = m_dir.filePath(QStringLiteral("image.bin"));
    QFile file(m_image);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(imageBytes());
}

void TestCliCommands::commands_data() {
    QTest::addColumn<bool>("pty");
    QTest::addColumn<QString>("line"); // {out} is a file in the temporary folder
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("dataKey");
    QTest::addColumn<QString>("dataValue");
    QTest::addColumn<QByteArray>("sent"); // the reader received this line command

    const struct {
        const char *name;
        const char *line;
        const char *message;
        const char *dataKey;
        const char *dataValue;
        QByteArray sent;
    } rows[] = {
        {"info", "info", "VARO SIM V1.0", "firmwareId", "VARO SIM V1.0", "z"},
        {"program", "program", "Programming Complete; 49 replies: 49 `OK`", "", "", "X102"},
        {"reset", "reset", "Reset Complete", "", "", QByteArray("\0U1", 3)},
        {"set-time", "set-time --hours -3", "Time set", "", "", "+"},
        {"clear-memory", "clear-memory --yes --force", "", "totalSlots", "32000", "lc"},
        {"restart", "restart", "", "", "", QByteArray("\0X", 2)},
        {"mode", "mode online", "", "", "", "|1"},
        {"upload", "upload --overwrite --out {out}", "", "records", "5", "l"},
        {"flash", "flash {image}", "Download complete", "bytesSent", "300", ""},
        {"loopback", "loopback --bytes 512", "", "bytesSent", "512", ""},
    };
    for (const bool pty : {false, true}) {
        for (const auto &row : rows) {
            QTest::addRow("%s %s", pty ? "pty" : "tcp", row.name)
                << pty << QString::fromLatin1(row.line) << QString::fromLatin1(row.message)
                << QString::fromLatin1(row.dataKey) << QString::fromLatin1(row.dataValue)
                << row.sent;
        }
    }
}

void TestCliCommands::commands() {
    QFETCH(bool, pty);
    QFETCH(QString, line);
    QFETCH(QString, message);
    QFETCH(QString, dataKey);
    QFETCH(QString, dataValue);
    QFETCH(QByteArray, sent);

    SimFleet fleet(SimOptions{}, 1);
    QString error;
    QVERIFY2(fleet.listen(0, &error), qPrintable(error));
    if (pty) {
        QVERIFY2(fleet.openPtys({}, &error), qPrintable(error));
    }
    const QString reader = target(fleet, 0, pty);
    const QString out = m_dir.filePath(QStringLiteral("upload-%1.txt").arg(pty));
    QFile::remove(out);
    line.replace(QStringLiteral("{out}"), out).replace(QStringLiteral("{image}"), m_image);
    QStringList args = line.split(QLatin1Char(' '));
    args.append(reader);

    const Outcome human = runCli(args);
    QVERIFY2(human.code == 0, qPrintable(human.out + human.err));
    QVERIFY2(human.out.startsWith(reader + QStringLiteral("  OK  ")), qPrintable(human.out));
    QVERIFY2(human.out.contains(message), qPrintable(human.out));
    if (!sent.isEmpty()) {
        // The simulator reads what the process wrote from the event loop of this test.
        QVERIFY2(QTest::qWaitFor([&] { return fleet.reader(0)->received().contains(sent); }, 2000),
                 qPrintable(QString::fromLatin1(fleet.reader(0)->received().toHex(' '))));
    }

    const Outcome json = runCli(QStringList{QStringLiteral("--json")} + args);
    QCOMPARE(json.code, 0);
    const QJsonObject result = resultOf(json.out);
    QCOMPARE(result.value(QLatin1String("target")).toString(), reader);
    QCOMPARE(result.value(QLatin1String("ok")).toBool(), true);
    QCOMPARE(result.value(QLatin1String("exit")).toString(), QStringLiteral("ok"));
    if (!dataKey.isEmpty()) {
        const QJsonValue value = result.value(QLatin1String("data")).toObject().value(dataKey);
        QCOMPARE(value.toVariant().toString(), dataValue);
    }
    if (line.startsWith(QLatin1String("upload"))) {
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count("\r\n"), 5);
    }
}

// Peer behaviour x command -> exit code 1, the reason, the step, and nothing false: no success
// and no command the run must not send.
void TestCliCommands::faults_data() {
    QTest::addColumn<QString>("command"); // the command and its options
    QTest::addColumn<int>("fault");       // FaultMode, or -1 with `options` set below
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("exit");
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("says");       // the message holds it
    QTest::addColumn<QByteArray>("notSent"); // the reader never got it

    // Acknowledgements and readings that are not what a reader sends.
    QTest::newRow("\"?\" to every command, program --expect-reply OK")
        << "program --expect-reply OK" << -1 << "ack-?"
        << "wrong-reply"
        << "program"
        << "was answered `?`, not `OK`" << QByteArray();
    QTest::newRow("empty reply, mode --expect-reply OK")
        << "mode online --expect-reply OK" << int(FaultMode::Empty) << ""
        << "wrong-reply"
        << "mode"
        << "was answered ``, not `OK`" << QByteArray();
    QTest::newRow("garbage before the time, info") << "info" << -1 << "garbage"
                                                   << "wrong-reply"
                                                   << "reader time"
                                                   << "not a date and time: `#1003" << QByteArray();
    // Records nobody uploaded are not cleared; counts that are no counts clear nothing.
    QTest::newRow("records not uploaded, clear-memory")
        << "clear-memory --yes" << -1 << ""
        << "refused"
        << "clear-memory"
        << "5 records not uploaded" << QByteArray("lc");
    QTest::newRow("empty counts, clear-memory --force")
        << "clear-memory --yes --force" << int(FaultMode::Empty) << ""
        << "wrong-reply"
        << "clear-memory"
        << "not three counts of digits" << QByteArray("lc");
    QTest::newRow("clock unread, set-time --max-drift")
        << "set-time --max-drift 2" << -1 << "silent-t"
        << "timeout"
        << "reader time"
        << "" << QByteArray("+");
    QTest::newRow("silent reader, flash --skip-if-version")
        << "flash --skip-if-version V1" << int(FaultMode::Silent) << ""
        << "timeout"
        << "firmware identification"
        << "" << QByteArray("\x02");

    QTest::newRow("silent reader, info") << "info" << int(FaultMode::Silent) << ""
                                         << "timeout"
                                         << "firmware identification"
                                         << "" << QByteArray();
    QTest::newRow("reader drops the link, program") << "program" << int(FaultMode::Close) << ""
                                                    << "link"
                                                    << "program"
                                                    << "" << QByteArray();
    QTest::newRow("empty replies, info") << "info" << int(FaultMode::Empty) << ""
                                         << "wrong-reply"
                                         << "firmware identification"
                                         << "" << QByteArray();
    QTest::newRow("connection refused, reset") << "reset" << int(FaultMode::Refuse) << ""
                                               << "refused"
                                               << "connect"
                                               << "" << QByteArray();
    QTest::newRow("loader refuses a block, flash") << "flash" << int(FaultMode::LoaderNak) << ""
                                                   << "wrong-reply"
                                                   << "flash"
                                                   << "" << QByteArray();
    QTest::newRow("reply too late, program") << "program" << -1 << "late"
                                             << "timeout"
                                             << "program"
                                             << "" << QByteArray();
    QTest::newRow("link dropped after two records, upload") << "upload" << -1 << "drop-records"
                                                            << "link"
                                                            << "upload"
                                                            << "" << QByteArray();
    QTest::newRow("flood without CR, info") << "info" << -1 << "flood"
                                            << "timeout"
                                            << "firmware identification"
                                            << "" << QByteArray();
    QTest::newRow("echo dropped, loopback") << "loopback" << -1 << "drop-echo"
                                            << "wrong-reply"
                                            << "loopback"
                                            << "" << QByteArray();
}

void TestCliCommands::faults() {
    QFETCH(QString, command);
    QFETCH(int, fault);
    QFETCH(QString, option);
    QFETCH(QString, exit);
    QFETCH(QString, step);
    QFETCH(QString, says);
    QFETCH(QByteArray, notSent);

    SimOptions options;
    if (option == QLatin1String("late")) {
        options.replyDelayMs = 700;
    } else if (option == QLatin1String("drop-records")) {
        options.recordCount = 10;
        options.closeAfterRecords = 2;
    } else if (option == QLatin1String("flood")) {
        options.streamWithoutCr = 200 * 1024;
    } else if (option == QLatin1String("drop-echo")) {
        options.dropEchoAt = 100;
    } else if (option == QLatin1String("ack-?")) {
        options.ackReply = "?";
    } else if (option == QLatin1String("garbage")) {
        options.garbageBeforeReply = "#";
    } else if (option == QLatin1String("silent-t")) {
        options.silentOnCode = "t";
    }
    QMap<int, FaultMode> faults;
    if (fault >= 0) {
        faults.insert(0, FaultMode(fault));
    }
    SimFleet fleet(options, 1, faults);
    QString error;
    QVERIFY2(fleet.listen(0, &error), qPrintable(error));
    const QString reader = target(fleet, 0, false);
    QStringList args{QStringLiteral("--json")};
    args << command.split(u' ');
    if (command.startsWith(QLatin1String("flash"))) {
        args.insert(2, m_image);
    } else if (command == QLatin1String("upload")) {
        args << QStringLiteral("--out") << m_dir.filePath(QStringLiteral("fault-upload.txt"));
    } else if (command == QLatin1String("loopback")) {
        args << QStringLiteral("--bytes") << QStringLiteral("512");
    }
    args << reader;

    const Outcome outcome = runCli(args);
    QCOMPARE(outcome.code, 1);
    const QJsonObject result = resultOf(outcome.out);
    QCOMPARE(result.value(QLatin1String("target")).toString(), reader);
    QCOMPARE(result.value(QLatin1String("ok")).toBool(true), false);
    QCOMPARE(result.value(QLatin1String("exit")).toString(), exit);
    const QString message = result.value(QLatin1String("message")).toString();
    QVERIFY2(message.startsWith(step + QStringLiteral(": ")), qPrintable(message));
    QVERIFY2(message.contains(says), qPrintable(message));
    if (option == QLatin1String("drop-records")) {
        QVERIFY2(message.contains(QLatin1String("2 records kept")), qPrintable(message));
    }
    if (!notSent.isEmpty()) {
        QTest::qWait(100); // what the process wrote last reaches the simulator
        QVERIFY2(!fleet.reader(0)->received().contains(notSent),
                 qPrintable(QString::fromLatin1(fleet.reader(0)->received().toHex(' '))));
    }
}

// 50 readers, three of them broken in different ways: those three fail, the others succeed,
// the report holds all 50 and the exit code is 1.
void TestCliCommands::fleetWithFaultyReaders() {
    const QMap<int, FaultMode> faults{
        {3, FaultMode::Silent}, {17, FaultMode::Close}, {41, FaultMode::Refuse}};
    constexpr int kReaders = 50;
    SimFleet fleet(SimOptions{}, kReaders, faults);
    QString error;
    QVERIFY2(fleet.listen(0, &error), qPrintable(error));
    const QString targets = m_dir.filePath(QStringLiteral("targets.txt"));
    {
        QFile file(targets);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("# the test fleet\n");
        for (int i = 0; i < kReaders; ++i) {
            file.write(target(fleet, i, false).toUtf8() + "\n");
        }
    }
    const Outcome outcome =
        runCli({QStringLiteral("--json"), QStringLiteral("--targets"), targets,
                QStringLiteral("--jobs"), QStringLiteral("20"), QStringLiteral("program")},
               60000);
    QVERIFY2(outcome.code == 1, qPrintable(QString::number(outcome.code) + outcome.err));
    const QJsonArray results = QJsonDocument::fromJson(outcome.out.toUtf8())
                                   .object()
                                   .value(QLatin1String("results"))
                                   .toArray();
    QCOMPARE(results.size(), kReaders);
    for (int i = 0; i < kReaders; ++i) {
        const QJsonObject result = results.at(i).toObject();
        QCOMPARE(result.value(QLatin1String("target")).toString(), target(fleet, i, false));
        QCOMPARE(result.value(QLatin1String("ok")).toBool(), !faults.contains(i));
        if (!faults.contains(i)) {
            QVERIFY(fleet.reader(i)->received().contains("X102"));
        }
    }
}

// Ctrl+C while 10 readers upload slowly: a non-zero exit, every file keeps its records so far.
void TestCliCommands::interruptFleetUpload() {
    SimOptions options;
    options.recordCount = 400;
    options.replyDelayMs = 5;
    constexpr int kReaders = 10;
    SimFleet fleet(options, kReaders);
    QString error;
    QVERIFY2(fleet.listen(0, &error), qPrintable(error));
    QTemporaryDir folder;
    QStringList args{QStringLiteral("upload"), QStringLiteral("--out"), folder.path()};
    for (int i = 0; i < kReaders; ++i) {
        args << target(fleet, i, false);
    }
    QProcess process;
    process.start(QStringLiteral(VARO_CLI_PATH), shortWaits(args));
    QVERIFY(process.waitForStarted(5000));
    QVERIFY(QTest::qWaitFor(
        [&] {
            for (int i = 0; i < kReaders; ++i) {
                if (fleet.reader(i)->received().count("l\r") < 5) {
                    return false;
                }
            }
            return true;
        },
        10000));
    ::kill(pid_t(process.processId()), SIGINT);
    QSignalSpy finished(&process, &QProcess::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QStringList files = QDir(folder.path()).entryList(QDir::Files);
    QCOMPARE(files.size(), kReaders);
    for (const QString &name : files) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const qsizetype records = file.readAll().count("\r\n");
        QVERIFY2(records >= 4 && records < 400, qPrintable(name));
    }
    QVERIFY2(out.contains(QLatin1String("interrupted")), qPrintable(out));
}

void TestCliCommands::traceGoesToStderr() {
    SimFleet fleet(SimOptions{}, 1);
    QString error;
    QVERIFY2(fleet.listen(0, &error), qPrintable(error));
    const QString reader = target(fleet, 0, false);
    const Outcome outcome = runCli({QStringLiteral("--trace"), QStringLiteral("info"), reader});
    QCOMPARE(outcome.code, 0);
    QVERIFY2(outcome.err.contains(reader), qPrintable(outcome.err));
    QVERIFY2(outcome.err.contains(QLatin1String("VARO SIM V1.0")), qPrintable(outcome.err));
    // Each line: the time of day, the target, then the wire log line.
    const QRegularExpression line(
        QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} ") + QRegularExpression::escape(reader) +
            QStringLiteral("  +\\d+\\.\\d{3} ms  to reader    .* bytes  "),
        QRegularExpression::MultilineOption);
    QVERIFY2(line.match(outcome.err).hasMatch(), qPrintable(outcome.err));
    QVERIFY(!outcome.out.contains(QLatin1String("to reader")));
}

QTEST_GUILESS_MAIN(TestCliCommands)
#include "tst_clicommands.moc"
