#include "goldencommands.h"

#include "config/configmodel.h"
#include "config/defaults.h"
#include "config/programrun.h"
#include "config/progresslog.h"
#include "config/readerprofile.h"
#include "config/readerreset.h"

#include "link/readerlink.h"
#include "support/simlink.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace varo;
using namespace varo::config;
using config::test::kDefaultCommands;
using link::OperationResult;
using link::ResultCode;

namespace {

enum class Medium { Tcp, Serial };

constexpr std::chrono::milliseconds kReplyTimeout{400};
constexpr int kRunBudgetMs = 20000;

// A simulated reader on 127.0.0.1 or a pseudo-terminal, a connected link and the run under test.
struct Rig : SimLink {
    ConfigModel model;
    ProgressLog log;
    ProgramRun run{&link, &model, &log};
    ReaderReset reset{&link, &log};

    Rig()
        : SimLink(kReplyTimeout) {
        loadDefaults(model);
    }

    bool connectOver(::Medium over) {
        return connect(over == ::Medium::Tcp ? SimLink::Medium::Tcp : SimLink::Medium::Pty);
    }

    // Starts a run and waits for its end; std::nullopt when it did not start or end.
    std::optional<OperationResult> result() {
        QSignalSpy finished(&run, &ProgramRun::finished);
        if (!run.start())
            return std::nullopt;
        if (finished.isEmpty() && !finished.wait(kRunBudgetMs))
            return std::nullopt;
        return finished.first().first().value<OperationResult>();
    }
    // The code the run ended with; Cancelled stands for "did not start or did not end".
    ResultCode program() {
        const std::optional<OperationResult> r = result();
        return r ? r->code : ResultCode::Cancelled;
    }

    QStringList picture1() const { return log.lines(ProgressList::Left); }
    QStringList picture2() const { return log.lines(ProgressList::Right); }
};

QString echoLine(const config::test::GoldenCommand &golden, const QString &reply) {
    return QString::fromLatin1(config::test::goldenCommandText(golden)) + QStringLiteral("  [") +
           reply + u']';
}

// The lines of a run with default fields that ends after the exchange at `lastIndex` (or at the
// end of the table), every command answered with `reply`.
std::pair<QStringList, QStringList> expectedLines(const QString &firmware, const QString &reply,
                                                  qsizetype lastIndex = kDefaultCommands.size()) {
    QStringList p1{QStringLiteral("Checking Parameters"), QStringLiteral("Starting Communications"),
                   firmware};
    QStringList p2;
    for (qsizetype i = 1; i < std::min(lastIndex, kDefaultCommands.size()); ++i) {
        const auto &golden = kDefaultCommands.at(i);
        (golden.list == ProgressList::Left ? p1 : p2) << echoLine(golden, reply);
    }
    if (lastIndex >= kDefaultCommands.size())
        p2 << QStringLiteral(" ") << QStringLiteral("Programming Complete");
    return {p1, p2};
}

void addMedia() {
    QTest::addColumn<Medium>("medium");
    QTest::newRow("tcp") << Medium::Tcp;
    QTest::newRow("serial") << Medium::Serial;
}

} // namespace

Q_DECLARE_METATYPE(Medium)

class ProgramRunTest : public QObject {
    Q_OBJECT

private slots:
    void completeRun_data() { addMedia(); }

    void completeRun() {
        QFETCH(Medium, medium);
        Rig rig;
        QVERIFY(rig.connectOver(medium));

        QCOMPARE(rig.program(), ResultCode::Ok);

        const auto [p1, p2] = expectedLines(QStringLiteral("VARO SIM V1.0"), QStringLiteral("OK"));
        QCOMPARE(rig.picture1(), p1);
        QCOMPARE(rig.picture2(), p2);
        QCOMPARE(rig.picture1().last().left(4), QStringLiteral("X076"));

        QList<QByteArray> sent;
        for (const auto &golden : kDefaultCommands) {
            sent << config::test::goldenCommandText(golden);
            QCOMPARE(rig.sim.lastValue(golden.code), QByteArray(golden.payload));
        }
        QCOMPARE(rig.sim.commands(), sent);
        QVERIFY(rig.sim.received().startsWith("\r\rV\r"));
        QVERIFY(!rig.link.isBusy());
        QVERIFY(!rig.run.isActive());
    }

