#include "cli/batches.h"
#include "cli/compactjson.h"
#include "cli/exitcodes.h"
#include "cli/report.h"
#include "cli/reportfiles.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTest>
#include <QTextStream>

#include <QXmlStreamReader>
#include <limits>

using varo::cli::OutputFormat;
using varo::cli::Reason;
using varo::cli::Reporter;
using varo::cli::TargetResult;

namespace {

TargetResult okResult(const QString &target) {
    TargetResult result{.target = target,
                        .ok = true,
                        .exit = Reason::Ok,
                        .message = QStringLiteral("VARO V2.31"),
                        .seconds = 1.234};
    result.data.firmwareId = QStringLiteral("VARO V2.31");
    return result;
}

TargetResult failedResult(const QString &target) {
    return {.target = target,
            .ok = false,
            .exit = Reason::Timeout,
            .message = QStringLiteral("Reader timeout"),
            .seconds = 5.0};
}

} // namespace

class TestCliReport : public QObject {
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void humanOutput_data();
    void humanOutput();
    void jsonDocument();
    void missingTargetsFail();
    void progressOnlyWhenAsked();
    void jsonlStreamsEachTargetAsItEnds();
    void batchSizes_data();
    void batchSizes();
    void manyTargetsReportInLinearTime();
    void reportFilesKeepHostileTextInert();
    void compactJsonIsWhatQtWrites();
};

void TestCliReport::lines_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ok") << "Firmware VARO V2.31" << true
                        << "tcp:h:1  OK  Firmware VARO V2.31  1.24 s  ok";
    QTest::newRow("failed") << "Reader timeout at step V" << false
                            << "tcp:h:1  FAILED  Reader timeout at step V  1.24 s  failed";
    QTest::newRow("no message") << "" << true << "tcp:h:1  OK  1.24 s  ok";
    // Text from a reader cannot move the cursor, clear the screen or split the line.
    QTest::newRow("control characters")
        << "A\x1b[2JB\r\nC\tD" << true << "tcp:h:1  OK  A<ESC>[2JB<CR><LF>C<HT>D  1.24 s  ok";
}

void TestCliReport::lines() {
    QFETCH(QString, message);
    QFETCH(bool, ok);
    QFETCH(QString, expected);
    TargetResult result{.target = QStringLiteral("tcp:h:1"),
                        .ok = ok,
                        .exit = ok ? Reason::Ok : Reason::Timeout,
                        .message = message,
                        .seconds = 1.236};
    result.status = varo::cli::statusFor(result);
    QCOMPARE(varo::cli::resultLine(result), expected);
}

void TestCliReport::humanOutput_data() {
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<QStringList>("expected"); // lines on stdout, summary without its seconds
    QTest::newRow("normal") << false
                            << QStringList{"serial:2  FAILED  Reader timeout  5.00 s  failed",
                                           "tcp:h:1  OK  VARO V2.31  1.23 s  ok",
                                           "1 of 2 targets OK, 1 FAILED, ; 1 ok, 1 failed"};
    QTest::newRow("quiet") << true
                           << QStringList{"serial:2  FAILED  Reader timeout  5.00 s  failed"};
}

void TestCliReport::humanOutput() {
    QFETCH(bool, quiet);
    QFETCH(QStringList, expected);
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    Reporter reporter(QStringLiteral("info"),
                      {QStringLiteral("tcp:h:1"), QStringLiteral("serial:2")}, {.quiet = quiet},
                      outStream, errStream);
    reporter.add(failedResult(QStringLiteral("serial:2")));
    reporter.add(okResult(QStringLiteral("tcp:h:1")));
    QCOMPARE(reporter.finish(), varo::cli::kExitFailed);
    QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!quiet) {
        // Without the seconds.
        lines.last().remove(QRegularExpression(QStringLiteral("\\d+\\.\\d\\d s")));
    }
    QCOMPARE(lines, expected);
    QVERIFY(err.isEmpty());
}

