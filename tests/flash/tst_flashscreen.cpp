#include "flash/flashscreen.h"
#include "imagefiles.h"
#include "support/fakelink.h"
#include "support/loadertimings.h"

#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace varo::flash;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(varo::flash::DownloadKind)

namespace {

// Hands out the queued answers one per dialog; nothing queued means the user cancelled.
struct ScriptedChooser {
    QList<std::optional<QString>> answers;
    int calls = 0;
    FileChooser chooser() {
        return [this](QWidget *, FileChosen done) {
            ++calls;
            done(answers.isEmpty() ? std::nullopt : answers.takeFirst());
        };
    }
};

template <typename T> T *child(QWidget &screen, const char *name) {
    return screen.findChild<T *>(QString::fromLatin1(name));
}

} // namespace

class TestFlashScreen : public QObject {
    Q_OBJECT
private slots:
    void screensCarryTheirNamesAndTexts_data();
    void screensCarryTheirNamesAndTexts();
    void cancelledChoiceLeavesNothingToStart();
    void downloadReportsProgressAndEndsInAMessage_data();
    void downloadReportsProgressAndEndsInAMessage();
    void busyOrBrokenLinkRefusesStart_data();
    void busyOrBrokenLinkRefusesStart();
};

void TestFlashScreen::screensCarryTheirNamesAndTexts_data() {
    QTest::addColumn<DownloadKind>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("title");
    QTest::newRow("flashdl") << DownloadKind::Firmware << "flashdl"
                             << "Varo Series  Flash Download"
                             << "Varo Series  Flash Download";
    QTest::newRow("flashboot2") << DownloadKind::Boot2 << "flashboot2"
                                << "Flash Boot 2"
                                << "Tessel Bootloader Extension Download";
}

void TestFlashScreen::screensCarryTheirNamesAndTexts() {
    QFETCH(DownloadKind, kind);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, title);
    FakeLink fake(true);
    FlashScreen screen(&fake.link, kind);
    QCOMPARE(screen.objectName(), name);
    QCOMPARE(screen.windowTitle(), caption);
    QCOMPARE(child<QLabel>(screen, "Label2")->text(), title);
    QCOMPARE(child<QPushButton>(screen, "Label4")->text(),
             QStringLiteral("Select File to Download"));
    QCOMPARE(child<QPushButton>(screen, "Label8")->text(), QStringLiteral("Start Flash Download"));
    for (const char *label : {"Label1", "Label3"}) {
        QVERIFY(child<QLabel>(screen, label)->text().isEmpty());
        QCOMPARE(child<QLabel>(screen, label)->textFormat(), Qt::PlainText);
    }
    // Title on top; the buttons one under the other; file and status lines right of them, the
    // progress bar under the status line.
    const QRect heading = child<QLabel>(screen, "Label2")->geometry();
    const QRect select = child<QPushButton>(screen, "Label4")->geometry();
    const QRect start = child<QPushButton>(screen, "Label8")->geometry();
    const QRect file = child<QLabel>(screen, "Label1")->geometry();
    const QRect status = child<QLabel>(screen, "Label3")->geometry();
    const QRect progress = child<QProgressBar>(screen, "progressBar")->geometry();
    QVERIFY(select.top() > heading.bottom() && start.top() > select.bottom());
    QVERIFY(file.left() > select.right() && status.left() > start.right());
    QVERIFY(status.top() > file.bottom() && progress.top() > status.bottom());
}

void TestFlashScreen::cancelledChoiceLeavesNothingToStart() {
    FakeLink fake(true);
    FlashScreen screen(&fake.link, DownloadKind::Firmware);
    ImageFiles files;
    const QString path = files.write(ImageFiles::pattern(144));
    ScriptedChooser chooser;
    chooser.answers = {path};
    screen.setFileChooser(chooser.chooser());

    QTest::mouseClick(child<QPushButton>(screen, "Label4"), Qt::LeftButton);
    QCOMPARE(screen.downloadFile(), path);
    QCOMPARE(child<QLabel>(screen, "Label1")->text(), path);

    QTest::mouseClick(child<QPushButton>(screen, "Label4"), Qt::LeftButton); // cancelled
    QCOMPARE(chooser.calls, 2);
    QVERIFY(screen.downloadFile().isEmpty());
    QCOMPARE(child<QLabel>(screen, "Label1")->text(), path);
    QVERIFY(!screen.isBusy());

    QTest::mouseClick(child<QPushButton>(screen, "Label8"), Qt::LeftButton);
    QVERIFY(!screen.isBusy());
    QVERIFY(!fake.link.isBusy());
    QTest::qWait(30);
    QVERIFY(fake.transport->writes.isEmpty());
}

