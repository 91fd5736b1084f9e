// varo-cli's looks before it acts, as processes against simulated readers on 127.0.0.1: the dry
// run over every command, the clock sync run twice, the guard on records not uploaded, the
// version gate, upload files that are never overwritten, and profile keys refused before
// anything is sent.

#include "clirun.h"
#include "sim/readersimulator.h"
#include "sim/simfleet.h"
#include "sim/simpty.h"
#include "sim/simtcpserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using varo::sim::SimFleet;
using varo::sim::SimOptions;

namespace {

Outcome runCli(const QStringList &arguments) {
    return runVaroCli(QStringList{QStringLiteral("--short-waits")} + arguments);
}

QJsonObject resultOf(const Outcome &outcome, int index = 0) {
    return QJsonDocument::fromJson(outcome.out.toUtf8())
        .object()
        .value(QLatin1String("results"))
        .toArray()
        .at(index)
        .toObject();
}

// The line commands a reader received, without the wake-ups.
QSet<QByteArray> lineCommands(const QByteArray &received) {
    QSet<QByteArray> commands;
    for (const QByteArray &command : received.split('\r')) {
        if (!command.isEmpty()) {
            commands.insert(command);
        }
    }
    return commands;
}

// The status where the report carries one.
void compareStatus(const QJsonObject &result, const QString &status) {
    if (result.contains(QLatin1String("status"))) {
        QCOMPARE(result.value(QLatin1String("status")).toString(), status);
    }
}

// Mode 0600: the owner reads and writes, nobody else anything.
bool isPrivate(const QFileInfo &file) {
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    return file.permissions().testFlags(QFile::ReadOwner | QFile::WriteOwner) &&
           !(file.permissions() & others);
}

QString tcpTarget(const SimFleet &fleet, int index) {
    return QStringLiteral("tcp:127.0.0.1:%1").arg(fleet.tcp(index)->port());
}

} // namespace

class TestCliChecks : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void dryRun_data();
    void dryRun();
    void clockSyncTwice();
    void guardAndUpload();
    void versionGate_data();
    void versionGate();
    void uploadFiles();
    void profileKeys();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

void TestCliChecks::initTestCase() {
    QVERIFY(m_dir.isValid());
    QFile image(path(QStringLiteral("image.bin")));
    QVERIFY(image.open(QIODevice::WriteOnly));
    image.write(QByteArray(344, 'A'));
}

void TestCliChecks::dryRun_data() {
    QTest::addColumn<QString>("line"); // {dir} is the temporary folder
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("message");

    QTest::newRow("info") << "info"
                          << "ok"
                          << "VARO SIM V1.0";
    QTest::newRow("program") << "program"
                             << "changed"
                             << "would program";
    QTest::newRow("reset") << "reset"
                           << "changed"
                           << "would reset";
    QTest::newRow("set-time") << "set-time"
                              << "changed"
                              << "would set the clock (drift ";
    QTest::newRow("clear-memory, records not uploaded") << "clear-memory --yes"
                                                        << "failed"
                                                        << "5 records not uploaded";
    QTest::newRow("clear-memory --force") << "clear-memory --yes --force"
                                          << "changed"
                                          << "would clear 5 used slots";
    QTest::newRow("restart") << "restart"
                             << "changed"
                             << "would restart";
    QTest::newRow("mode") << "mode online"
                          << "changed"
                          << "would mode";
    QTest::newRow("upload") << "upload --out {dir}/dry.txt"
                            << "ok"
                            << "would upload";
    QTest::newRow("flash") << "flash {dir}/image.bin"
                           << "changed"
                           << "would download";
    QTest::newRow("flash, version there") << "flash {dir}/image.bin --skip-if-version SIM"
                                          << "ok"
                                          << "nothing sent";
    QTest::newRow("loopback") << "loopback"
                              << "ok"
                              << "would loopback";
}

// --check reads what the command looks at and reports what it would do; the reader receives
// nothing but identification, time and memory usage, and no file is written.
void TestCliChecks::dryRun() {
    QFETCH(QString, line);
    QFETCH(QString, status);
    QFETCH(QString, message);
    SimFleet fleet(SimOptions{}, 1);
    QString error;
    QVERIFY2(fleet.listen(0, &error), qPrintable(error));
    QStringList args{QStringLiteral("--json"), QStringLiteral("--check")};
    args << line.replace(QStringLiteral("{dir}"), m_dir.path()).split(u' ');
    args << tcpTarget(fleet, 0);

    const Outcome outcome = runCli(args);
    QCOMPARE(outcome.code, status == QLatin1String("failed") ? 1 : 0);
    const QJsonObject result = resultOf(outcome);
    QVERIFY2(result.value(QLatin1String("message")).toString().contains(message),
             qPrintable(outcome.out));
    compareStatus(result, status);
    QTest::qWait(100); // what the process wrote last reaches the simulator
    const QSet<QByteArray> received = lineCommands(fleet.reader(0)->received());
    QVERIFY(received.contains("V"));
    QVERIFY2((received - QSet<QByteArray>{"V", "t", "z"}).isEmpty(),
             qPrintable(QString::fromLatin1(fleet.reader(0)->received().toHex(' '))));
    QVERIFY(!QFile::exists(path(QStringLiteral("dry.txt"))));
}

