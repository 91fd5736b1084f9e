#include "faultrig.h"
#include "support/loadertimings.h"

#include "flash/firmwareloader.h"
#include "flash/loaderformat.h"
#include "flash/loaderprofile.h"
#include "loopback/loopbackengine.h"
#include "terminal/terminalsession.h"

#include <QFile>
#include <QTemporaryDir>

using namespace varo;
using namespace std::chrono_literals;
using Medium = FaultRig::Medium;

Q_DECLARE_METATYPE(varo::flash::DownloadKind)

namespace {

enum class StreamFault { Drop, SingleBytes, JustInTime, TooLate, Flood, HighBytes };

QByteArray pattern(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 50 + 3) & 0xFF);
    return bytes;
}

// Largest pending input seen at any dataArrived() of the rig's link.
struct PendingWatch {
    explicit PendingWatch(link::ReaderLink &link) {
        QObject::connect(&link, &link::ReaderLink::dataArrived, &context,
                         [this, &link] { most = std::max(most, link.pendingCount()); });
    }
    QObject context;
    qsizetype most = 0;
};

} // namespace

Q_DECLARE_METATYPE(StreamFault)

class TestStreamFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void download_data();
    void download();
    void terminal_data();
    void terminal();
    void loopback_data();
    void loopback();

private:
    QString m_image;
    QTemporaryDir m_dir;
};

void TestStreamFaults::initTestCase() {
    m_image = m_dir.filePath(QStringLiteral("image.bin"));
    QFile file(m_image);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(pattern(44 + 50 * 6));
}

void TestStreamFaults::download_data() {
    QTest::addColumn<Medium>("medium");
    QTest::addColumn<flash::DownloadKind>("kind");
    QTest::addColumn<StreamFault>("fault");
    for (const auto &[medium, mname] :
         {std::pair{Medium::Tcp, "tcp"}, std::pair{Medium::Pty, "pty"}}) {
        for (const auto &[kind, kname] : {std::pair{flash::DownloadKind::Firmware, "firmware"},
                                          std::pair{flash::DownloadKind::Boot2, "boot2"}}) {
            for (const auto &[fault, fname] :
                 {std::pair{StreamFault::Drop, "dropped mid-download"},
                  std::pair{StreamFault::SingleBytes, "one-byte pieces"},
                  std::pair{StreamFault::JustInTime, "answers just inside the timeout"},
                  std::pair{StreamFault::TooLate, "answers just outside the timeout"}})
                QTest::addRow("%s %s: %s", mname, kname, fname) << medium << kind << fault;
        }
    }
}

void TestStreamFaults::download() {
    QFETCH(Medium, medium);
    QFETCH(flash::DownloadKind, kind);
    QFETCH(StreamFault, fault);
    FaultRig rig;
    QVERIFY(rig.connect(medium));
    flash::FirmwareLoader loader(&rig.link);
    flash::LoaderTimings timings = testLoaderTimings(1000ms, 20ms);
    auto &o = rig.sim.options();
    switch (fault) {
    case StreamFault::Drop:
        o.ackDelayMs = 10;
        connect(&loader, &flash::FirmwareLoader::progressChanged, &rig.sim,
                [&rig, dropped = false](qint64 acknowledged) mutable {
                    if (acknowledged >= 96 && !std::exchange(dropped, true))
                        QTimer::singleShot(0, &rig.sim, [&rig] { rig.drop(); });
                });
        break;
    case StreamFault::SingleBytes:
        o.pieceSize = 1;
        o.pieceGapMs = 1;
        break;
    case StreamFault::JustInTime:
        timings.replyTimeout = timings.boot2ReadyTimeout = 300ms;
        o.ackDelayMs = 80;
        break;
    case StreamFault::TooLate:
        timings.replyTimeout = timings.boot2ReadyTimeout = 150ms;
        o.ackDelayMs = 400;
        break;
    default:
        break;
    }
    loader.setTimings(timings);
    QSignalSpy finished(&loader, &flash::FirmwareLoader::finished);
    const flash::LoaderProfile profile =
        flash::LoaderProfile::forDownload(kind, medium == Medium::Tcp);
    QVERIFY(loader.start(profile, m_image));
    QVERIFY(waitUntil([&] { return !finished.isEmpty(); }, 20000));
    const QString message = finished.first().first().value<link::OperationResult>().message;
    if (fault == StreamFault::Drop || fault == StreamFault::TooLate) {
        QVERIFY2(!message.isEmpty() && message != flash::texts::kComplete, qPrintable(message));
        qInfo("%s", qPrintable(message));
    } else {
        QCOMPARE(message, flash::texts::kComplete);
        const QByteArray image = pattern(44 + 50 * 6);
        QCOMPARE(rig.sim.loaderData(), image.left(image.size() - profile.trailerLength));
    }
    QVERIFY(!loader.isRunning());
    QVERIFY(!rig.link.isBusy());
    QVERIFY(rig.bounded());

    // A failed download leaves the reader in its loader: the technician reconnects and
    // downloads again.
    QVERIFY(rig.settle());
    rig.sim.options() = sim::SimOptions{};
    timings.replyTimeout = timings.boot2ReadyTimeout = 1000ms;
    loader.setTimings(timings);
    QVERIFY(rig.reconnect());
    finished.clear();
    QVERIFY(loader.start(profile, m_image));
    QVERIFY(waitUntil([&] { return !finished.isEmpty(); }, 20000));
    QCOMPARE(finished.first().first().value<link::OperationResult>().message,
             flash::texts::kComplete);
    QVERIFY(!rig.link.isBusy());
}

