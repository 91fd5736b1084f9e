// Link loss, open errors and reconnect on real media: a pseudo-terminal that vanishes and a
// TCP peer that goes away, both played by the simulator.
#include "faultrig.h"
#include "support/permissions.h"

#include "link/serialdevices.h"
#include "loopback/loopbackengine.h"
#include "terminal/terminalsession.h"
#include "utilities/uploadsession.h"

#include <QSerialPort>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;
using namespace varo;
using Medium = SimLink::Medium;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the event loop for `ms` without looking at anything, so what burns CPU meanwhile is the
// product's own.
void idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

enum class Operation { ReplyWait, Upload, Loopback, Terminal };

} // namespace

Q_DECLARE_METATYPE(Operation)

class TestLifecycle : public QObject {
    Q_OBJECT
private slots:
    void lossEndsOperation_data();
    void lossEndsOperation();
    void brokenLinkRefusesOperations_data();
    void brokenLinkRefusesOperations();
    void reconnectsAfterReplug_data();
    void reconnectsAfterReplug();
    void disconnectStopsReconnecting();
    void openErrorsSayWhatToDo();
    void tcpRefusedIsToldApart();
};

void TestLifecycle::lossEndsOperation_data() {
    QTest::addColumn<Medium>("medium");
    QTest::addColumn<Operation>("operation");
    for (const auto &[medium, mname] :
         {std::pair{Medium::Tcp, "tcp"}, std::pair{Medium::Pty, "pty"}}) {
        QTest::addRow("%s: reply wait", mname) << medium << Operation::ReplyWait;
        QTest::addRow("%s: upload", mname) << medium << Operation::Upload;
        QTest::addRow("%s: loopback", mname) << medium << Operation::Loopback;
        QTest::addRow("%s: terminal", mname) << medium << Operation::Terminal;
    }
}

// The medium breaks while an operation waits on it: the operation ends at once with its reason,
// the status stops saying "Connected", nothing spins, and the link works after connecting again.
void TestLifecycle::lossEndsOperation() {
    QFETCH(Medium, medium);
    QFETCH(Operation, operation);
    FaultRig rig(5000ms); // a wait that ended in under a second did not time out
    QVERIFY(rig.connect(medium));
    rig.sim.options().replyDelayMs = 3000;

    std::optional<link::OperationResult> ended;
    QObject context;
    QTemporaryDir dir;
    utilities::UploadSession upload(&rig.link);
    upload.setFileChooser([path = dir.filePath("up.txt")](auto done) { done(path); });
    loopback::LoopbackEngine loopback(&rig.link);
    terminal::TerminalSession terminal(&rig.link);
    QString terminalStatus;
    connect(&terminal, &terminal::TerminalSession::statusTextChanged, &context,
            [&](const QString &text) { terminalStatus = text; });
    const auto record = [&](const link::OperationResult &r) { ended = r; };
    connect(&upload, &utilities::UploadSession::finished, &context, record);
    connect(&loopback, &loopback::LoopbackEngine::finished, &context, record);
    connect(&terminal, &terminal::TerminalSession::finished, &context, record);

    switch (operation) {
    case Operation::ReplyWait:
        QVERIFY(rig.link.sendCommand("V"));
        QVERIFY(rig.link.readReply(&context, [&](const link::ReplyResult &r) {
            ended = link::OperationResult{r.end == link::WaitEnd::LinkError
                                              ? link::ResultCode::LinkError
                                              : link::ResultCode::Timeout,
                                          r.linkError};
        }));
        break;
    case Operation::Upload:
        QVERIFY(upload.start());
        break;
    case Operation::Loopback: {
        loopback::LoopbackTimings timings;
        timings.settleSerial = timings.settleTcp = 20ms;
        timings.passes = 1000;
        loopback.setTimings(timings);
        QVERIFY(loopback.start());
        break;
    }
    case Operation::Terminal:
        QVERIFY(terminal.start());
        break;
    }
    idle(300);
    QVERIFY(!ended);

    QElapsedTimer sinceLoss;
    sinceLoss.start();
    rig.drop();
    QVERIFY(waitUntil([&] { return ended.has_value(); }, 1000));
    QVERIFY2(sinceLoss.elapsed() < 1000, qPrintable(QString::number(sinceLoss.elapsed())));
    QCOMPARE(ended->code, link::ResultCode::LinkError);
    QVERIFY2(!ended->message.isEmpty(), "the operation names the reason");
    QCOMPARE(rig.link.status(), QStringLiteral("Link lost"));
    QCOMPARE(rig.link.state(), link::LinkState::Lost);
    if (operation == Operation::Terminal)
        QVERIFY2(terminalStatus.startsWith(QStringLiteral("Link lost: ")),
                 qPrintable(terminalStatus));
    QVERIFY(!rig.link.isBusy());

    // Nothing keeps the processor busy on the dead link.
    const double before = cpuSeconds();
    idle(2000);
    const double spent = cpuSeconds() - before;
    QVERIFY2(spent < 0.2, qPrintable(QString::number(spent)));

    rig.sim.options() = sim::SimOptions{};
    QVERIFY(rig.reconnect());
    QCOMPARE(rig.exchangeV(), QByteArray("VARO SIM V1.0"));
}

