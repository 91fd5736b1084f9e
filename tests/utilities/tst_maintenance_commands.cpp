#include "support/simlink.h"
#include "utilities/labeltable.h"
#include "utilities/maintenancecommands.h"
#include "utilities/utilitytexts.h"

using namespace varo::utilities;
using namespace std::chrono_literals;
using Medium = SimLink::Medium;

Q_DECLARE_METATYPE(varo::utilities::Direction)

namespace {
const QDateTime kFriday(QDate(2010, 3, 5), QTime(14, 2, 33));
const QDateTime kMonday(QDate(2010, 3, 1), QTime(5, 0, 0));
const QString kEarlier = QStringLiteral("earlier text");

// What a click changed, collected from the dispatcher's signals.
struct Screen {
    explicit Screen(MaintenanceCommands &commands) {
        status = kEarlier;
        QObject::connect(&commands, &MaintenanceCommands::statusTextChanged,
                         [this](const QString &t) { status = t; });
        QObject::connect(&commands, &MaintenanceCommands::firmwareIdChanged,
                         [this](const QString &t) { field = t; });
        QObject::connect(&commands, &MaintenanceCommands::readerTimeChanged,
                         [this](const QString &t) { field = t; });
        QObject::connect(&commands, &MaintenanceCommands::memoryUsageChanged,
                         [this](const MemoryUsage &m) {
                             field = m.totalSlots + u'/' + m.used + u'/' + m.uploaded;
                         });
    }
    QString status;
    QString field = QStringLiteral("untouched");
};
} // namespace

// The step the utilities screen runs for a click on label `index`.
varo::utilities::MaintenanceStep stepOf(int index,
                                        const varo::utilities::TimeAdjustment &adjustment = {}) {
    const varo::utilities::LabelEntry *entry = varo::utilities::findLabel(index);
    varo::utilities::MaintenanceStep step{entry->verb};
    step.adjustment = adjustment;
    step.mode = entry->mode;
    return step;
}

class TestMaintenanceCommands : public QObject {
    Q_OBJECT
private slots:
    void buttons_data();
    void buttons();
    void noResponse_data();
    void noResponse();
    void notConnectedSendsNothing();
    void brokenLinkRefusesWithTheReason();
    void oneClickAtATime();
    void disconnectWhileWaitingEndsTheClick();
};

void TestMaintenanceCommands::buttons_data() {
    QTest::addColumn<Medium>("medium");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("hours");
    QTest::addColumn<Direction>("direction");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QByteArray>("wire"); // after the wake-up CR CR
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("field");

    const QString untouched = QStringLiteral("untouched");
    for (const auto &[medium, mediumName] :
         {std::pair{Medium::Tcp, "tcp"}, std::pair{Medium::Pty, "pty"}}) {
        auto row = [name = mediumName](const char *what) -> QTestData & {
            return QTest::addRow("%s: %s", name, what);
        };
        row("firmware") << medium << 0 << "" << Direction::Add << kFriday << true
                        << QByteArray("V\r") << kEarlier << "VARO SIM V1.0";
        row("collection") << medium << 2 << "" << Direction::Add << kFriday << true
                          << QByteArray("|5\r") << "Mode Switched" << untouched;
        row("online") << medium << 3 << "" << Direction::Add << kFriday << true
                      << QByteArray("|1\r") << "Mode Switched" << untouched;
        row("prox dump") << medium << 25 << "" << Direction::Add << kFriday << true
                         << QByteArray("|2\r") << "Mode Switched" << untouched;
        row("reader time") << medium << 6 << "" << Direction::Add << kFriday << true
                           << QByteArray("t\r") << ""
                           << "2099-12-31 23:59:59";
        row("set time") << medium << 5 << "00" << Direction::Add << kFriday << true
                        << QByteArray("+1003051402335\r") << "Time set in reader" << untouched;
        row("set time 24 back") << medium << 5 << "24" << Direction::Subtract << kMonday << true
                                << QByteArray("+1002280500007\r") << "Time set in reader"
                                << untouched;
        row("set time empty hours")
            << medium << 5 << "" << Direction::Subtract << kFriday << true
            << QByteArray("+1003051402335\r") << "Time set in reader" << untouched;
        row("set time 25") << medium << 5 << "25" << Direction::Add << kFriday << true
                           << QByteArray() << "Invalid hours to add/subtract" << untouched;
        row("memory") << medium << 7 << "" << Direction::Add << kFriday << true << QByteArray("z\r")
                      << "Memory data received"
                      << "01234/00056/00078";
        row("clear, yes") << medium << 9 << "" << Direction::Add << kFriday << true
                          << QByteArray("lc\r") << "Log Cleared" << untouched;
        row("clear, no") << medium << 9 << "" << Direction::Add << kFriday << false << QByteArray()
                         << kEarlier << untouched;
        row("restart") << medium << 12 << "" << Direction::Add << kFriday << true
                       << QByteArray("\0X\r", 3) << "" << untouched;
        row("heading") << medium << 10 << "" << Direction::Add << kFriday << true << QByteArray()
                       << kEarlier << untouched;
    }
}