void TestStreamFaults::terminal_data() {
    QTest::addColumn<Medium>("medium");
    QTest::addColumn<StreamFault>("fault");
    for (const auto &[medium, mname] :
         {std::pair{Medium::Tcp, "tcp"}, std::pair{Medium::Pty, "pty"}}) {
        QTest::addRow("%s: dropped while text streams", mname) << medium << StreamFault::Drop;
        QTest::addRow("%s: one-byte pieces", mname) << medium << StreamFault::SingleBytes;
        QTest::addRow("%s: 10 MB without CR", mname) << medium << StreamFault::Flood;
        QTest::addRow("%s: NUL and high bytes", mname) << medium << StreamFault::HighBytes;
    }
}

void TestStreamFaults::terminal() {
    QFETCH(Medium, medium);
    QFETCH(StreamFault, fault);
    FaultRig rig;
    QVERIFY(rig.connect(medium));
    terminal::TerminalSession session(&rig.link);
    QVERIFY(session.start());
    PendingWatch watch(rig.link);

    switch (fault) {
    case StreamFault::Drop:
        rig.sim.streamText(QByteArray(4000, 'x'), 4000);
        QVERIFY(waitUntil([&] { return session.grid().text().count(u'x') >= 100; }, 5000));
        rig.drop();
        // A broken link ends the terminal with the reason, so keys do not go nowhere.
        QVERIFY(waitUntil([&] { return !session.isRunning(); }, 1000));
        QVERIFY2(session.statusText().startsWith(QStringLiteral("Link lost: ")),
                 qPrintable(session.statusText()));
        QVERIFY(!session.keyPress(Qt::Key_V, Qt::NoModifier, QStringLiteral("V"), false));
        break;
    case StreamFault::SingleBytes:
        rig.sim.options().pieceSize = 1;
        session.type("V\r");
        QVERIFY(waitUntil(
            [&] { return session.grid().text().remove(u'\n').contains("VARO SIM V1.0"); }, 5000));
        break;
    case StreamFault::Flood:
        rig.sim.streamText(QByteArray(10 * 1024 * 1024, '7'), 0);
        QVERIFY(waitUntil([&] { return !rig.sim.streaming(); }, 20000));
        QVERIFY(rig.settle());
        // Under a flood the oldest unread input is dropped, so where the text ends varies.
        session.clearScreen();
        session.type("V\r");
        QVERIFY(waitUntil(
            [&] { return session.grid().text().remove(u'\n').contains("VARO SIM V1.0"); }, 15000));
        break;
    case StreamFault::HighBytes:
        rig.sim.streamText(kOddText, 0);
        rig.sim.options().firmwareId = "<b>VARO</b>&amp;";
        session.type("V\r");
        QVERIFY(
            waitUntil([&] { return session.grid().text().contains("<b>VARO</b>&amp;"); }, 5000));
        QVERIFY(session.grid().text().contains(QStringLiteral("<b>")));
        break;
    default:
        break;
    }
    QVERIFY2(watch.most <= link::ReaderLink::kMaxPendingBytes,
             qPrintable(QString::number(watch.most)));
    QVERIFY(rig.bounded());
    session.stop();
    QVERIFY(!rig.link.isBusy());

    rig.sim.stopStream();
    rig.sim.options() = sim::SimOptions{};
    if (fault == StreamFault::Drop)
        QVERIFY(rig.reconnect());
    QVERIFY(rig.settle());
    QCOMPARE(rig.exchangeV(), QByteArray("VARO SIM V1.0"));
}