void TestLifecycle::brokenLinkRefusesOperations_data() {
    QTest::addColumn<Medium>("medium");
    QTest::addRow("tcp") << Medium::Tcp;
    QTest::addRow("pty") << Medium::Pty;
}

// On a broken link a reply wait ends at once, the loopback test sends nothing and says why,
// and the terminal does not start.
void TestLifecycle::brokenLinkRefusesOperations() {
    QFETCH(Medium, medium);
    FaultRig rig(5000ms);
    QVERIFY(rig.connect(medium));
    rig.drop();
    QVERIFY(waitUntil([&] { return rig.link.state() == link::LinkState::Lost; }, 2000));
    QVERIFY(rig.link.isConnected()); // "Disconnect first before connecting" still applies
    QVERIFY(!rig.link.unusableReason().isEmpty());

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(rig.exchangeV(), QByteArray("<send failed>"));
    std::optional<link::ReplyResult> reply;
    QObject context;
    QVERIFY(rig.link.readReply(&context, [&](const link::ReplyResult &r) { reply = r; }));
    QVERIFY(!reply); // never inside the call
    QVERIFY(waitUntil([&] { return reply.has_value(); }, 500));
    QCOMPARE(reply->end, link::WaitEnd::LinkError);

    loopback::LoopbackEngine loopback(&rig.link);
    QStringList lines;
    connect(&loopback, &loopback::LoopbackEngine::lineAdded, &context,
            [&](const QString &line) { lines << line; });
    QSignalSpy finished(&loopback, &loopback::LoopbackEngine::finished);
    QVERIFY(loopback.start());
    QVERIFY(finished.count() == 1 || finished.wait(500));
    const auto result = finished.first().first().value<link::OperationResult>();
    QCOMPARE(result.code, link::ResultCode::LinkError);
    QCOMPARE(loopback.charactersSent(), 0);
    QVERIFY2(lines.filter(QStringLiteral("Link error: ")).size() == 1, qPrintable(lines.join('|')));

    terminal::TerminalSession terminal(&rig.link);
    QVERIFY(!terminal.start());
    QVERIFY(!rig.link.isBusy());
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
}

void TestLifecycle::reconnectsAfterReplug_data() {
    QTest::addColumn<Medium>("medium");
    QTest::addRow("tcp") << Medium::Tcp;
    QTest::addRow("pty under a stable path") << Medium::Pty;
}

// With automatic reconnect on, the link shows "Reconnecting" while the device is away and is
// "Connected" again within one back-off step of its return; nothing resumes by itself.
void TestLifecycle::reconnectsAfterReplug() {
    QFETCH(Medium, medium);
    FaultRig rig(2000ms);
    QTemporaryDir dir;
    const QString stable = dir.filePath("ttyVARO");
    if (medium == Medium::Pty) {
        rig.pty = std::make_unique<sim::SimPty>(&rig.sim);
        QVERIFY(rig.pty->setLinkPath(stable));
        QVERIFY(rig.pty->open());
        rig.settings.mode = link::LinkMode::Serial;
        rig.settings.serialDevice = stable;
        QVERIFY(rig.connectLink());
    } else {
        QVERIFY(rig.connect(medium));
    }
    rig.link.setAutoReconnect(true);
    QSignalSpy reconnected(&rig.link, &link::ReaderLink::reconnected);

    if (medium == Medium::Pty)
        rig.pty->closeMaster();
    else
        rig.tcp->unplug();
    QVERIFY(waitUntil([&] { return rig.link.state() == link::LinkState::Reconnecting; }, 2000));
    QCOMPARE(rig.link.status(), QStringLiteral("Reconnecting"));
    // Away for a while: the attempts back off, and the CPU stays idle meanwhile.
    const double before = cpuSeconds();
    idle(1200);
    QVERIFY2(cpuSeconds() - before < 0.2, qPrintable(QString::number(cpuSeconds() - before)));
    QCOMPARE(rig.link.state(), link::LinkState::Reconnecting);

    const auto step = rig.link.nextRetryDelay();
    QElapsedTimer back;
    back.start();
    if (medium == Medium::Pty)
        QVERIFY(rig.pty->open());
    else
        QVERIFY(rig.tcp->replug());
    QVERIFY(waitUntil([&] { return rig.link.state() == link::LinkState::Connected; }, 7000));
    QVERIFY2(back.elapsed() <= step.count() + 200,
             qPrintable(QStringLiteral("%1 ms, step %2 ms").arg(back.elapsed()).arg(step.count())));
    QCOMPARE(reconnected.count(), 1);
    QVERIFY(!rig.link.isBusy());
    if (rig.tcp)
        QVERIFY(QTest::qWaitFor([&] { return rig.tcp->hasClient(); }, 2000));
    QVERIFY(rig.settle());
    QCOMPARE(rig.exchangeV(), QByteArray("VARO SIM V1.0"));
}

