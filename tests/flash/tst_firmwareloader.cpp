#include "flash/firmwareloader.h"
#include "flash/loaderformat.h"
#include "imagefiles.h"
#include "support/fakelink.h"
#include "support/loadertimings.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace varo::flash;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(varo::flash::DownloadKind)

namespace {

LoaderTimings fastTimings() {
    return testLoaderTimings(300ms);
}

// One download over a fake link, with the spies every case looks at.
struct Download {
    Download(DownloadKind kind, bool tcp, LoaderTimings timings = fastTimings())
        : fake(tcp)
        , loader(&fake.link)
        , profile(LoaderProfile::forDownload(kind, tcp))
        , finished(&loader, &FirmwareLoader::finished)
        , status(&loader, &FirmwareLoader::statusTextChanged) {
        loader.setTimings(timings);
        loader.setClock([] { return QDate(2010, 3, 5); });
    }

    bool start(const QByteArray &image) { return loader.start(profile, files.write(image)); }
    QList<QByteArray> &writes() { return fake.transport->writes; }
    void answer(const QByteArray &bytes) { fake.transport->receive(bytes); }
    QString message() const {
        return finished.isEmpty()
                   ? QString()
                   : finished.last().first().value<varo::link::OperationResult>().message;
    }
    QString lastStatus() const {
        return status.isEmpty() ? QString() : status.last().first().toString();
    }
    // Waits for the start request after the entry pause and answers it.
    bool reachBlocks(const QByteArray &ready) {
        if (!QTest::qWaitFor([this] { return writes().size() == 2; }, 2000))
            return false;
        answer(ready);
        return writes().size() > 2;
    }

    ImageFiles files;
    FakeLink fake;
    FirmwareLoader loader;
    LoaderProfile profile;
    QSignalSpy finished;
    QSignalSpy status;
};

QByteArray block(const QByteArray &data) {
    return char(data.size()) + data + char(blockChecksum(data));
}

} // namespace

class TestFirmwareLoader : public QObject {
    Q_OBJECT
private slots:
    void imagesWithoutDataAreRefusedBeforeAnyByte_data();
    void imagesWithoutDataAreRefusedBeforeAnyByte();
    void unreadableFileEndsBeforeAnyByte();
    void refusedWhileTheLinkIsBusy();
    void eachGroupSentWithoutWaitIsOneWrite();
    void readyReplyMustMatchExactly_data();
    void readyReplyMustMatchExactly();
    void serialDrainKeepsTheLastCharacter_data();
    void serialDrainKeepsTheLastCharacter();
    void wrongReplyFailsAtOnce_data();
    void wrongReplyFailsAtOnce();
    void tcpAcknowledgementDropsTheRestOfItsBlock();
    void linkFailureEndsTheDownload_data();
    void linkFailureEndsTheDownload();
};

void TestFirmwareLoader::imagesWithoutDataAreRefusedBeforeAnyByte_data() {
    QTest::addColumn<DownloadKind>("kind");
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<int>("size");
    QTest::newRow("firmware tcp, trailer only") << DownloadKind::Firmware << true << 44;
    QTest::newRow("firmware serial, short") << DownloadKind::Firmware << false << 10;
    QTest::newRow("firmware serial, empty") << DownloadKind::Firmware << false << 0;
    QTest::newRow("boot2 tcp, trailer only") << DownloadKind::Boot2 << true << 44;
    QTest::newRow("boot2 serial, empty") << DownloadKind::Boot2 << false << 0;
}

void TestFirmwareLoader::imagesWithoutDataAreRefusedBeforeAnyByte() {
    QFETCH(DownloadKind, kind);
    QFETCH(bool, tcp);
    QFETCH(int, size);
    Download d(kind, tcp);
    QVERIFY(d.start(ImageFiles::pattern(size)));
    QCOMPARE(d.finished.count(), 1);
    QCOMPARE(d.message(), QStringLiteral("Early end of binary file"));
    QVERIFY(d.writes().isEmpty());
    QVERIFY(!d.loader.isRunning());
    QVERIFY(!d.fake.link.isBusy());
}

