#include "cli/arguments.h"
#include "cli/commandtable.h"

#include <QJsonObject>
#include <QTest>

using namespace varo::cli;
using varo::link::OperationData;
using varo::link::OperationResult;
using varo::link::ResultCode;

Q_DECLARE_METATYPE(varo::cli::Command)
Q_DECLARE_METATYPE(varo::link::ResultCode)
Q_DECLARE_METATYPE(varo::link::OperationData)

// The rows varo-cli runs its commands from, and the verdicts they give the engines' results.
class TestCliCommandTable : public QObject {
    Q_OBJECT
private slots:
    void everyCommandHasOneRow();
    void verdicts_data();
    void verdicts();
};

void TestCliCommandTable::everyCommandHasOneRow() {
    const QString usage = usageText();
    for (int c = int(Command::Ports); c <= int(Command::Loopback); ++c) {
        const Command command = Command(c);
        const CommandRow &row = commandRow(command);
        QCOMPARE(row.command, command);
        QCOMPARE(commandFromName(commandName(command)), command);
        QVERIFY2(usage.contains(QLatin1String(row.usage)), row.name);
        // Only ports runs on no link.
        QCOMPARE(row.make == nullptr, command == Command::Ports);
        QCOMPARE(row.answer != nullptr, command == Command::Ports);
    }
    QCOMPARE(qsizetype(commandRows().size()), qsizetype(Command::Loopback) + 1);
}

void TestCliCommandTable::verdicts_data() {
    QTest::addColumn<Command>("command");
    QTest::addColumn<ResultCode>("engine");
    QTest::addColumn<QString>("engineMessage");
    QTest::addColumn<OperationData>("data");
    QTest::addColumn<ResultCode>("code");
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("message");

    OperationData info;
    info.firmwareId = QStringLiteral("VARO V2");
    info.readerTime = QStringLiteral("2010-03-05 14:02:33");
    info.memory = varo::link::MemoryCounts{32000, 5, 1, "32000,5,1"};
    info.step = 2;
    QTest::newRow("info")
        << Command::Info << ResultCode::Ok << "" << info << ResultCode::Ok << "memory usage"
        << "VARO V2; time 2010-03-05 14:02:33; memory 5 used of 32000, 1 uploaded";
    OperationData blank = info;
    blank.firmwareId = QStringLiteral("  ");
    QTest::newRow("info, blank identification")
        << Command::Info << ResultCode::Ok << "" << blank << ResultCode::WrongReply
        << "firmware identification"
        << "empty reply";
    OperationData atTime;
    atTime.step = 1;
    QTest::newRow("info, no time") << Command::Info << ResultCode::Timeout << "No response"
                                   << atTime << ResultCode::Timeout << "reader time"
                                   << "No response";
    OperationData echoes;
    echoes.echo = varo::link::EchoCounts{512, 2, QStringLiteral(" 65: timeout")};
    QTest::newRow("loopback, echo errors") << Command::Loopback << ResultCode::Ok << "" << echoes
                                           << ResultCode::WrongReply << "loopback"
                                           << "2 echo errors, first: 65: timeout";
    QTest::newRow("loopback, stopped") << Command::Loopback << ResultCode::Cancelled << "" << echoes
                                       << ResultCode::Cancelled << "loopback"
                                       << "65: timeout";
    QTest::newRow("silent success") << Command::Restart << ResultCode::Ok << "" << OperationData{}
                                    << ResultCode::Ok << "restart"
                                    << "restart done";
    QTest::newRow("silent failure") << Command::Program << ResultCode::LinkError << ""
                                    << OperationData{} << ResultCode::LinkError << "program"
                                    << "failed";
}

void TestCliCommandTable::verdicts() {
    QFETCH(Command, command);
    QFETCH(ResultCode, engine);
    QFETCH(QString, engineMessage);
    QFETCH(OperationData, data);
    QFETCH(ResultCode, code);
    QFETCH(QString, step);
    QFETCH(QString, message);
    const Verdict verdict = judge(commandRow(command), {engine, engineMessage}, data);
    QCOMPARE(verdict.result.code, code);
    QCOMPARE(verdict.step, step);
    QCOMPARE(verdict.result.message, message);
}

QTEST_GUILESS_MAIN(TestCliCommandTable)
#include "tst_clicommandtable.moc"
