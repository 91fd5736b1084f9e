#include "flash/firmwareloader.h"
#include "imagefiles.h"
#include "link/readerlink.h"
#include "support/loadertimings.h"
#include "support/simlink.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace varo;
using namespace varo::flash;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(varo::flash::DownloadKind)

namespace {

// A download against the reader simulator, over TCP on 127.0.0.1 or a pseudo-terminal.
struct SimDownload : SimLink {
    explicit SimDownload(std::chrono::milliseconds replyTimeout = 3000ms)
        : SimLink(replyTimeout)
        , loader(&link)
        , finished(&loader, &FirmwareLoader::finished)
        , status(&loader, &FirmwareLoader::statusTextChanged)
        , progress(&loader, &FirmwareLoader::progressChanged) {
        loader.setTimings(testLoaderTimings(replyTimeout, 20ms));
        loader.setClock([] { return QDate(2010, 3, 5); });
    }

    bool connect(bool tcp) { return SimLink::connect(tcp ? Medium::Tcp : Medium::Pty); }

    bool run(DownloadKind kind, const QByteArray &image, int timeoutMs = 10000) {
        const LoaderProfile profile = LoaderProfile::forDownload(kind, link.settings().isTcp());
        // A real event loop: qWaitFor's 10 ms naps would dominate thousands of round trips.
        return loader.start(profile, files.write(image)) &&
               (!finished.isEmpty() || finished.wait(timeoutMs));
    }

    QString message() const {
        return finished.isEmpty() ? QString()
                                  : finished.last().first().value<link::OperationResult>().message;
    }
    QStringList statuses() const {
        QStringList texts;
        for (const QList<QVariant> &args : status)
            texts << args.first().toString();
        return texts;
    }

    ImageFiles files;
    FirmwareLoader loader;
    QSignalSpy finished;
    QSignalSpy status;
    QSignalSpy progress;
};

} // namespace

class TestFlashDownloadSim : public QObject {
    Q_OBJECT
private slots:
    void firmwareImage_data();
    void firmwareImage();
    void bootloaderExtensionOverSerial_data();
    void bootloaderExtensionOverSerial();
    void bootloaderExtensionOverTcpSendsTwoFillPasses();
    void failuresNameTheStep_data();
    void failuresNameTheStep();
};

void TestFlashDownloadSim::firmwareImage_data() {
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<int>("timeLimitMs");
    for (const bool tcp : {true, false}) {
        const char *medium = tcp ? "tcp" : "serial";
        QTest::addRow("%s, 144 bytes: full and last block of 50", medium)
            << tcp << 144 << 2 << 5000;
        QTest::addRow("%s, 45 bytes: last block of 1", medium) << tcp << 45 << 1 << 5000;
        QTest::addRow("%s, data a multiple of 50", medium) << tcp << 44 + 250 << 5 << 5000;
    }
    const int large = 256 * 1024;
    QTest::newRow("tcp, 256 KiB") << true << large << (large - 44 + 49) / 50 << 20000;
    QTest::newRow("serial, 256 KiB") << false << large << (large - 44 + 49) / 50 << 20000;
}

void TestFlashDownloadSim::firmwareImage() {
    QFETCH(bool, tcp);
    QFETCH(int, size);
    QFETCH(int, blocks);
    QFETCH(int, timeLimitMs);

    SimDownload d;
    QVERIFY(d.connect(tcp));
    const QByteArray image = ImageFiles::pattern(size);
    // The event loop keeps running between the blocks: a timer of the user interface ticks.
    QTimer heartbeat;
    int beats = 0;
    QObject::connect(&heartbeat, &QTimer::timeout, [&beats] { ++beats; });
    heartbeat.start(5);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(d.run(DownloadKind::Firmware, image, timeLimitMs));
    const qint64 elapsed = clock.elapsed();
    qInfo("%d bytes in %lld ms, %d timer ticks", size, elapsed, beats);
    if (elapsed > 50)
        QVERIFY(beats >= elapsed / 25);
    QCOMPARE(d.message(), QStringLiteral("Download complete"));

    QCOMPARE(d.sim.loaderCommand(), QByteArray("B"));
    QCOMPARE(d.sim.loaderBlocks(), blocks);
    QCOMPARE(d.sim.rejectedBlocks(), 0);
    QVERIFY(d.sim.loaderData() == image.left(size - 44));
    QCOMPARE(d.sim.loaderTrailer(), image.right(44));
    QCOMPARE(d.sim.loaderDate(), QByteArray("03052010"));
    QVERIFY(d.sim.loaderComplete());
    QCOMPARE(d.sim.fillPasses(), 0);

    const QStringList statuses = d.statuses();
    QCOMPARE(statuses.first(), QStringLiteral("Preparing to Download Flash"));
    QCOMPARE(statuses.at(statuses.size() - 2), QStringLiteral("Downloading - 100 % complete"));
    QCOMPARE(statuses.last(), QString());
    QCOMPARE(statuses.size(), blocks + 2);
    if (size == 144)
        QCOMPARE(statuses.at(1), QStringLiteral("Downloading - 50 % complete"));
    const QList<QVariant> last = d.progress.last();
    QCOMPARE(last.at(0).toLongLong(), qint64(size - 44));
    QCOMPARE(last.at(1).toLongLong(), qint64(size - 44));
    QVERIFY(!d.link.isBusy());
}