void TestFirmwareLoader::unreadableFileEndsBeforeAnyByte() {
    Download d(DownloadKind::Firmware, true);
    const QString missing = d.files.path(QStringLiteral("gone.bin"));
    QVERIFY(d.loader.start(d.profile, missing));
    QCOMPARE(d.finished.count(), 1);
    QVERIFY2(d.message().contains(missing), qPrintable(d.message()));
    QVERIFY(d.writes().isEmpty());
    QVERIFY(!d.fake.link.isBusy());
}

void TestFirmwareLoader::refusedWhileTheLinkIsBusy() {
    Download d(DownloadKind::Firmware, true);
    {
        const varo::link::OperationClaim terminal =
            d.fake.link.claim(varo::link::Operation::Terminal);
        QVERIFY(!d.start(ImageFiles::pattern(144)));
        QVERIFY(d.writes().isEmpty());
        QVERIFY(d.finished.isEmpty());
    }

    QVERIFY(d.start(ImageFiles::pattern(144)));
    QCOMPARE(d.fake.link.activeOperationName(), QStringLiteral("Firmware download"));
    QVERIFY(!d.start(ImageFiles::pattern(144))); // one download at a time
    QTRY_COMPARE(d.finished.count(), 1);
    QVERIFY(!d.fake.link.isBusy());
}

void TestFirmwareLoader::eachGroupSentWithoutWaitIsOneWrite() {
    Download d(DownloadKind::Firmware, true);
    const QByteArray image = ImageFiles::pattern(100); // 56 data bytes: blocks of 50 and 6
    const QByteArray data = image.left(56);
    const QByteArray trailer = image.right(44);
    QVERIFY(d.start(image));
    QCOMPARE(d.writes().size(), 1); // the entry sequence, then the pause
    QVERIFY(d.reachBlocks("TK"));
    d.answer("K");
    QCOMPARE(d.lastStatus(), QStringLiteral("Downloading - 100 % complete"));
    d.answer("K");
    QVERIFY(d.finished.isEmpty());
    d.answer("B");
    QCOMPARE(d.finished.count(), 1);
    QCOMPARE(d.message(), QStringLiteral("Download complete"));
    QVERIFY(!d.fake.link.isBusy());

    const QByteArray expected = kEntrySequence + "B" + block(data.left(50)) + block(data.mid(50)) +
                                '\0' + trailer + "03052010";
    QCOMPARE(d.fake.transport->sent(), expected);
    // Entry sequence, start request, each block (length, data, checksum) and the tail (end
    // mark, trailer, date): one write each.
    QCOMPARE(d.writes(), QByteArrayList({kEntrySequence, "B", block(data.left(50)),
                                         block(data.mid(50)), '\0' + trailer + "03052010"}));

    QStringList statuses;
    for (const QList<QVariant> &args : std::as_const(d.status))
        statuses << args.first().toString();
    QCOMPARE(statuses, QStringList({"Preparing to Download Flash", "Downloading - 89 % complete",
                                    "Downloading - 100 % complete", ""}));
}

void TestFirmwareLoader::readyReplyMustMatchExactly_data() {
    QTest::addColumn<DownloadKind>("kind");
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QString>("failure"); // empty: the blocks start
    QTest::addColumn<QString>("status");  // status line after the failure

    const QString preparing = QStringLiteral("Preparing to Download Flash");
    const QString serialTimeout = QStringLiteral("Timeout Error, error code 1");
    QTest::newRow("serial T and K apart")
        << DownloadKind::Firmware << false << QByteArrayList{"T", "K"} << QString() << QString();
    QTest::newRow("serial character before")
        << DownloadKind::Firmware << false << QByteArrayList{"xTK"} << serialTimeout << QString();
    QTest::newRow("serial character between")
        << DownloadKind::Firmware << false << QByteArrayList{"T", "x", "K"} << serialTimeout
        << QString();
    QTest::newRow("tcp T and K in two blocks")
        << DownloadKind::Firmware << true << QByteArrayList{"T", "K"} << QString() << QString();
    QTest::newRow("tcp CR after TK") << DownloadKind::Firmware << true << QByteArrayList{"TK\r"}
                                     << QStringLiteral("Timeout Error") << preparing;
    QTest::newRow("tcp character after K")
        << DownloadKind::Firmware << true << QByteArrayList{"T", "Kx"}
        << QStringLiteral("Timeout Error") << preparing;
    QTest::newRow("boot2 serial YK")
        << DownloadKind::Boot2 << false << QByteArrayList{"Y", "K"} << QString() << QString();
    QTest::newRow("boot2 serial TK")
        << DownloadKind::Boot2 << false << QByteArrayList{"TK"} << serialTimeout << preparing;
    QTest::newRow("boot2 tcp TK") << DownloadKind::Boot2 << true << QByteArrayList{"TK"}
                                  << QString() << QString();
}