    // The next reader of a series: screens set otherwise, the saved profile loaded, then
    // programmed; the reader receives exactly what the defaults send.
    void profileLoadedRunSendsTheSavedSettings() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("site.json"));
        {
            ConfigModel first;
            loadDefaults(first);
            QCOMPARE(saveProfileFile(path, first), std::nullopt);
        }
        Rig rig;
        for (const ProfileEntry &entry : profileEntries()) {
            if (entry.kind == FieldKind::Check)
                rig.model.setCheck(entry.field, 1 - rig.model.check(entry.field));
            else if (entry.kind == FieldKind::Option)
                rig.model.select(entry.members.last());
        }
        const ProfileLoadResult loaded = loadProfileFile(path, rig.model);
        QVERIFY2(!loaded.hasProblems(), qPrintable(loaded.report()));
        QVERIFY(applyProfile(loaded, rig.model));
        QVERIFY(rig.connectOver(Medium::Tcp));

        QCOMPARE(rig.program(), ResultCode::Ok);
        QList<QByteArray> sent;
        for (const auto &golden : kDefaultCommands)
            sent << config::test::goldenCommandText(golden);
        QCOMPARE(rig.sim.commands(), sent);
    }

    void silentReader_data() { addMedia(); }

    void silentReader() {
        QFETCH(Medium, medium);
        Rig rig;
        rig.sim.options().silent = true;
        QVERIFY(rig.connectOver(medium));

        QCOMPARE(rig.program(), ResultCode::Timeout);
        QCOMPARE(rig.picture1(),
                 (QStringList{"Checking Parameters", "Starting Communications", "Error 000"}));
        QVERIFY(rig.picture2().isEmpty());
        QCOMPARE(rig.sim.commands(), QList<QByteArray>{"V"});
        QVERIFY(!rig.link.isBusy());
    }

    void timeOutAtCommand_data() {
        QTest::addColumn<Medium>("medium");
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("X006 tcp") << Medium::Tcp << QByteArray("X006") << "Error 048";
        QTest::newRow("X029 serial") << Medium::Serial << QByteArray("X029") << "Error 050";
        QTest::newRow("X035 tcp") << Medium::Tcp << QByteArray("X035") << "Error 035";
        QTest::newRow("X077 serial") << Medium::Serial << QByteArray("X077") << "Error 077";
        QTest::newRow("h tcp") << Medium::Tcp << QByteArray("h") << "Error h command";
    }

    void timeOutAtCommand() {
        QFETCH(Medium, medium);
        QFETCH(QByteArray, code);
        QFETCH(QString, message);
        Rig rig;
        rig.sim.options().silentOnCode = code;
        QVERIFY(rig.connectOver(medium));

        QCOMPARE(rig.program(), ResultCode::Timeout);

        qsizetype index = 0;
        while (QByteArray(kDefaultCommands.at(index).code) != code)
            ++index;
        const auto &failed = kDefaultCommands.at(index);
        auto [p1, p2] = expectedLines(QStringLiteral("VARO SIM V1.0"), QStringLiteral("OK"), index);
        QStringList &list = failed.list == ProgressList::Left ? p1 : p2;
        list << QString::fromLatin1(config::test::goldenCommandText(failed)) + u' ' << message;
        QCOMPARE(rig.picture1(), p1);
        QCOMPARE(rig.picture2(), p2);
        QCOMPARE(rig.sim.commands().size(), index + 1); // nothing after the silent command
        QVERIFY(!rig.link.isBusy());
    }

    void emptyRepliesAcknowledge_data() { addMedia(); }

    void emptyRepliesAcknowledge() {
        QFETCH(Medium, medium);
        Rig rig;
        rig.sim.options().emptyReplies = true;
        QVERIFY(rig.connectOver(medium));

        QCOMPARE(rig.program(), ResultCode::Ok);
        const auto [p1, p2] = expectedLines(QString(), QString());
        QCOMPARE(rig.picture1(), p1);
        QCOMPARE(rig.picture2(), p2);
        QCOMPARE(rig.picture1().at(3), QStringLiteral("X00110000000400  []"));
    }

    // Bytes waiting when "V" goes out: the serial link drops them, TCP delivers them with the
    // identification.
    void leftoverInputBeforeIdentification_data() {
        QTest::addColumn<Medium>("medium");
        QTest::addColumn<QString>("identification");
        QTest::newRow("tcp") << Medium::Tcp << "JUNKVARO SIM V1.0";
        QTest::newRow("serial") << Medium::Serial << "VARO SIM V1.0";
    }

    void leftoverInputBeforeIdentification() {
        QFETCH(Medium, medium);
        QFETCH(QString, identification);
        Rig rig;
        QVERIFY(rig.connectOver(medium));
        rig.sim.streamText("JUNK", 0);
        QTRY_COMPARE(rig.link.pendingCount(), 4);

        QCOMPARE(rig.program(), ResultCode::Ok);
        QCOMPARE(rig.picture1().at(2), identification);
    }

    void wakeupAnswerJoinsTcpIdentification() {
        Rig rig;
        rig.sim.options().wakeupReply = "?";
        QVERIFY(rig.connectOver(Medium::Tcp));
        QCOMPARE(rig.program(), ResultCode::Ok);
        QCOMPARE(rig.picture1().at(2), QStringLiteral("?VARO SIM V1.0"));
    }

    void brokenLinkAbandonsAfterWakeup() {
        Rig rig;
        QVERIFY(rig.connectOver(Medium::Tcp));
        rig.tcp->closeClient();
        QTRY_VERIFY(!rig.link.isTransportOpen());

        // The run says why it sends nothing: the failed send and its reason.
        const std::optional<OperationResult> result = rig.result();
        QVERIFY(result);
        QCOMPARE(result->code, ResultCode::LinkError);
        QCOMPARE(rig.picture1().size(), 2);
        QCOMPARE(rig.picture1().first(), QStringLiteral("Checking Parameters"));
        QCOMPARE(rig.picture1().last(), result->message);
        QVERIFY(result->message.startsWith(QStringLiteral("Could not send to the reader: ")));
        QVERIFY(result->message.contains(rig.link.lastError()));
        QVERIFY(!rig.link.lastError().isEmpty());
        QVERIFY(rig.picture2().isEmpty());
        QVERIFY(!rig.link.isBusy());
    }

    void linkBreakingDuringRunEndsIt() {
        Rig rig;
        rig.sim.options().closeAfterCommands = 5;
        QVERIFY(rig.connectOver(Medium::Tcp));

        const std::optional<OperationResult> result = rig.result();
        QVERIFY(result);
        QVERIFY(result->code == ResultCode::LinkError || result->code == ResultCode::Timeout);
        QVERIFY(!rig.link.isBusy());
        QVERIFY(!rig.picture1().contains(QStringLiteral("Programming Complete")));
        // Both lists end with whole lines, and the last line printed says why the run stopped.
        const QString p1 = rig.log.text(ProgressList::Left);
        const QString p2 = rig.log.text(ProgressList::Right);
        QVERIFY(p1.endsWith(u'\n'));
        QVERIFY(p2.isEmpty() || p2.endsWith(u'\n'));
        QVERIFY(rig.picture1().last() == result->message ||
                rig.picture2().last() == result->message);
        if (result->code == ResultCode::LinkError)
            QVERIFY(
                result->message.startsWith(QStringLiteral("Programming stopped: link error: ")));
    }

    void disconnectingEndsRun() {
        Rig rig;
        rig.sim.options().replyDelayMs = 100;
        QVERIFY(rig.connectOver(Medium::Tcp));
        QSignalSpy finished(&rig.run, &ProgramRun::finished);
        QVERIFY(rig.run.start());
        QTRY_VERIFY(rig.sim.commandCount() >= 2);

        rig.link.disconnectReader();
        QCOMPARE(finished.size(), 1);
        const auto result = finished.first().first().value<OperationResult>();
        QCOMPARE(result.code, ResultCode::Disconnected);
        QVERIFY(!rig.link.isBusy());
        // The command awaiting its reply keeps its own, ended line; the next line says why.
        const ProgressList list =
            rig.picture2().isEmpty() ? ProgressList::Left : ProgressList::Right;
        const QStringList lines = rig.log.lines(list);
        QVERIFY(rig.log.text(list).endsWith(u'\n'));
        QCOMPARE(lines.last(), QStringLiteral("Programming stopped: the link was disconnected"));
        QCOMPARE(result.message, lines.last());
        QVERIFY(lines.at(lines.size() - 2).endsWith(u' '));
        QVERIFY(!lines.at(lines.size() - 2).contains(u'['));
    }

    void fieldsAreReadWhenEachCommandIsBuilt() {
        Rig rig;
        QVERIFY(rig.connectOver(Medium::Tcp));
        connect(&rig.sim, &sim::ReaderSimulator::commandReceived, &rig.model,
                [&rig](const QByteArray &command) {
                    if (command.startsWith("X001")) {
                        rig.model.setText(QStringLiteral("general.storage.readerId"),
                                          QStringLiteral("42"));
                        rig.model.setText(QStringLiteral("general.storage.readerDescription"),
                                          QStringLiteral("12345"));
                    }
                });
        QCOMPARE(rig.program(), ResultCode::Ok);
        QCOMPARE(rig.sim.lastValue("g"), QByteArray("   42"));
        QCOMPARE(rig.sim.lastValue("h"), QByteArray("     12345"));
    }

    // Checks and commands are kept between runs; a change of the settings renews both.
    void nextRunSeesChangedSettings() {
        Rig rig;
        QVERIFY(rig.connectOver(Medium::Tcp));
        QCOMPARE(rig.program(), ResultCode::Ok);
        rig.model.setText(QStringLiteral("barcode.timeout"), QStringLiteral("1"));
        QCOMPARE(rig.program(), ResultCode::Invalid);
        rig.model.setText(QStringLiteral("barcode.timeout"), QStringLiteral("9"));
        rig.model.setText(QStringLiteral("general.storage.readerId"), QStringLiteral("77"));
        QCOMPARE(rig.program(), ResultCode::Ok);
        QCOMPARE(rig.sim.lastValue("g"), QByteArray("   77"));

        // Another model's run in between sends that model's settings, and the first one's
        // settings are its own again after it.
        ConfigModel other;
        loadDefaults(other);
        other.setText(QStringLiteral("general.storage.readerId"), QStringLiteral("5"));
        ProgramRun otherRun{&rig.link, &other, &rig.log};
        QSignalSpy otherFinished(&otherRun, &ProgramRun::finished);
        QVERIFY(otherRun.start());
        QVERIFY(otherFinished.wait(kRunBudgetMs));
        QCOMPARE(rig.sim.lastValue("g"), QByteArray("    5"));
        QCOMPARE(rig.program(), ResultCode::Ok);
        QCOMPARE(rig.sim.lastValue("g"), QByteArray("   77"));
    }

    void invalidFieldsSendNothing() {
        Rig rig;
        QVERIFY(rig.connectOver(Medium::Tcp));
        rig.model.setText(QStringLiteral("barcode.timeout"), QStringLiteral("1"));

        QCOMPARE(rig.program(), ResultCode::Invalid);
        QCOMPARE(rig.picture1(), (QStringList{"Checking Parameters",
                                              "Error - Barcode timeout must be between 2 and 15"}));
        QTest::qWait(50);
        QVERIFY(rig.sim.received().isEmpty());
        QVERIFY(!rig.link.isBusy());
    }

    void oneRunAtATime() {
        Rig rig;
        rig.sim.options().replyDelayMs = 20;
        QVERIFY(rig.connectOver(Medium::Tcp));
        QSignalSpy finished(&rig.run, &ProgramRun::finished);
        QSignalSpy refused(&rig.run, &ProgramRun::refused);
        QSignalSpy resetRefused(&rig.reset, &ReaderReset::refused);

        QVERIFY(rig.run.start());
        QVERIFY(!rig.run.start());
        QCOMPARE(refused.size(), 1);
        QCOMPARE(refused.first().first().toString(), QStringLiteral("Program Reader"));
        QVERIFY(!rig.reset.start());
        QCOMPARE(resetRefused.size(), 1);

        QVERIFY(finished.wait(kRunBudgetMs));
        QCOMPARE(finished.first().first().value<OperationResult>().code, ResultCode::Ok);
        QCOMPARE(rig.sim.commands().size(), kDefaultCommands.size());
        QVERIFY(!rig.sim.received().contains(QByteArray("\0U1", 3)));
    }

    void busyLinkRefusesBoth() {
        Rig rig;
        QVERIFY(rig.connectOver(Medium::Tcp));
        rig.log.printLine(ProgressList::Left, QStringLiteral("earlier"));
        const link::OperationClaim upload = rig.link.claim(varo::link::Operation::Upload);
        QVERIFY(upload);
        QSignalSpy refused(&rig.run, &ProgramRun::refused);

        QVERIFY(!rig.run.start());
        QVERIFY(!rig.reset.start());
        QCOMPARE(refused.first().first().toString(), QStringLiteral("Upload Stored Data"));
        QCOMPARE(rig.picture1(), QStringList{"earlier"});
        QTest::qWait(50);
        QVERIFY(rig.sim.received().isEmpty());
        QCOMPARE(rig.link.activeOperationName(), QStringLiteral("Upload Stored Data"));
    }

    void resetSendsTheCommandAlone_data() { addMedia(); }

    void resetSendsTheCommandAlone() {
        QFETCH(Medium, medium);
        Rig rig;
        QVERIFY(rig.connectOver(medium));
        rig.log.printLine(ProgressList::Right, QStringLiteral("earlier"));
        QSignalSpy finished(&rig.reset, &ReaderReset::finished);

        QVERIFY(rig.reset.start());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().value<OperationResult>().code, ResultCode::Ok);
        QCOMPARE(rig.picture1(), (QStringList{"Resetting Reader", "Reset Complete"}));
        QVERIFY(rig.picture2().isEmpty());
        QTRY_COMPARE(rig.sim.received(), QByteArray("\x00\x55\x31\x0d", 4));
        QVERIFY(!rig.link.isBusy());
        QCOMPARE(rig.link.status(), QStringLiteral("Connected"));
    }

    // A write that fails shows its reason instead of "Reset Complete": on a link never
    // connected, and on one the reader has closed.
    void resetWriteFailureShowsWhy() {
        link::ReaderLink link; // never connected: the write fails
        ProgressLog log;
        ReaderReset reset(&link, &log);
        QSignalSpy finished(&reset, &ReaderReset::finished);
        QVERIFY(reset.start());
        const auto result = finished.first().first().value<OperationResult>();
        QCOMPARE(result.code, ResultCode::LinkError);
        QCOMPARE(log.lines(ProgressList::Left), (QStringList{"Resetting Reader", result.message}));
        QVERIFY(result.message.startsWith(QStringLiteral("Could not send to the reader: ")));
        QVERIFY(!link.isBusy());

        Rig rig;
        QVERIFY(rig.connectOver(Medium::Tcp));
        rig.tcp->closeClient();
        QTRY_VERIFY(!rig.link.isTransportOpen());
        QSignalSpy closedFinished(&rig.reset, &ReaderReset::finished);
        QVERIFY(rig.reset.start());
        QCOMPARE(closedFinished.first().first().value<OperationResult>().code,
                 ResultCode::LinkError);
        QVERIFY(!rig.picture1().contains(QStringLiteral("Reset Complete")));
        QVERIFY(rig.picture1().last().contains(rig.link.lastError()));
    }
};

QTEST_GUILESS_MAIN(ProgramRunTest)
#include "tst_programrun.moc"