void TestFlashDownloadSim::bootloaderExtensionOverSerial_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("progress");
    QTest::newRow("64 bytes: full block of 32 and last block of 32")
        << 64 << "Downloading - 50 % complete";
    QTest::newRow("33 bytes: full block of 32 and last block of 1")
        << 33 << "Downloading - 96 % complete";
}

void TestFlashDownloadSim::bootloaderExtensionOverSerial() {
    QFETCH(int, size);
    QFETCH(QString, progress);
    SimDownload d;
    QVERIFY(d.connect(false));
    const QByteArray image = ImageFiles::pattern(size);
    QVERIFY(d.run(DownloadKind::Boot2, image));
    QCOMPARE(d.message(), QStringLiteral("Download complete"));
    QCOMPARE(d.sim.loaderCommand(), QByteArray("w"));
    QCOMPARE(d.sim.loaderBlocks(), 2);
    QCOMPARE(d.sim.loaderData(), image);
    QVERIFY(d.sim.loaderTrailer().isEmpty());
    QVERIFY(d.sim.loaderDate().isEmpty());
    QVERIFY(d.sim.loaderComplete());
    QCOMPARE(d.statuses(), QStringList({"Preparing to Download Flash", progress, ""}));
}

void TestFlashDownloadSim::bootloaderExtensionOverTcpSendsTwoFillPasses() {
    SimDownload d;
    QVERIFY(d.connect(true));
    const QByteArray image = ImageFiles::pattern(144);
    QVERIFY(d.run(DownloadKind::Boot2, image));
    QCOMPARE(d.message(), QStringLiteral("Download complete"));
    QCOMPARE(d.sim.loaderCommand(), QByteArray("B"));
    QCOMPARE(d.sim.loaderData(), image.left(100));
    QCOMPARE(d.sim.loaderTrailer(), image.right(44));
    QCOMPARE(d.sim.loaderDate(), QByteArray("03052010"));
    QCOMPARE(d.sim.fillPasses(), 2);
    QCOMPARE(d.sim.received().right(2 * 52), QByteArray(2 * 52, char(0xFF)));
    QVERIFY(!d.statuses().contains(QStringLiteral("Downloading - 100 % complete")));
}

void TestFlashDownloadSim::failuresNameTheStep_data() {
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<DownloadKind>("kind");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("statusEmptied");

    const auto fw = DownloadKind::Firmware;
    const auto b2 = DownloadKind::Boot2;
    QTest::newRow("serial, no TK") << false << fw << "noReadyReply"
                                   << "Timeout Error, error code 1" << true;
    QTest::newRow("serial, full block unanswered") << false << fw << "silentAtBlock=1"
                                                   << "Download Error, error code 2" << true;
    QTest::newRow("serial, last block unanswered") << false << fw << "silentAtBlock=2"
                                                   << "Download Error, error code 3" << true;
    QTest::newRow("serial, block refused") << false << fw << "wrongAckAtBlock=1"
                                           << "Download Error, error code 2" << true;
    QTest::newRow("serial, no final B") << false << fw << "noFinalB"
                                        << "Download Error, error code 4" << true;
    QTest::newRow("tcp, no TK") << true << fw << "noReadyReply"
                                << "Timeout Error" << false;
    QTest::newRow("tcp, last block unanswered") << true << fw << "silentAtBlock=2"
                                                << "Download Error" << false;
    QTest::newRow("tcp, no final B") << true << fw << "noFinalB"
                                     << "Download Error" << false;
    QTest::newRow("boot2 serial, no YK") << false << b2 << "noReadyReply"
                                         << "Timeout Error, error code 1" << false;
    QTest::newRow("boot2 serial, last block unanswered") << false << b2 << "silentAtBlock=2"
                                                         << "Download Error, error code 3" << false;
    QTest::newRow("boot2 serial, no final B") << false << b2 << "noFinalB"
                                              << "Download Error, error code 4" << false;
    QTest::newRow("boot2 tcp, no final B") << true << b2 << "noFinalB"
                                           << "Download Error" << false;
}

void TestFlashDownloadSim::failuresNameTheStep() {
    QFETCH(bool, tcp);
    QFETCH(DownloadKind, kind);
    QFETCH(QString, fault);
    QFETCH(QString, message);
    QFETCH(bool, statusEmptied);

    SimDownload d(300ms);
    sim::SimOptions &options = d.sim.options();
    if (fault == QLatin1String("noReadyReply"))
        options.noReadyReply = true;
    else if (fault == QLatin1String("noFinalB"))
        options.noFinalB = true;
    else if (fault.startsWith(QLatin1String("silentAtBlock=")))
        options.silentAtBlock = fault.section(QLatin1Char('='), 1).toInt();
    else if (fault.startsWith(QLatin1String("wrongAckAtBlock=")))
        options.wrongAckAtBlock = fault.section(QLatin1Char('='), 1).toInt();
    QVERIFY(d.connect(tcp));
    QVERIFY(d.run(kind, ImageFiles::pattern(kind == DownloadKind::Boot2 && !tcp ? 64 : 144)));
    QCOMPARE(d.message(), message);
    const QStringList statuses = d.statuses();
    if (statusEmptied)
        QCOMPARE(statuses.last(), QString());
    else
        QVERIFY(!statuses.last().isEmpty());
    QVERIFY(!d.link.isBusy());
    QVERIFY(d.link.isConnected());
}

QTEST_GUILESS_MAIN(TestFlashDownloadSim)
#include "tst_flashdownload_sim.moc"