void TestFirmwareLoader::readyReplyMustMatchExactly() {
    QFETCH(DownloadKind, kind);
    QFETCH(bool, tcp);
    QFETCH(QByteArrayList, pieces);
    QFETCH(QString, failure);
    QFETCH(QString, status);

    Download d(kind, tcp);
    QVERIFY(d.start(ImageFiles::pattern(144)));
    QTRY_COMPARE(d.writes().size(), 2);
    QCOMPARE(d.writes().at(1), QByteArray(kind == DownloadKind::Boot2 && !tcp ? "w" : "B"));
    for (const QByteArray &piece : std::as_const(pieces))
        d.answer(piece);

    if (failure.isEmpty()) {
        QVERIFY(d.writes().size() > 2);
        QVERIFY(d.finished.isEmpty());
        return;
    }
    QCOMPARE(d.writes().size(), 2);
    QTRY_COMPARE(d.finished.count(), 1);
    QCOMPARE(d.message(), failure);
    QCOMPARE(d.lastStatus(), status);
    QCOMPARE(d.writes().size(), 2);
}

void TestFirmwareLoader::serialDrainKeepsTheLastCharacter_data() {
    QTest::addColumn<QByteArray>("duringPause");
    QTest::addColumn<QByteArray>("afterRequest");
    QTest::addColumn<bool>("ready");
    QTest::newRow("kept T completes the reply") << QByteArray("xyT") << QByteArray("K") << true;
    QTest::newRow("kept noise spoils the reply") << QByteArray("xy") << QByteArray("TK") << false;
}

void TestFirmwareLoader::serialDrainKeepsTheLastCharacter() {
    QFETCH(QByteArray, duringPause);
    QFETCH(QByteArray, afterRequest);
    QFETCH(bool, ready);

    LoaderTimings timings = fastTimings();
    timings.serialEntryPause = 200ms;
    Download d(DownloadKind::Firmware, false, timings);
    QVERIFY(d.start(ImageFiles::pattern(144)));
    d.answer(duringPause);
    QTRY_COMPARE(d.writes().size(), 2);
    d.answer(afterRequest);
    if (ready) {
        QTRY_VERIFY(d.writes().size() > 2);
        QVERIFY(d.finished.isEmpty());
    } else {
        QTRY_COMPARE(d.finished.count(), 1);
        QCOMPARE(d.message(), QStringLiteral("Timeout Error, error code 1"));
    }
}

void TestFirmwareLoader::wrongReplyFailsAtOnce_data() {
    QTest::addColumn<DownloadKind>("kind");
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<int>("goodReplies"); // "K"/"B" before the wrong one
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("statusEmptied");

    QTest::newRow("serial full block")
        << DownloadKind::Firmware << false << 0 << "Download Error, error code 2" << true;
    QTest::newRow("serial last block")
        << DownloadKind::Firmware << false << 1 << "Download Error, error code 3" << true;
    QTest::newRow("serial final B")
        << DownloadKind::Firmware << false << 2 << "Download Error, error code 4" << true;
    QTest::newRow("tcp full block")
        << DownloadKind::Firmware << true << 0 << "Download Error" << false;
    QTest::newRow("tcp final B") << DownloadKind::Firmware << true << 2 << "Download Error"
                                 << false;
    QTest::newRow("boot2 serial last block")
        << DownloadKind::Boot2 << false << 1 << "Download Error, error code 3" << false;
    QTest::newRow("boot2 serial final B")
        << DownloadKind::Boot2 << false << 2 << "Download Error, error code 4" << false;
    QTest::newRow("boot2 tcp second fill pass")
        << DownloadKind::Boot2 << true << 4 << "Download Error" << false;
}