void TestCliReport::jsonDocument() {
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    Reporter reporter(QStringLiteral("info"),
                      {QStringLiteral("tcp:h:1"), QStringLiteral("serial:2")},
                      {.format = OutputFormat::Json}, outStream, errStream);
    reporter.add(okResult(QStringLiteral("serial:2")));
    QCOMPARE(out, QString()); // nothing but the document, and only at the end
    reporter.add(okResult(QStringLiteral("tcp:h:1")));
    QCOMPARE(reporter.finish(), varo::cli::kExitOk);

    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(out.toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonObject root = document.object();
    QCOMPARE(root.value(QLatin1String("tool")).toString(), QStringLiteral("varo-cli"));
    QCOMPARE(root.value(QLatin1String("command")).toString(), QStringLiteral("info"));
    QCOMPARE(root.value(QLatin1String("ok")).toBool(), true);
    QCOMPARE(root.value(QLatin1String("exitCode")).toInt(), 0);
    QVERIFY(root.value(QLatin1String("seconds")).isDouble());
    const QJsonObject summary = root.value(QLatin1String("summary")).toObject();
    QCOMPARE(summary.value(QLatin1String("targets")).toInt(), 2);
    QCOMPARE(summary.value(QLatin1String("ok")).toInt(), 2);
    QCOMPARE(summary.value(QLatin1String("failed")).toInt(), 0);
    QCOMPARE(summary.value(QLatin1String("skipped")).toInt(), 0);
    const QJsonArray results = root.value(QLatin1String("results")).toArray();
    QCOMPARE(results.size(), 2);
    // In the order the targets were given, whatever the order they finished in.
    QCOMPARE(results[0].toObject().value(QLatin1String("target")).toString(),
             QStringLiteral("tcp:h:1"));
    const QJsonObject first = results[0].toObject();
    QCOMPARE(QStringList(first.keys()),
             (QStringList{"data", "exit", "message", "ok", "seconds", "status", "step", "target"}));
    QCOMPARE(first.value(QLatin1String("status")).toString(), QStringLiteral("ok"));
    QCOMPARE(first.value(QLatin1String("exit")).toString(), QStringLiteral("ok"));
    QCOMPARE(first.value(QLatin1String("seconds")).toDouble(), 1.234);
    QCOMPARE(first.value(QLatin1String("data")).toObject().value(QLatin1String("firmwareId")),
             QJsonValue(QStringLiteral("VARO V2.31")));
}

// A run that ends before every target has a result is a failure, and the report still names
// every target.
void TestCliReport::missingTargetsFail() {
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    Reporter reporter(QStringLiteral("upload"),
                      {QStringLiteral("tcp:h:1"), QStringLiteral("tcp:h:2")},
                      {.format = OutputFormat::Json}, outStream, errStream);
    reporter.add(okResult(QStringLiteral("tcp:h:1")));
    QCOMPARE(reporter.finish(), varo::cli::kExitFailed);
    const auto results = reporter.results();
    QCOMPARE(results.size(), 2);
    QCOMPARE(results[1].target, QStringLiteral("tcp:h:2"));
    QCOMPARE(results[1].ok, false);
    QCOMPARE(results[1].exit, Reason::Interrupted);

    Reporter none(QStringLiteral("info"), {}, {}, outStream, errStream);
    QCOMPARE(none.finish(), varo::cli::kExitFailed);
}

void TestCliReport::progressOnlyWhenAsked() {
    for (const bool progress : {false, true}) {
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        Reporter reporter(QStringLiteral("flash"), {QStringLiteral("serial:2")},
                          {.progress = progress}, outStream, errStream);
        reporter.progress(QStringLiteral("serial:2"), QStringLiteral("42 %"));
        reporter.add(okResult(QStringLiteral("serial:2")));
        QVERIFY(!out.contains(QLatin1String("42 %")));
        QCOMPARE(err.contains(QLatin1String("serial:2  42 %")), progress);
        // The progress line is wiped before the result line is printed.
        QCOMPARE(err.endsWith(QLatin1String("\r\x1b[K")), progress);
    }
}

// A start line at once, each result as it is added (a follower sees it before the run ends),
// a summary line with the counts per status.
void TestCliReport::jsonlStreamsEachTargetAsItEnds() {
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    Reporter reporter(
        QStringLiteral("info"),
        {QStringLiteral("tcp:h:1"), QStringLiteral("serial:2"), QStringLiteral("tcp:h:3")},
        {.format = OutputFormat::Jsonl}, outStream, errStream);
    reporter.begin();
    QCOMPARE(out.count(QLatin1Char('\n')), 1);
    reporter.add(failedResult(QStringLiteral("serial:2")));
    QCOMPARE(out.count(QLatin1Char('\n')), 2);
    reporter.add(okResult(QStringLiteral("tcp:h:1")));
    QCOMPARE(reporter.finish(), varo::cli::kExitFailed);

    QList<QJsonObject> lines;
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QJsonParseError error{};
        lines.append(QJsonDocument::fromJson(line.toUtf8(), &error).object());
        QCOMPARE(error.error, QJsonParseError::NoError);
    }
    const auto field = [&lines](int line, const char *key) {
        return lines[line].value(QLatin1String(key)).toVariant().toString();
    };
    QCOMPARE(lines.size(), 5);
    QCOMPARE(field(0, "event") + field(0, "command") + field(0, "targets") + field(0, "check"),
             QStringLiteral("startinfo3false"));
    QCOMPARE(field(1, "event") + field(1, "target") + field(1, "status"),
             QStringLiteral("resultserial:2failed"));
    QCOMPARE(field(2, "status"), QStringLiteral("ok"));
    // The one without a result, in the order they ended.
    QCOMPARE(field(3, "target") + field(3, "status"), QStringLiteral("tcp:h:3interrupted"));
    QCOMPARE(field(4, "event") + field(4, "targets") + field(4, "ok") + field(4, "failed") +
                 field(4, "interrupted") + field(4, "exitCode"),
             QStringLiteral("summary31111"));
    QVERIFY(lines[4].value(QLatin1String("seconds")).isDouble());
}