void TestFlashScreen::downloadReportsProgressAndEndsInAMessage_data() {
    QTest::addColumn<DownloadKind>("kind");
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("ready");
    QTest::newRow("flashdl over tcp")
        << DownloadKind::Firmware << true << QByteArray("B") << QByteArray("TK");
    QTest::newRow("flashboot2 over serial")
        << DownloadKind::Boot2 << false << QByteArray("w") << QByteArray("YK");
}

void TestFlashScreen::downloadReportsProgressAndEndsInAMessage() {
    QFETCH(DownloadKind, kind);
    QFETCH(bool, tcp);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, ready);

    FakeLink fake(tcp);
    FlashScreen screen(&fake.link, kind);
    screen.setTimings(testLoaderTimings(2000ms));
    ImageFiles files;
    ScriptedChooser chooser;
    chooser.answers = {files.write(ImageFiles::pattern(tcp ? 144 : 64))};
    screen.setFileChooser(chooser.chooser());
    screen.show();
    QSignalSpy finished(&screen, &FlashScreen::downloadFinished);

    QTest::mouseClick(child<QPushButton>(screen, "Label4"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(screen, "Label8"), Qt::LeftButton);
    QVERIFY(screen.isBusy());
    QCOMPARE(child<QLabel>(screen, "Label3")->text(),
             QStringLiteral("Preparing to Download Flash"));

    // Both buttons are ignored while the download runs.
    QTest::mouseClick(child<QPushButton>(screen, "Label4"), Qt::LeftButton);
    QCOMPARE(chooser.calls, 1);

    QTRY_COMPARE(fake.transport->writes.size(), 2);
    QCOMPARE(fake.transport->writes.at(1), request);
    fake.transport->receive(ready);
    fake.transport->receive("K");
    QCOMPARE(child<QLabel>(screen, "Label3")->text(),
             tcp ? QStringLiteral("Downloading - 100 % complete")
                 : QStringLiteral("Downloading - 50 % complete"));
    const QProgressBar *bar = child<QProgressBar>(screen, "progressBar");
    QCOMPARE(bar->value(), bar->maximum() / 2);
    fake.transport->receive("K");
    fake.transport->receive("B");

    QCOMPARE(finished.count(), 1);
    QVERIFY(!screen.isBusy());
    QVERIFY(child<QLabel>(screen, "Label3")->text().isEmpty());
    QCOMPARE(bar->value(), bar->maximum());
    const QList<QMessageBox *> boxes = screen.findChildren<QMessageBox *>();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first()->text(), QStringLiteral("Download complete"));
    QCOMPARE(boxes.first()->textFormat(), Qt::PlainText);
    QTRY_VERIFY(boxes.first()->isVisible());
    QVERIFY(!fake.link.isBusy());
    // The file stays chosen for another attempt.
    QVERIFY(!screen.downloadFile().isEmpty());
}

void TestFlashScreen::busyOrBrokenLinkRefusesStart_data() {
    QTest::addColumn<bool>("broken");
    QTest::addColumn<QString>("message");
    QTest::newRow("held by another operation")
        << false << QStringLiteral("The link is busy: Terminal Mode is running.");
    QTest::newRow("medium broken") << true << QStringLiteral("The link to the reader is lost: ");
}

void TestFlashScreen::busyOrBrokenLinkRefusesStart() {
    QFETCH(bool, broken);
    QFETCH(QString, message);
    FakeLink fake(true);
    FlashScreen screen(&fake.link, DownloadKind::Firmware);
    ImageFiles files;
    ScriptedChooser chooser;
    chooser.answers = {files.write(ImageFiles::pattern(144))};
    screen.setFileChooser(chooser.chooser());
    screen.chooseFile();
    varo::link::OperationClaim terminal;
    if (broken) {
        fake.transport->breakDown(QStringLiteral("device vanished"));
    } else {
        terminal = fake.link.claim(varo::link::Operation::Terminal);
        QVERIFY(terminal);
    }
    screen.startDownload();
    QVERIFY(!screen.isBusy());
    QTest::qWait(30);
    QVERIFY(fake.transport->writes.isEmpty());
    QCOMPARE(fake.link.activeOperationName(), broken ? QString() : QStringLiteral("Terminal Mode"));
    // Said, not silently ignored.
    const QList<QMessageBox *> boxes = screen.findChildren<QMessageBox *>();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.first()->text().startsWith(message), qPrintable(boxes.first()->text()));
}

QTEST_MAIN(TestFlashScreen)
#include "tst_flashscreen.moc"