// The simulated clock starts in 2010: the first sync sets it, the second finds it within.
void TestCliChecks::clockSyncTwice() {
    SimFleet fleet(SimOptions{}, 1);
    QString error;
    QVERIFY2(fleet.listen(0, &error), qPrintable(error));
    const QStringList args{QStringLiteral("--json"), QStringLiteral("set-time"),
                           QStringLiteral("--max-drift"), QStringLiteral("2"), tcpTarget(fleet, 0)};
    const QJsonObject first = resultOf(runCli(args));
    QVERIFY(first.value(QLatin1String("ok")).toBool());
    compareStatus(first, QStringLiteral("changed"));
    const QJsonObject firstData = first.value(QLatin1String("data")).toObject();
    QVERIFY(
        firstData.value(QLatin1String("readerTimeBefore")).toString().startsWith("2010-03-05T"));
    QVERIFY(firstData.value(QLatin1String("driftSeconds")).toDouble() < -1e8);
    QVERIFY(firstData.contains(QLatin1String("timeSet")));

    const QJsonObject second = resultOf(runCli(args));
    QVERIFY(second.value(QLatin1String("ok")).toBool());
    compareStatus(second, QStringLiteral("ok"));
    const QJsonObject secondData = second.value(QLatin1String("data")).toObject();
    QVERIFY(std::abs(secondData.value(QLatin1String("driftSeconds")).toDouble(99)) <= 2);
    QVERIFY(!secondData.contains(QLatin1String("timeSet")));
    QVERIFY2(second.value(QLatin1String("message")).toString().startsWith("clock within 2 s"),
             qPrintable(second.value(QLatin1String("message")).toString()));
    QCOMPARE(fleet.reader(0)->received().count("\r+"), 1); // set once

    // info reports the clock as a moment and its offset from this computer's.
    const QJsonObject info =
        resultOf(runCli({QStringLiteral("--json"), QStringLiteral("info"), tcpTarget(fleet, 0)}))
            .value(QLatin1String("data"))
            .toObject();
    QVERIFY(
        QDateTime::fromString(info.value(QLatin1String("readerTimeIso")).toString(), Qt::ISODate)
            .isValid());
    QVERIFY(std::abs(info.value(QLatin1String("clockOffsetSeconds")).toDouble(99)) <= 2);
}

// The guard refuses while records are not uploaded; once an upload has read them, it clears.
void TestCliChecks::guardAndUpload() {
    SimFleet fleet(SimOptions{}, 1);
    QString error;
    QVERIFY2(fleet.listen(0, &error), qPrintable(error));
    const QString reader = tcpTarget(fleet, 0);
    const QStringList clear{QStringLiteral("--json"), QStringLiteral("clear-memory"),
                            QStringLiteral("--yes"), reader};
    const Outcome refused = runCli(clear);
    QCOMPARE(refused.code, 1);
    QCOMPARE(resultOf(refused).value(QLatin1String("exit")).toString(), QStringLiteral("refused"));
    QCOMPARE(resultOf(refused).value(QLatin1String("data")).toObject().value("used").toInt(), 5);

    const Outcome upload = runCli({QStringLiteral("upload"), QStringLiteral("--out"),
                                   path(QStringLiteral("guard.txt")), reader});
    QCOMPARE(upload.code, 0);
    const Outcome cleared = runCli(clear);
    QVERIFY2(cleared.code == 0, qPrintable(cleared.out));
    compareStatus(resultOf(cleared), QStringLiteral("changed"));
    QVERIFY(fleet.reader(0)->received().contains("\rlc\r"));
}

void TestCliChecks::versionGate_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("skipped");
    QTest::addColumn<bool>("pty"); // serial at 19200: the look at that rate, the loader at 9600
    QTest::newRow("the version there") << "SIM V1" << true << false;
    QTest::newRow("another version") << "V2.0" << false << false;
    QTest::newRow("another version, serial") << "V2.0" << false << true;
}

