// varo-cli over a simulated fleet with faulty readers among them: every report format read by
// the parser its consumers use, the retry file fed back, rollouts in batches, and reports that
// cannot be written.

#include "clirun.h"
#include "sim/readersimulator.h"
#include "sim/simfleet.h"
#include "sim/simtcpserver.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using varo::sim::FaultMode;
using varo::sim::SimFleet;

namespace {

constexpr int kReaders = 5;
constexpr int kSilent = 2;      // a reader that never answers: "failed"
constexpr int kUnreachable = 5; // a closed port: "unreachable"

} // namespace

class TestCliFleet : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void reportsReadByTheirParsers();
    void retryFileRunsTheFailedAgain();
    void batches_data();
    void batches();
    void unwritableOutputFails_data();
    void unwritableOutputFails();

private:
    QStringList targets(const QList<int> &indexes) const;
    QJsonObject parseReports(const QStringList &arguments);
    Outcome runJsonl(const QStringList &arguments);

    SimFleet m_fleet{varo::sim::SimOptions{}, kReaders, {{kSilent, FaultMode::Silent}}};
    QStringList m_targets; // reader i, then the closed port
    QTemporaryDir m_dir;
};

void TestCliFleet::initTestCase() {
    QString error;
    QVERIFY2(m_fleet.listen(0, &error), qPrintable(error));
    for (int i = 0; i < kReaders; ++i) {
        m_targets.append(QStringLiteral("tcp:127.0.0.1:%1").arg(m_fleet.tcp(i)->port()));
    }
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    m_targets.append(QStringLiteral("tcp:127.0.0.1:%1").arg(closed.serverPort()));
    closed.close();
    if (!QFile::exists(QStringLiteral(VARO_TEST_PYTHON))) {
        QSKIP("no /usr/bin/python3 for the report parsers");
    }
}

void TestCliFleet::init() {
    for (int i = 0; i < kReaders; ++i) {
        m_fleet.reader(i)->clearReceived();
    }
}

QStringList TestCliFleet::targets(const QList<int> &indexes) const {
    QStringList list;
    for (const int index : indexes) {
        list.append(m_targets.at(index));
    }
    return list;
}

// The helper's view of the reports named in `arguments` (--jsonl, --junit, ...).
QJsonObject TestCliFleet::parseReports(const QStringList &arguments) {
    QProcess helper;
    helper.start(QStringLiteral(VARO_TEST_PYTHON),
                 QStringList{QStringLiteral(VARO_REPORT_PARSER)} + arguments);
    if (!helper.waitForFinished(30000) || helper.exitCode() != 0) {
        qWarning().noquote() << helper.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(helper.readAllStandardOutput()).object();
}

// A jsonl run, its stream kept in out.jsonl for the helper.
Outcome TestCliFleet::runJsonl(const QStringList &arguments) {
    const Outcome outcome =
        runVaroCli(QStringList{QStringLiteral("--short-waits"), QStringLiteral("--format"),
                               QStringLiteral("jsonl")} +
                   arguments);
    QFile file(m_dir.filePath(QStringLiteral("out.jsonl")));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(outcome.out.toUtf8());
    }
    return outcome;
}