void TestLifecycle::disconnectStopsReconnecting() {
    FaultRig rig(2000ms);
    QVERIFY(rig.connect(Medium::Tcp));
    rig.link.setAutoReconnect(true);
    rig.tcp->unplug();
    QVERIFY(waitUntil([&] { return rig.link.state() == link::LinkState::Reconnecting; }, 2000));
    QVERIFY(rig.link.disconnectReader());
    QCOMPARE(rig.link.status(), QStringLiteral("Disconnected"));
    QVERIFY(rig.tcp->replug());
    idle(1500);
    QCOMPARE(rig.link.state(), link::LinkState::Disconnected);
    QVERIFY(!rig.tcp->hasClient());
}

// A device that is absent, not permitted or held by another program: the failed connect leaves
// a reason a technician can act on.
void TestLifecycle::openErrorsSayWhatToDo() {
    link::ReaderLink link;
    link::LinkSettings settings;
    settings.serialDevice = QStringLiteral("/nonexistent/ttyUSB9");
    QVERIFY(link.connectReader(settings));
    QCOMPARE(link.state(), link::LinkState::Disconnected);
    QVERIFY2(link.lastError().contains(QStringLiteral("/nonexistent/ttyUSB9 not found")),
             qPrintable(link.lastError()));
    QVERIFY(link.lastError().contains(QStringLiteral("Devices present: ")) ||
            link.lastError().contains(QStringLiteral("No serial devices are present")));

    sim::ReaderSimulator simulator;
    sim::SimPty pty(&simulator);
    QVERIFY(pty.open());
    settings.serialDevice = pty.slavePath();

    {
        // Busy: another program holds the device (its lock).
        QSerialPort holder(pty.slavePath());
        QVERIFY(holder.open(QIODevice::ReadWrite));
        QVERIFY(link.connectReader(settings));
        QCOMPARE(link.state(), link::LinkState::Disconnected);
        QVERIFY2(link.lastError().contains(QStringLiteral("is busy: another program holds it")),
                 qPrintable(link.lastError()));
    }

    // Permission denied: the node's owner, group and mode are named.
    const QByteArray node = QFile::encodeName(pty.slavePath());
    struct stat original {};
    QCOMPARE(::stat(node.constData(), &original), 0);
    QCOMPARE(::chmod(node.constData(), 0), 0);
    QString message;
    {
        FilePermissionsApply dropped;
        if (dropped.works()) {
            QVERIFY(link.connectReader(settings));
            message = link.lastError();
        }
    }
    ::chmod(node.constData(), original.st_mode & 07777);
    if (message.isEmpty())
        QSKIP("cannot drop the file-permission override in this environment");
    // A pseudo-terminal's group ("tty") is not one for serial devices: no group is suggested.
    const QString group = link::deviceGroup(pty.slavePath());
    QVERIFY(!group.isEmpty());
    QVERIFY2(message.contains(QStringLiteral("Permission denied on ")), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("group \"%1\"").arg(group)), qPrintable(message));
    QCOMPARE(message.contains(QStringLiteral("sudo adduser $USER %1").arg(group)),
             link::isSerialDeviceGroup(group));
    if (!link::isSerialDeviceGroup(group))
        QVERIFY2(message.contains(QStringLiteral("with mode 0000")), qPrintable(message));
}

void TestLifecycle::tcpRefusedIsToldApart() {
    quint16 port = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    link::ReaderLink link;
    link::LinkSettings settings;
    settings.mode = link::LinkMode::Tcp;
    settings.host = QStringLiteral("127.0.0.1");
    settings.tcpPort = port;
    QSignalSpy finished(&link, &link::ReaderLink::connectFinished);
    QVERIFY(link.connectReader(settings));
    QVERIFY(finished.count() == 1 || finished.wait(3000));
    QCOMPARE(finished.first().first().toBool(), false);
    QVERIFY2(link.lastError().contains(QStringLiteral("refused")), qPrintable(link.lastError()));
    QCOMPARE(link.status(), QStringLiteral("Disconnected"));
}

QTEST_GUILESS_MAIN(TestLifecycle)
#include "tst_faults_lifecycle.moc"
