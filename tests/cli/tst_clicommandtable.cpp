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
Q_DECLARE_METATYPE(varo::cli::Plan::Action)

// The rows varo-cli runs its commands from, and the verdicts they give the engines' results.
class TestCliCommandTable : public QObject {
    Q_OBJECT
private slots:
    void everyCommandHasOneRow();
    void verdicts_data();
    void verdicts();
    void plans_data();
    void plans();
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
    QTest::addColumn<QString>("expectReply"); // empty: no --expect-reply

    OperationData info;
    info.firmwareId = QStringLiteral("VARO V2");
    info.readerTime = QStringLiteral("2010-03-05 14:02:33");
    info.readerTimeReply = "100305140233";
    info.readerClock = QDateTime(QDate(2010, 3, 5), QTime(14, 2, 33), Qt::UTC);
    info.memory = varo::link::MemoryCounts{32000, 5, 1, "320000000500001"};
    info.step = 2;
    QTest::newRow("info") << Command::Info << ResultCode::Ok << "" << info << ResultCode::Ok
                          << "memory usage"
                          << "VARO V2; time 2010-03-05 14:02:33; memory 5 used of 32000, 1 uploaded"
                          << "";
    // A reply that is no date and time, or counts that are not digits, fail with the reply.
    OperationData badTime = info;
    badTime.readerTime = QStringLiteral("20?1-00-30 51:40:23");
    badTime.readerTimeReply = "?1003051400\x1b";
    badTime.readerClock.reset();
    QTest::newRow("info, time no date") << Command::Info << ResultCode::Ok << "" << badTime
                                        << ResultCode::WrongReply << "reader time"
                                        << "not a date and time: `?1003051400<ESC>`"
                                        << "";
    OperationData badMemory = info;
    badMemory.memory->reply = "32000 ?   00001";
    QTest::newRow("info, counts not digits") << Command::Info << ResultCode::Ok << "" << badMemory
                                             << ResultCode::WrongReply << "memory usage"
                                             << "not three counts of digits: `32000 ?   00001`"
                                             << "";
    OperationData program;
    program.replies = {{"V", "VARO V2"}, {"X001", "OK"}, {"X002", "?"}, {"X003", "OK"}};
    QTest::newRow("program, replies summarised")
        << Command::Program << ResultCode::Ok << "Programming Complete" << program << ResultCode::Ok
        << "program"
        << "Programming Complete; 3 replies: 2 `OK`, 1 `?`"
        << "";
    QTest::newRow("program, another reply than expected")
        << Command::Program << ResultCode::Ok << "Programming Complete" << program
        << ResultCode::WrongReply << "program"
        << "`X002` was answered `?`, not `OK`"
        << "OK";
    OperationData mode;
    mode.modeReply = QStringLiteral("E");
    QTest::newRow("mode, another reply than expected")
        << Command::Mode << ResultCode::Ok << "Mode Switched" << mode << ResultCode::WrongReply
        << "mode"
        << "`mode collection` was answered `E`, not `OK`"
        << "OK";
    QTest::newRow("mode, reply shown")
        << Command::Mode << ResultCode::Ok << "Mode Switched" << mode << ResultCode::Ok << "mode"
        << "Mode Switched; reply `E`"
        << "";
    OperationData blank = info;
    blank.firmwareId = QStringLiteral("  ");
    QTest::newRow("info, blank identification")
        << Command::Info << ResultCode::Ok << "" << blank << ResultCode::WrongReply
        << "firmware identification"
        << "empty reply"
        << "";
    OperationData atTime;
    atTime.step = 1;
    QTest::newRow("info, no time") << Command::Info << ResultCode::Timeout << "No response"
                                   << atTime << ResultCode::Timeout << "reader time"
                                   << "No response"
                                   << "";
    OperationData echoes;
    echoes.echo = varo::link::EchoCounts{512, 2, QStringLiteral(" 65: timeout")};
    QTest::newRow("loopback, echo errors") << Command::Loopback << ResultCode::Ok << "" << echoes
                                           << ResultCode::WrongReply << "loopback"
                                           << "2 echo errors, first: 65: timeout"
                                           << "";
    QTest::newRow("loopback, stopped") << Command::Loopback << ResultCode::Cancelled << "" << echoes
                                       << ResultCode::Cancelled << "loopback"
                                       << "65: timeout"
                                       << "";
    QTest::newRow("silent success") << Command::Restart << ResultCode::Ok << "" << OperationData{}
                                    << ResultCode::Ok << "restart"
                                    << "restart done"
                                    << "";
    QTest::newRow("silent failure") << Command::Program << ResultCode::LinkError << ""
                                    << OperationData{} << ResultCode::LinkError << "program"
                                    << "failed"
                                    << "";
}