void TestCliReport::batchSizes_data() {
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("targets");
    QTest::addColumn<QList<int>>("batches"); // the sizes until every target is in one
    QTest::newRow("canary then rest") << "1,100%" << 5 << QList<int>{1, 5};
    QTest::newRow("last repeats") << "1,2" << 7 << QList<int>{1, 2, 2, 2};
    QTest::newRow("percent rounds up") << "10%" << 25 << QList<int>{3, 3, 3, 3, 3, 3, 3, 3, 3};
    QTest::newRow("tiny percent is one") << "1%" << 3 << QList<int>{1, 1, 1};
    QTest::newRow("mixed") << "1,10%,100%" << 40 << QList<int>{1, 4, 40};
}

void TestCliReport::batchSizes() {
    QFETCH(QString, list);
    QFETCH(int, targets);
    QFETCH(QList<int>, batches);
    const auto parsed = varo::cli::parseBatchList(list);
    QVERIFY2(parsed.sizes, qPrintable(parsed.error));
    QList<int> sizes;
    for (qsizetype covered = 0, index = 0; covered < targets; ++index) {
        sizes.append(int(varo::cli::batchSize(*parsed.sizes, index, targets)));
        covered += sizes.last();
    }
    QCOMPARE(sizes, batches);
}

// 40,000 targets once took 13 s to report; the report keeps each result by its target.
void TestCliReport::manyTargetsReportInLinearTime() {
    constexpr int kTargets = 40000;
    QStringList targets;
    for (int i = 0; i < kTargets; ++i) {
        targets.append(QStringLiteral("tcp:h:%1").arg(i + 1));
    }
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    QElapsedTimer clock;
    clock.start();
    Reporter reporter(QStringLiteral("info"), targets, {.format = OutputFormat::Json}, outStream,
                      errStream);
    for (int i = kTargets - 1; i >= kTargets / 2; --i) {
        reporter.add(okResult(targets[i]));
    }
    QCOMPARE(reporter.finish(), varo::cli::kExitFailed);
    QCOMPARE(reporter.results().size(), kTargets);
    QCOMPARE(reporter.results().first().target, targets.first());
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
}