void TestFirmwareLoader::wrongReplyFailsAtOnce() {
    QFETCH(DownloadKind, kind);
    QFETCH(bool, tcp);
    QFETCH(int, goodReplies);
    QFETCH(QString, message);
    QFETCH(bool, statusEmptied);

    // Real waits: a wrong character must end the wait without running into its 10 s.
    LoaderTimings timings;
    timings.tcpEntryPause = timings.serialEntryPause = timings.boot2SerialEntryPause = 10ms;
    Download d(kind, tcp, timings);
    QVERIFY(d.start(ImageFiles::pattern(kind == DownloadKind::Boot2 && !tcp ? 64 : 144)));
    QVERIFY(d.reachBlocks(kind == DownloadKind::Boot2 && !tcp ? "YK" : "TK"));
    const QByteArray replies = "KKBBB";
    for (int i = 0; i < goodReplies; ++i)
        d.answer(QByteArray(1, replies.at(i)));
    QVERIFY(d.finished.isEmpty());
    const QString before = d.lastStatus();
    QElapsedTimer clock;
    clock.start();
    d.answer("N");
    QTRY_COMPARE_WITH_TIMEOUT(d.finished.count(), 1, 1000);
    QVERIFY(clock.elapsed() < 1000);
    QCOMPARE(d.message(), message);
    QCOMPARE(d.lastStatus(), statusEmptied ? QString() : before);
    QVERIFY(!d.fake.link.isBusy());
}

void TestFirmwareLoader::tcpAcknowledgementDropsTheRestOfItsBlock() {
    Download d(DownloadKind::Firmware, true);
    QVERIFY(d.start(ImageFiles::pattern(194))); // three blocks of 50
    QVERIFY(d.reachBlocks("TK"));
    const qsizetype afterFirst = d.writes().size();
    d.answer("KKK");
    QCOMPARE(d.writes().size(), afterFirst + 1); // only the second block went out
    QCOMPARE(d.writes().last().size(), 52);
    QTest::qWait(50);
    QCOMPARE(d.writes().size(), afterFirst + 1);
    QVERIFY(d.finished.isEmpty());
    d.answer("K");
    d.answer("Kxyz");
    d.answer("B");
    QCOMPARE(d.message(), QStringLiteral("Download complete"));
}

void TestFirmwareLoader::linkFailureEndsTheDownload_data() {
    QTest::addColumn<bool>("disconnect");
    QTest::addColumn<QString>("message");
    QTest::newRow("medium broke") << false << "Download Error, error code 2\nConnection reset";
    QTest::newRow("user disconnected")
        << true << "Download Error, error code 2\nThe link to the reader was closed.";
}

void TestFirmwareLoader::linkFailureEndsTheDownload() {
    QFETCH(bool, disconnect);
    QFETCH(QString, message);
    LoaderTimings timings = fastTimings();
    timings.replyTimeout = 5s;
    Download d(DownloadKind::Firmware, false, timings);
    QVERIFY(d.start(ImageFiles::pattern(144)));
    QVERIFY(d.reachBlocks("TK"));
    if (disconnect)
        QVERIFY(d.fake.link.disconnectReader());
    else
        d.fake.transport->breakDown(QStringLiteral("Connection reset"));
    QCOMPARE(d.finished.count(), 1);
    QCOMPARE(d.message(), message);
    QCOMPARE(d.finished.first().first().value<varo::link::OperationResult>().code,
             disconnect ? varo::link::ResultCode::Disconnected : varo::link::ResultCode::LinkError);
    QVERIFY(!d.fake.link.isBusy());
}

QTEST_GUILESS_MAIN(TestFirmwareLoader)
#include "tst_firmwareloader.moc"