void TestCliFleet::reportsReadByTheirParsers() {
    const QString junit = m_dir.filePath(QStringLiteral("junit.xml"));
    const QString metrics = m_dir.filePath(QStringLiteral("varo.prom"));
    const QString retry = m_dir.filePath(QStringLiteral("retry.txt"));
    const Outcome outcome = runJsonl(
        QStringList{"--junit", junit, "--metrics", metrics, "--retry-file", retry, "info"} +
        m_targets);
    QCOMPARE(outcome.code, 1);
    const QJsonObject reports =
        parseReports({"--jsonl", m_dir.filePath(QStringLiteral("out.jsonl")), "--junit", junit,
                      "--metrics", metrics, "--retry", retry});
    QVERIFY(!reports.isEmpty());

    const QString silent = m_targets[kSilent];
    const QString unreachable = m_targets[kUnreachable];
    const QJsonObject jsonl = reports[QLatin1String("jsonl")].toObject();
    QStringList events;
    for (const QJsonValue &event : jsonl[QLatin1String("events")].toArray()) {
        events.append(event.toString());
    }
    QCOMPARE(events, QStringList({"start", "result", "result", "result", "result", "result",
                                  "result", "summary"}));
    const QJsonObject statuses = jsonl[QLatin1String("results")].toObject();
    const QJsonObject cases = reports[QLatin1String("junit")][QLatin1String("cases")].toObject();
    const QJsonObject metric = reports[QLatin1String("metrics")].toObject();
    const auto value = [&metric](const char *name, const QString &target) {
        return metric[QLatin1String(name)].toObject().value(target).toDouble(-1);
    };
    for (const QString &target : m_targets) {
        const bool ok = target != silent && target != unreachable;
        const QString status = ok                      ? QStringLiteral("ok")
                               : target == unreachable ? QStringLiteral("unreachable")
                                                       : QStringLiteral("failed");
        QCOMPARE(statuses[target].toString(), status);
        QCOMPARE(cases[target].toString(),
                 ok ? QStringLiteral("passed")
                 : target == unreachable
                     ? QStringLiteral("failure:unreachable:connect")
                     : QStringLiteral("failure:failed:firmware identification"));
        // A reader that never answers is not up, even behind a converter that accepts.
        QCOMPARE(value("varo_reader_up", target), ok ? 1.0 : 0.0);
        QCOMPARE(value("varo_operation_success", target), ok ? 1.0 : 0.0);
        QCOMPARE(value("varo_reader_memory_slots/used", target), ok ? 5.0 : -1.0);
        QVERIFY(value("varo_operation_duration_seconds", target) >= 0);
        QVERIFY(value("varo_operation_last_run_timestamp_seconds", target) > 1.5e9);
    }
    const QJsonObject summary = jsonl[QLatin1String("summary")].toObject();
    QCOMPARE(summary[QLatin1String("ok")].toInt(), kReaders - 1);
    QCOMPARE(summary[QLatin1String("failed")].toInt(), 1);
    QCOMPARE(summary[QLatin1String("unreachable")].toInt(), 1);
    QCOMPARE(summary[QLatin1String("exitCode")].toInt(), 1);
    QCOMPARE(reports[QLatin1String("junit")][QLatin1String("failures")].toInt(), 2);
    QCOMPARE(reports[QLatin1String("retry")].toArray(),
             QJsonArray({m_targets[kSilent], m_targets[kUnreachable]}));
}

// The retry file is a targets file: the second run touches only the readers that failed.
void TestCliFleet::retryFileRunsTheFailedAgain() {
    const QString retry = m_dir.filePath(QStringLiteral("again.txt"));
    QCOMPARE(runJsonl(QStringList{"--retry-file", retry, "info"} + m_targets).code, 1);
    init();
    const Outcome again = runJsonl({"--retry-file", retry, "info", "--targets", retry});
    QCOMPARE(again.code, 1);
    const QJsonObject reports =
        parseReports({"--jsonl", m_dir.filePath(QStringLiteral("out.jsonl")), "--retry", retry});
    QStringList ran = reports[QLatin1String("jsonl")][QLatin1String("results")].toObject().keys();
    ran.sort();
    QStringList expected{m_targets[kSilent], m_targets[kUnreachable]};
    expected.sort();
    QCOMPARE(ran, expected);
    for (int i = 0; i < kReaders; ++i) {
        QCOMPARE(m_fleet.reader(i)->received().isEmpty(), i != kSilent);
    }
    // Still failing: still in the retry file.
    QCOMPARE(reports[QLatin1String("retry")].toArray().size(), 2);
}