void TestMaintenanceCommands::buttons() {
    QFETCH(Medium, medium);
    QFETCH(int, index);
    QFETCH(QString, hours);
    QFETCH(Direction, direction);
    QFETCH(QDateTime, now);
    QFETCH(bool, yes);
    QFETCH(QByteArray, wire);
    QFETCH(QString, status);
    QFETCH(QString, field);

    SimLink sl;
    sl.sim.options().clock = QDateTime(QDate(2099, 12, 31), QTime(23, 59, 59));
    sl.sim.options().totalSlots = 1234;
    sl.sim.options().used = 56;
    sl.sim.options().uploaded = 78;
    QVERIFY(sl.connect(medium));
    MaintenanceCommands commands(&sl.link);
    commands.setClock([now] { return now; });
    commands.setAsker([yes](const QString &question, std::function<void(bool)> answer) {
        QCOMPARE(question, QStringLiteral("Do you wish to clear the reader data"));
        answer(yes);
    });
    Screen screen(commands);

    QVERIFY(commands.run(stepOf(index, {hours, direction})));
    QTRY_VERIFY(!commands.isBusy());
    QVERIFY(!sl.link.isBusy());
    QTRY_COMPARE(sl.sim.received(), QByteArray("\r\r") + wire);
    QCOMPARE(screen.status, status);
    QCOMPARE(screen.field, field);
}

void TestMaintenanceCommands::noResponse_data() {
    QTest::addColumn<Medium>("medium");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("field"); // emptied before the command, left empty
    QTest::newRow("firmware") << Medium::Tcp << 0 << "";
    QTest::newRow("mode") << Medium::Tcp << 2 << "untouched";
    QTest::newRow("reader time") << Medium::Pty << 6 << "";
    QTest::newRow("set time") << Medium::Tcp << 5 << "untouched";
    QTest::newRow("memory") << Medium::Pty << 7 << "untouched";
    QTest::newRow("clear") << Medium::Tcp << 9 << "untouched";
}

void TestMaintenanceCommands::noResponse() {
    QFETCH(Medium, medium);
    QFETCH(int, index);
    QFETCH(QString, field);
    SimLink sl(100ms);
    sl.sim.options().silent = true;
    QVERIFY(sl.connect(medium));
    MaintenanceCommands commands(&sl.link);
    commands.setAsker([](const QString &, std::function<void(bool)> answer) { answer(true); });
    Screen screen(commands);
    QVERIFY(commands.run(stepOf(index)));
    QTRY_VERIFY(!commands.isBusy());
    QCOMPARE(screen.status, QStringLiteral("No response from reader"));
    QCOMPARE(screen.field, field);
    QVERIFY(!sl.link.isBusy());
}

void TestMaintenanceCommands::notConnectedSendsNothing() {
    SimLink sl;
    QVERIFY(sl.connect(Medium::Tcp));
    QVERIFY(sl.link.disconnectReader());
    MaintenanceCommands commands(&sl.link);
    Screen screen(commands);
    for (const int index : {0, 2, 5, 6, 7, 9, 12, 19, 10}) {
        screen.status.clear();
        QVERIFY(commands.run(stepOf(index, {QStringLiteral("99"), Direction::Add})));
        QCOMPARE(screen.status, QStringLiteral("Not Connected"));
        QVERIFY(!commands.isBusy());
    }
    QTest::qWait(50);
    QCOMPARE(sl.sim.received(), QByteArray());
}

void TestMaintenanceCommands::brokenLinkRefusesWithTheReason() {
    // The reader drops the TCP connection: the link is lost, and a click says so with the
    // reason instead of sending into the broken link.
    SimLink sl;
    QVERIFY(sl.connect(Medium::Tcp));
    QSignalSpy linkError(&sl.link, &varo::link::ReaderLink::linkErrorOccurred);
    sl.tcp->closeClient();
    QVERIFY(linkError.wait(2000));
    MaintenanceCommands commands(&sl.link);
    Screen screen(commands);
    for (const int index : {0, 12}) {
        screen.status.clear();
        QVERIFY(commands.run(stepOf(index)));
        QTRY_VERIFY(!commands.isBusy());
        QVERIFY2(screen.status.startsWith(QStringLiteral("The link to the reader is lost: ")),
                 qPrintable(screen.status));
        QVERIFY(screen.status.contains(QStringLiteral("closed the connection")));
    }
}

void TestMaintenanceCommands::oneClickAtATime() {
    SimLink sl;
    sl.sim.options().replyDelayMs = 150;
    QVERIFY(sl.connect(Medium::Tcp));
    MaintenanceCommands commands(&sl.link);
    Screen screen(commands);

    QVERIFY(commands.run(stepOf(0)));
    QVERIFY(sl.link.isBusy());
    QVERIFY(!commands.run(stepOf(2)));
    QTRY_VERIFY(!commands.isBusy());
    QCOMPARE(screen.field, QStringLiteral("VARO SIM V1.0"));
    QCOMPARE(sl.sim.received(), QByteArray("\r\rV\r"));

    // Another operation holds the link: refused before the wake-up.
    const varo::link::OperationClaim program = sl.link.claim(varo::link::Operation::ProgramReader);
    QVERIFY(program);
    QSignalSpy refused(&commands, &MaintenanceCommands::refused);
    QVERIFY(!commands.run(stepOf(2)));
    QCOMPARE(refused.size(), 1);
    QCOMPARE(refused.first().first().toString(), QStringLiteral("Program Reader"));
    QCOMPARE(sl.link.activeOperationName(), QStringLiteral("Program Reader"));
    QTest::qWait(50);
    QCOMPARE(sl.sim.received(), QByteArray("\r\rV\r"));
}

void TestMaintenanceCommands::disconnectWhileWaitingEndsTheClick() {
    SimLink sl(10s);
    sl.sim.options().silent = true;
    QVERIFY(sl.connect(Medium::Tcp));
    MaintenanceCommands commands(&sl.link);
    QVERIFY(commands.run(stepOf(7)));
    QTRY_COMPARE(sl.sim.received(), QByteArray("\r\rz\r"));
    QVERIFY(sl.link.disconnectReader());
    QVERIFY(!commands.isBusy());
    QVERIFY(!sl.link.isBusy());
}

QTEST_GUILESS_MAIN(TestMaintenanceCommands)
#include "tst_maintenance_commands.moc"