void TestCliCommandTable::verdicts() {
    QFETCH(Command, command);
    QFETCH(ResultCode, engine);
    QFETCH(QString, engineMessage);
    QFETCH(OperationData, data);
    QFETCH(ResultCode, code);
    QFETCH(QString, step);
    QFETCH(QString, message);
    QFETCH(QString, expectReply);
    varo::cli::Request request;
    if (!expectReply.isEmpty()) {
        request.expectReply = expectReply;
    }
    const Verdict verdict = judge(commandRow(command), {engine, engineMessage}, data, request);
    QCOMPARE(verdict.result.code, code);
    QCOMPARE(verdict.step, step);
    QCOMPARE(verdict.result.message, message);
}

// What a command decides from what it read first, and the status that decision gives.
void TestCliCommandTable::plans_data() {
    QTest::addColumn<Command>("command");
    QTest::addColumn<QStringList>("options"); // max-drift=S, hours=N, force, skip=TEXT
    QTest::addColumn<OperationData>("looked");
    QTest::addColumn<Plan::Action>("action");
    QTest::addColumn<QString>("message");

    OperationData clock;
    clock.readerClock = QDateTime(QDate(2026, 1, 1), QTime(10, 0, 5), Qt::UTC);
    clock.clockOffsetSeconds = 5;
    QTest::newRow("set-time, within the drift")
        << Command::SetTime << QStringList{"max-drift=5"} << clock << Plan::Action::Skip
        << "clock within 5 s (drift 5 s)";
    QTest::newRow("set-time, beyond the drift")
        << Command::SetTime << QStringList{"max-drift=4.5"} << clock << Plan::Action::Act
        << "set the clock (drift 5 s)";
    QTest::newRow("set-time, drift against the moved time")
        << Command::SetTime << QStringList{"max-drift=2", "hours=-1"} << clock << Plan::Action::Act
        << "set the clock (drift 3605 s)";
    OperationData noClock;
    noClock.readerTimeReply = "000000000000";
    QTest::newRow("set-time, clock unreadable")
        << Command::SetTime << QStringList{"max-drift=2"} << noClock << Plan::Action::Act
        << "set the clock (the reader time `000000000000` is no date and time)";
    OperationData memory;
    memory.memory = varo::link::MemoryCounts{32000, 7, 2, "320000000700002"};
    QTest::newRow("clear-memory, records not uploaded")
        << Command::ClearMemory << QStringList{} << memory << Plan::Action::Refuse
        << "5 records not uploaded (--force clears them anyway)";
    QTest::newRow("clear-memory, forced") << Command::ClearMemory << QStringList{"force"} << memory
                                          << Plan::Action::Act << "clear 7 used slots";
    OperationData garbled = memory;
    garbled.memory->reply = "OK";
    QTest::newRow("clear-memory, counts unreadable, even forced")
        << Command::ClearMemory << QStringList{"force"} << garbled << Plan::Action::Refuse
        << "memory usage: not three counts of digits: `OK`";
    OperationData firmware;
    firmware.firmwareId = QStringLiteral("VARO 2.10");
    QTest::newRow("flash, version there")
        << Command::Flash << QStringList{"skip=2.10"} << firmware << Plan::Action::Skip
        << "the firmware `VARO 2.10` holds `2.10`: nothing sent";
    QTest::newRow("flash, other version") << Command::Flash << QStringList{"skip=2.11"} << firmware
                                          << Plan::Action::Act << "download image.bin";
}

void TestCliCommandTable::plans() {
    QFETCH(Command, command);
    QFETCH(QStringList, options);
    QFETCH(OperationData, looked);
    QFETCH(Plan::Action, action);
    QFETCH(QString, message);
    Request request;
    request.command = command;
    request.imagePath = QStringLiteral("image.bin");
    for (const QString &option : options) {
        const QString value = option.section(u'=', 1);
        if (option.startsWith(QLatin1String("max-drift="))) {
            request.maxDriftSeconds = value.toDouble();
        } else if (option.startsWith(QLatin1String("hours="))) {
            request.hours = value.toInt();
        } else if (option == QLatin1String("force")) {
            request.force = true;
        } else if (option.startsWith(QLatin1String("skip="))) {
            request.skipIfVersion = value;
        }
    }
    const CommandRow &row = commandRow(command);
    QVERIFY(row.plan);
    const Plan plan = row.plan(request, looked);
    QCOMPARE(plan.action, action);
    QCOMPARE(plan.message, message);
    // The status it gives: a skip leaves the reader as it was; a dry run that would act is a
    // change.
    looked.gate =
        action == Plan::Action::Skip ? varo::link::Gate::Skipped : varo::link::Gate::WouldAct;
    QCOMPARE(row.changed(looked), action != Plan::Action::Skip);
}

QTEST_GUILESS_MAIN(TestCliCommandTable)
#include "tst_clicommandtable.moc"