void TestCliFleet::batches_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QList<int>>("order");   // targets, in the order given
    QTest::addColumn<QList<int>>("batchOf"); // each target's batch
    QTest::addColumn<QList<int>>("skipped");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("canary, then too many fail")
        << QStringList{"--batch", "1,2", "--max-fail-percent", "20"} << QList<int>{0, 2, 1, 3, 4, 5}
        << QList<int>{0, 1, 1, 2, 2, 3} << QList<int>{3, 4, 5} << 1;
    QTest::newRow("failing canary stops at once")
        << QStringList{"--batch", "1,100%", "--max-fail-percent", "0"} << QList<int>{2, 0, 1, 3}
        << QList<int>{0, 1, 1, 1} << QList<int>{0, 1, 3} << 1;
    QTest::newRow("under the threshold runs on")
        << QStringList{"--batch", "2", "--max-fail-percent", "50"} << QList<int>{0, 1, 2, 3, 4, 5}
        << QList<int>{0, 0, 1, 1, 2, 2} << QList<int>{} << 1;
    QTest::newRow("all good") << QStringList{"--batch", "1,50%", "--max-fail-percent", "0"}
                              << QList<int>{0, 1, 3, 4} << QList<int>{0, 1, 1, 2} << QList<int>{}
                              << 0;
}

void TestCliFleet::batches() {
    QFETCH(QStringList, options);
    QFETCH(QList<int>, order);
    QFETCH(QList<int>, batchOf);
    QFETCH(QList<int>, skipped);
    QFETCH(int, exitCode);
    const Outcome outcome = runJsonl(options + QStringList{"info"} + targets(order));
    QCOMPARE(outcome.code, exitCode);
    // The results in the order they ended: a batch ends before the next begins.
    int lastBatch = 0;
    for (const QString &line : outcome.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QJsonObject result = QJsonDocument::fromJson(line.toUtf8()).object();
        const qsizetype place =
            order.indexOf(int(m_targets.indexOf(result[QLatin1String("target")].toString())));
        if (place < 0) {
            continue; // start and summary
        }
        const int index = order[place];
        QVERIFY2(batchOf[place] >= lastBatch, qPrintable(line));
        lastBatch = batchOf[place];
        QCOMPARE(result[QLatin1String("status")].toString() == QLatin1String("skipped"),
                 skipped.contains(index));
        if (index < kReaders) {
            QCOMPARE(m_fleet.reader(index)->received().isEmpty(), skipped.contains(index));
        }
    }
}

void TestCliFleet::unwritableOutputFails_data() {
    QTest::addColumn<QStringList>("arguments"); // {t} is a good reader
    QTest::addColumn<bool>("fullStdout");
    QTest::addColumn<QString>("message");
    QTest::newRow("text") << QStringList{"info", "{t}"} << true << "cannot write to stdout";
    QTest::newRow("json") << QStringList{"--json", "info", "{t}"} << true
                          << "cannot write to stdout";
    QTest::newRow("jsonl") << QStringList{"--format", "jsonl", "info", "{t}"} << true
                           << "cannot write to stdout";
    QTest::newRow("ports") << QStringList{"ports", "--json"} << true << "cannot write to stdout";
    // A folder no file can be made in, even by root.
    QTest::newRow("metrics") << QStringList{"--metrics", "/proc/varo.prom", "info", "{t}"} << false
                             << "cannot write the metrics /proc/varo.prom";
}

void TestCliFleet::unwritableOutputFails() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, fullStdout);
    QFETCH(QString, message);
    arguments.replaceInStrings(QStringLiteral("{t}"), m_targets[0]);
    QProcess process;
    process.setStandardOutputFile(fullStdout ? QStringLiteral("/dev/full")
                                             : QProcess::nullDevice());
    process.start(QStringLiteral(VARO_CLI_PATH),
                  QStringList{QStringLiteral("--short-waits")} + arguments);
    QVERIFY(process.waitForStarted());
    QSignalSpy finished(&process, &QProcess::finished);
    QVERIFY(finished.wait(20000));
    QCOMPARE(process.exitCode(), 1);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(err.contains(message), qPrintable(err));
}

QTEST_GUILESS_MAIN(TestCliFleet)
#include "tst_clifleet.moc"