void TestStreamFaults::loopback_data() {
    QTest::addColumn<Medium>("medium");
    QTest::addColumn<StreamFault>("fault");
    for (const auto &[medium, mname] :
         {std::pair{Medium::Tcp, "tcp"}, std::pair{Medium::Pty, "pty"}}) {
        QTest::addRow("%s: dropped mid-test", mname) << medium << StreamFault::Drop;
        QTest::addRow("%s: 3 MB of noise", mname) << medium << StreamFault::Flood;
    }
}

void TestStreamFaults::loopback() {
    QFETCH(Medium, medium);
    QFETCH(StreamFault, fault);
    FaultRig rig;
    QVERIFY(rig.connect(medium));
    loopback::LoopbackEngine engine(&rig.link);
    loopback::LoopbackTimings timings;
    timings.settleSerial = timings.settleTcp = 20ms;
    timings.echoSerial = timings.echoTcp = 5ms;
    timings.passes = 1;
    engine.setTimings(timings);
    QStringList lines;
    connect(&engine, &loopback::LoopbackEngine::lineAdded,
            [&lines](const QString &line) { lines << line; });
    PendingWatch watch(rig.link);
    // The fault strikes when the reader has echoed 20 bytes.
    bool struck = false;
    connect(&rig.sim, &sim::ReaderSimulator::bytesReceived, &rig.sim, [&] {
        if (struck || rig.sim.mode() != sim::ReaderSimulator::Mode::Loopback ||
            rig.sim.echoedBytes() < 20)
            return;
        struck = true;
        QTimer::singleShot(0, &rig.sim, [&rig, fault] {
            if (fault == StreamFault::Drop)
                rig.drop();
            else
                rig.sim.streamText(QByteArray(3 * 1024 * 1024, '\xAA'), 0);
        });
    });
    QVERIFY(engine.start());
    QVERIFY(waitUntil([&] { return !engine.isRunning(); }, 20000));
    QVERIFY(!lines.isEmpty());
    QVERIFY2(lines.last().endsWith(QStringLiteral(": end of test")), qPrintable(lines.last()));
    if (fault == StreamFault::Drop) {
        // A broken link ends the test at once instead of timing out byte after byte.
        QVERIFY(engine.charactersSent() >= 20);
        QVERIFY(engine.charactersSent() < 256);
    } else {
        QCOMPARE(engine.charactersSent(), 256);
        // Noise shows as timeouts (several bytes waiting) or bad echoes, depending on how it
        // arrives.
        const qsizetype faults = lines.filter(QStringLiteral(": timeout")).size() +
                                 lines.filter(QStringLiteral(": bad echo")).size();
        QVERIFY(faults > 0);
    }
    QVERIFY2(watch.most <= link::ReaderLink::kMaxPendingBytes,
             qPrintable(QString::number(watch.most)));
    QVERIFY(rig.bounded());
    QVERIFY(!rig.link.isBusy());

    // The reader still echoes: connecting again returns it to line mode.
    rig.sim.options() = sim::SimOptions{};
    QVERIFY(rig.settle());
    QVERIFY(rig.reconnect());
    QCOMPARE(rig.exchangeV(), QByteArray("VARO SIM V1.0"));
}

QTEST_GUILESS_MAIN(TestStreamFaults)
#include "tst_faults_stream.moc"