// --skip-if-version reads the identification first and, when it holds the text, sends nothing
// more.
void TestCliChecks::versionGate() {
    QFETCH(QString, version);
    QFETCH(bool, skipped);
    QFETCH(bool, pty);
    SimFleet fleet(SimOptions{}, 1);
    QString error;
    QVERIFY2(fleet.listen(0, &error), qPrintable(error));
    if (pty) {
        QVERIFY2(fleet.openPtys({}, &error), qPrintable(error));
    }
    const QString reader = pty ? QStringLiteral("serial:%1@19200").arg(fleet.pty(0)->slavePath())
                               : tcpTarget(fleet, 0);
    const Outcome outcome = runCli({QStringLiteral("--json"), QStringLiteral("flash"),
                                    path(QStringLiteral("image.bin")),
                                    QStringLiteral("--skip-if-version"), version, reader});
    QCOMPARE(outcome.code, 0);
    const QJsonObject result = resultOf(outcome);
    compareStatus(result, skipped ? QStringLiteral("ok") : QStringLiteral("changed"));
    const QJsonObject data = result.value(QLatin1String("data")).toObject();
    QCOMPARE(data.value(QLatin1String("firmwareId")).toString(), QStringLiteral("VARO SIM V1.0"));
    QCOMPARE(data.contains(QLatin1String("bytesSent")), !skipped);
    QTest::qWait(100);
    QByteArray received = fleet.reader(0)->received();
    QCOMPARE(received.replace('\r', QByteArray()) == "V", skipped);
}

// A single file is created new (an existing one only with --overwrite); a folder gets one new
// file per target and run; every file is private to its owner.
void TestCliChecks::uploadFiles() {
    SimFleet fleet(SimOptions{}, 2);
    QString error;
    QVERIFY2(fleet.listen(0, &error), qPrintable(error));
    const QString reader = tcpTarget(fleet, 0);
    const QString file = path(QStringLiteral("kept.txt"));
    QFile old(file);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("thousands of records\r\n");
    old.close();

    const Outcome refused =
        runCli({QStringLiteral("upload"), QStringLiteral("--out"), file, reader});
    QCOMPARE(refused.code, 2);
    QVERIFY2(refused.err.contains(QLatin1String("--overwrite")), qPrintable(refused.err));
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("thousands of records\r\n"));
    old.close();
    QVERIFY(fleet.reader(0)->received().isEmpty());

    const Outcome replaced = runCli({QStringLiteral("upload"), QStringLiteral("--overwrite"),
                                     QStringLiteral("--out"), file, reader});
    QCOMPARE(replaced.code, 0);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll().count("\r\n"), 5);
    QVERIFY(isPrivate(QFileInfo(file)));

    QDir folder(path(QStringLiteral("runs")));
    QVERIFY(folder.mkpath(QStringLiteral(".")));
    const Outcome many =
        runCli({QStringLiteral("--json"), QStringLiteral("upload"), QStringLiteral("--out"),
                folder.path(), tcpTarget(fleet, 0), tcpTarget(fleet, 1)});
    QCOMPARE(many.code, 0);
    const QRegularExpression name(QStringLiteral(R"(^tcp_127\.0\.0\.1_\d+-\d{8}T\d{6}Z\.txt$)"));
    const QStringList files = folder.entryList(QDir::Files);
    QCOMPARE(files.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QFileInfo written(
            resultOf(many, i).value(QLatin1String("data")).toObject().value("file").toString());
        QVERIFY2(name.match(written.fileName()).hasMatch(), qPrintable(written.fileName()));
        QVERIFY(isPrivate(written));
    }
}

// A key that names no setting stops the run before anything is sent, unless allowed; then the
// report lists it, and stderr names it with its control characters by name.
void TestCliChecks::profileKeys() {
    SimFleet fleet(SimOptions{}, 1);
    QString error;
    QVERIFY2(fleet.listen(0, &error), qPrintable(error));
    const QString profile = path(QStringLiteral("misspelt.json"));
    QFile file(profile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{\"format\": \"varo-reader-profile\", \"version\": 1,"
               " \"general\": {\"prox.enabeld\\u001b[2J\": 0}}");
    file.close();
    const QStringList args{QStringLiteral("--json"), QStringLiteral("program"),
                           QStringLiteral("--profile"), profile, tcpTarget(fleet, 0)};
    const Outcome refused = runCli(args);
    QCOMPARE(refused.code, 2);
    QVERIFY2(refused.err.contains(QLatin1String("prox.enabeld<ESC>[2J")), qPrintable(refused.err));
    QVERIFY(fleet.reader(0)->received().isEmpty());

    const Outcome allowed = runCli(QStringList{QStringLiteral("--allow-unknown-keys")} + args);
    QCOMPARE(allowed.code, 0);
    QVERIFY2(allowed.err.contains(QLatin1String("prox.enabeld<ESC>[2J")), qPrintable(allowed.err));
    QVERIFY(!allowed.err.contains(QChar(0x1b)));
    const QJsonObject data = resultOf(allowed).value(QLatin1String("data")).toObject();
    QCOMPARE(data.value(QLatin1String("unknownKeys")).toArray().size(), 1);
    QVERIFY(!data.value(QLatin1String("missingKeys")).toArray().isEmpty());
    QCOMPARE(data.value(QLatin1String("replySummary")).toObject().value("OK").toInt(), 49);
}

QTEST_GUILESS_MAIN(TestCliChecks)
#include "tst_clichecks.moc"
