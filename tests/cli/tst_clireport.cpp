#include "cli/exitcodes.h"
#include "cli/report.h"

#include <QJsonArray>
#include <QTest>
#include <QTextStream>

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
};

void TestCliReport::lines_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ok") << "Firmware VARO V2.31" << true
                        << "tcp:h:1  OK  Firmware VARO V2.31  1.24 s";
    QTest::newRow("failed") << "Reader timeout at step V" << false
                            << "tcp:h:1  FAILED  Reader timeout at step V  1.24 s";
    QTest::newRow("no message") << "" << true << "tcp:h:1  OK  1.24 s";
    // Text from a reader cannot move the cursor, clear the screen or split the line.
    QTest::newRow("control characters")
        << "A\x1b[2JB\r\nC\tD" << true << "tcp:h:1  OK  A [2JB C D  1.24 s";
}

void TestCliReport::lines() {
    QFETCH(QString, message);
    QFETCH(bool, ok);
    QFETCH(QString, expected);
    QCOMPARE(
        varo::cli::resultLine(
            {.target = QStringLiteral("tcp:h:1"), .ok = ok, .message = message, .seconds = 1.236}),
        expected);
}

void TestCliReport::humanOutput_data() {
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<QStringList>("expected"); // lines on stdout, summary without its seconds
    QTest::newRow("normal") << false
                            << QStringList{"serial:2  FAILED  Reader timeout  5.00 s",
                                           "tcp:h:1  OK  VARO V2.31  1.23 s",
                                           "1 of 2 targets OK, 1 FAILED, "};
    QTest::newRow("quiet") << true << QStringList{"serial:2  FAILED  Reader timeout  5.00 s"};
}

void TestCliReport::humanOutput() {
    QFETCH(bool, quiet);
    QFETCH(QStringList, expected);
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    Reporter reporter(QStringLiteral("info"),
                      {QStringLiteral("tcp:h:1"), QStringLiteral("serial:2")},
                      {false, quiet, false}, outStream, errStream);
    reporter.add(failedResult(QStringLiteral("serial:2")));
    reporter.add(okResult(QStringLiteral("tcp:h:1")));
    QCOMPARE(reporter.finish(), varo::cli::kExitFailed);
    QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!quiet) {
        QVERIFY(lines.last().endsWith(QLatin1String(" s")));
        lines.last() = lines.last().section(QLatin1Char(','), 0, 1) + QStringLiteral(", ");
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
                      {QStringLiteral("tcp:h:1"), QStringLiteral("serial:2")}, {true, false, false},
                      outStream, errStream);
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
    QCOMPARE(summary.value(QLatin1String("failed")).toInt(), 0);
    const QJsonArray results = root.value(QLatin1String("results")).toArray();
    QCOMPARE(results.size(), 2);
    // In the order the targets were given, whatever the order they finished in.
    QCOMPARE(results[0].toObject().value(QLatin1String("target")).toString(),
             QStringLiteral("tcp:h:1"));
    const QJsonObject first = results[0].toObject();
    QCOMPARE(QStringList(first.keys()),
             (QStringList{"data", "exit", "message", "ok", "seconds", "target"}));
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
                      {QStringLiteral("tcp:h:1"), QStringLiteral("tcp:h:2")}, {true, false, false},
                      outStream, errStream);
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
                          {false, false, progress}, outStream, errStream);
        reporter.progress(QStringLiteral("serial:2"), QStringLiteral("42 %"));
        reporter.add(okResult(QStringLiteral("serial:2")));
        QVERIFY(!out.contains(QLatin1String("42 %")));
        QCOMPARE(err.contains(QLatin1String("serial:2  42 %")), progress);
        // The progress line is wiped before the result line is printed.
        QCOMPARE(err.endsWith(QLatin1String("\r\x1b[K")), progress);
    }
}

QTEST_GUILESS_MAIN(TestCliReport)
#include "tst_clireport.moc"