// Text from a reader or a targets file can neither break the XML nor forge a metric line.
void TestCliReport::reportFilesKeepHostileTextInert() {
    TargetResult result = failedResult(QStringLiteral("serial:/dev/a\"b\\c\x1b"));
    result.message = QStringLiteral("bad \x01\x1b[2J reply");
    result.status = varo::cli::Status::Failed;
    result.exit = varo::cli::Reason::WrongReply; // the reader answered
    result.endedAt = 1;
    const QByteArray xml =
        varo::cli::junitXml(QStringLiteral("info"), {result}, 1.0, QDateTime::currentDateTimeUtc());
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
    }
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
    QVERIFY(xml.contains("bad &lt;SOH&gt;&lt;ESC&gt;[2J reply"));
    const QByteArray metrics = varo::cli::prometheusMetrics(QStringLiteral("info"), {result});
    QVERIFY2(metrics.contains("varo_reader_up{target=\"serial:/dev/a\\\"b\\\\c<ESC>\","
                              "command=\"info\"} 1\n"),
             metrics.constData());
}

// The jsonl lines are written without Qt's writer; they must stay byte for byte its output.
void TestCliReport::compactJsonIsWhatQtWrites() {
    const QString awkward = QStringLiteral("q\"b\\s/\b\f\n\r\t") + QChar(0x01) + QChar(0x1F) +
                            QChar(0x7F) + QStringLiteral("é€") +
                            QString::fromUtf8("\xF0\x9F\x93\x9F");
    const QJsonObject nested{{QStringLiteral("used"), 5}, {QStringLiteral("big"), qint64(1) << 53}};
    const QJsonObject object{
        {QStringLiteral("text"), awkward},
        {QStringLiteral("empty"), QString()},
        {QStringLiteral("zero"), 0},
        {QStringLiteral("negative"), -1},
        {QStringLiteral("wholeDouble"), 1e6},
        {QStringLiteral("offset"), -528951057.0},
        {QStringLiteral("fraction"), 0.1},
        {QStringLiteral("seconds"), 0.828891757},
        {QStringLiteral("tiny"), 1e-7},
        {QStringLiteral("infinite"), std::numeric_limits<double>::infinity()},
        {QStringLiteral("yes"), true},
        {QStringLiteral("no"), false},
        {QStringLiteral("nothing"), QJsonValue::Null},
        {QStringLiteral("data"), nested},
        {QStringLiteral("none"), QJsonObject()},
        {QStringLiteral("list"), QJsonArray{1, 2.5, QStringLiteral("x"), QJsonArray(), nested}},
        {QStringLiteral("ümlaut key"), 3},
    };
    QCOMPARE(varo::cli::compactJson(object), QJsonDocument(object).toJson(QJsonDocument::Compact));
    QCOMPARE(varo::cli::compactJson({}),
             QJsonDocument(QJsonObject()).toJson(QJsonDocument::Compact));

    // The result line, built field by field, is the result's JSON with its event.
    TargetResult failed = failedResult(QStringLiteral("tcp:höst\"1:57"));
    failed.message = QStringLiteral("no\nway");
    failed.step = QStringLiteral("connect");
    failed.seconds = 0.828891757;
    TargetResult ok = okResult(QStringLiteral("tcp:h:2"));
    ok.data.clockOffsetSeconds = -528951057;
    for (TargetResult r : {failed, ok}) {
        r.status = varo::cli::statusFor(r);
        QJsonObject object = varo::cli::resultJson(r);
        object.insert(QStringLiteral("event"), QStringLiteral("result"));
        QCOMPARE(varo::cli::resultJsonLine(r),
                 QJsonDocument(object).toJson(QJsonDocument::Compact));
    }
}

QTEST_GUILESS_MAIN(TestCliReport)
#include "tst_clireport.moc"
