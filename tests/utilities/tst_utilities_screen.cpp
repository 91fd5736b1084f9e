#include "support/simlink.h"
#include "utilities/labeltable.h"
#include "utilities/utilitiesscreen.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

using namespace varo::utilities;
using namespace std::chrono_literals;

namespace {
const QString kTitle = QStringLiteral("Ostrel  Varo Utility V1.0");

template <typename T = QWidget> T *child(QWidget &screen, int index) {
    return screen.findChild<T *>(QStringLiteral("Label1_%1").arg(index));
}

QMessageBox *waitForBox(QWidget &screen, const QString &name) {
    QMessageBox *box = nullptr;
    const bool shown = QTest::qWaitFor(
        [&] { return (box = screen.findChild<QMessageBox *>(name)) && box->isVisible(); }, 2000);
    return shown ? box : nullptr;
}
} // namespace

class TestUtilitiesScreen : public QObject {
    Q_OBJECT
private slots:
    void controlsFitAndDoNotOverlap();
    void startsEmptyAndNeedsALink();
    void hoursFieldTakesTwoDigits();
    void clockTicksWhileAReplyIsAwaited();
    void clicksReachTheReader();
    void clearMemoryAsksFirst();
    void uploadReportsFileErrors();
    void uploadDialogSettings();
};

void TestUtilitiesScreen::controlsFitAndDoNotOverlap() {
    varo::link::ReaderLink link;
    UtilitiesScreen screen(&link);
    screen.resize(724, 567);
    screen.show();
    QVERIFY(QTest::qWaitForWindowExposed(&screen));
    QCOMPARE(screen.objectName(), QStringLiteral("utilities"));
    QCOMPARE(screen.palette().color(QPalette::Window), QColor(192, 192, 192));

    QList<QWidget *> controls;
    for (const LabelEntry &entry : labelTable()) {
        QWidget *w = child(screen, entry.index);
        QVERIFY2(w, qPrintable(QString::number(entry.index)));
        QCOMPARE(qobject_cast<QPushButton *>(w) != nullptr, entry.role == LabelRole::Button);
        controls.append(w);
    }
    for (const char *name : {"Text1_0", "Text1_1", "Text2", "Option1_0", "Option1_1"})
        controls.append(screen.findChild<QWidget *>(QLatin1String(name)));
    for (QLabel *label : screen.findChildren<QLabel *>()) {
        if (!controls.contains(label))
            controls.append(label); // the "Hours" caption
    }
    child<QLabel>(screen, kStatusIndex)
        ->setText(QStringLiteral("Upload complete,  40000 transactions received "));

    for (QWidget *w : controls) {
        QVERIFY2(w && w->isVisible(), qPrintable(w ? w->objectName() : QString()));
        const QRect r(w->mapTo(&screen, QPoint(0, 0)), w->size());
        QVERIFY2(screen.rect().contains(r), qPrintable(w->objectName()));
        if (!qobject_cast<QLineEdit *>(w))
            QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(w->objectName()));
        for (QWidget *other : controls) {
            const QRect o(other->mapTo(&screen, QPoint(0, 0)), other->size());
            QVERIFY2(w == other || !r.intersects(o),
                     qPrintable(w->objectName() + u' ' + other->objectName()));
        }
    }
}

void TestUtilitiesScreen::startsEmptyAndNeedsALink() {
    varo::link::ReaderLink link;
    UtilitiesScreen screen(&link);
    auto *status = child<QLabel>(screen, kStatusIndex);
    QCOMPARE(status->text(), QString());
    QCOMPARE(status->palette().color(QPalette::WindowText), QColor(128, 0, 0));
    QCOMPARE(status->textFormat(), Qt::PlainText);
    QCOMPARE(screen.findChild<QLineEdit *>("Text2")->text(), QStringLiteral("00"));
    QCOMPARE(child<QLabel>(screen, 17)->text(), QStringLiteral("00000"));
    auto *add = screen.findChild<QRadioButton *>("Option1_0");
    auto *subtract = screen.findChild<QRadioButton *>("Option1_1");
    QVERIFY(!add->isChecked() && !subtract->isChecked());
    screen.selectAdd();
    QVERIFY(add->isChecked() && !subtract->isChecked());

    child<QPushButton>(screen, 0)->click();
    QCOMPARE(status->text(), QStringLiteral("Not Connected"));
}

void TestUtilitiesScreen::hoursFieldTakesTwoDigits() {
    varo::link::ReaderLink link;
    UtilitiesScreen screen(&link);
    auto *hours = screen.findChild<QLineEdit *>("Text2");
    hours->clear();
    QTest::keyClicks(hours, "a-+1x 25");
    QCOMPARE(hours->text(), QStringLiteral("12"));
}

void TestUtilitiesScreen::clockTicksWhileAReplyIsAwaited() {
    SimLink sl(10s);
    sl.sim.options().silent = true;
    QVERIFY(sl.connect(SimLink::Medium::Tcp));
    UtilitiesScreen screen(&sl.link);
    QDateTime now(QDate(2010, 3, 5), QTime(14, 2, 33));
    screen.setClockSource([&now] { return now; });
    auto *clock = child<QLabel>(screen, kClockIndex);
    QCOMPARE(clock->text(), QStringLiteral("Current Date/Time: 2010-03-05  14:02:33"));

    child<QPushButton>(screen, 0)->click();
    QVERIFY(screen.commands()->isBusy());
    QVERIFY(!child(screen, 2)->isEnabled());
    QVERIFY(!screen.commands()->run(varo::utilities::Verb::SwitchMode));
    now = now.addSecs(1);
    QTRY_COMPARE_WITH_TIMEOUT(clock->text(),
                              QStringLiteral("Current Date/Time: 2010-03-05  14:02:34"), 2500);
    QVERIFY(screen.commands()->isBusy());
    QCOMPARE(sl.sim.received(), QByteArray("\r\rV\r"));
    sl.link.disconnectReader();
    QVERIFY(child(screen, 2)->isEnabled());
}

void TestUtilitiesScreen::clicksReachTheReader() {
    SimLink sl;
    sl.sim.options().totalSlots = 1234;
    sl.sim.options().used = 56;
    sl.sim.options().uploaded = 78;
    QVERIFY(sl.connect(SimLink::Medium::Pty));
    UtilitiesScreen screen(&sl.link);
    screen.setClockSource([] { return QDateTime(QDate(2010, 3, 1), QTime(5, 0, 0)); });
    screen.resize(724, 567);
    screen.show();
    QVERIFY(QTest::qWaitForWindowExposed(&screen));
    auto *status = child<QLabel>(screen, kStatusIndex);

    auto *hours = screen.findChild<QLineEdit *>("Text2");
    hours->clear();
    QTest::keyClicks(hours, "24");
    QTest::mouseClick(screen.findChild<QRadioButton *>("Option1_1"), Qt::LeftButton);
    QTest::mouseClick(child(screen, 5), Qt::LeftButton);
    QTRY_COMPARE(status->text(), QStringLiteral("Time set in reader"));
    QCOMPARE(sl.sim.received(), QByteArray("\r\r+1002280500007\r"));

    sl.sim.clearReceived();
    QTest::mouseClick(child(screen, 7), Qt::LeftButton);
    QTRY_COMPARE(status->text(), QStringLiteral("Memory data received"));
    // Each value sits on the row of its heading.
    const QStringList values{"01234", "00056", "00078"};
    for (int i = 0; i < 3; ++i) {
        auto *value = child<QLabel>(screen, kMemoryRows[i].valueIndex);
        QCOMPARE(value->text(), values[i]);
        const QWidget *heading = child(screen, kMemoryRows[i].headingIndex);
        QCOMPARE(value->mapTo(&screen, value->rect().center()).y(),
                 heading->mapTo(&screen, heading->rect().center()).y());
    }

    // A heading takes the common path only: the wake-up.
    QTest::mouseClick(child(screen, 11), Qt::LeftButton);
    QTRY_COMPARE(sl.sim.received(), QByteArray("\r\rz\r\r\r"));
    QCOMPARE(status->text(), QStringLiteral("Memory data received"));
}

void TestUtilitiesScreen::clearMemoryAsksFirst() {
    SimLink sl;
    QVERIFY(sl.connect(SimLink::Medium::Tcp));
    UtilitiesScreen screen(&sl.link);
    screen.show();
    child<QPushButton>(screen, 2)->click();
    QTRY_COMPARE(child<QLabel>(screen, kStatusIndex)->text(), QStringLiteral("Mode Switched"));

    child<QPushButton>(screen, 9)->click();
    QMessageBox *box = waitForBox(screen, QStringLiteral("clearMemoryQuestion"));
    QVERIFY(box);
    QCOMPARE(box->windowTitle(), kTitle);
    QCOMPARE(box->text(), QStringLiteral("Do you wish to clear the reader data"));
    QCOMPARE(box->textFormat(), Qt::PlainText);
    box->button(QMessageBox::No)->click();
    QTRY_VERIFY(!screen.commands()->isBusy());
    QTest::qWait(50);
    QCOMPARE(sl.sim.received(), QByteArray("\r\r|5\r\r\r"));
    QCOMPARE(child<QLabel>(screen, kStatusIndex)->text(), QStringLiteral("Mode Switched"));
}

void TestUtilitiesScreen::uploadReportsFileErrors() {
    QTemporaryDir dir;
    SimLink sl;
    QVERIFY(sl.connect(SimLink::Medium::Tcp));
    UtilitiesScreen screen(&sl.link);
    screen.show();
    auto *status = child<QLabel>(screen, kStatusIndex);
    QString path = dir.filePath(QStringLiteral("upload.txt"));
    screen.setFileChooser([&path](UploadSession::FileChosen done) { done(path); });

    child<QPushButton>(screen, 19)->click();
    QTRY_COMPARE(status->text(), QStringLiteral("Upload complete,  5 transactions received "));
    QVERIFY(!sl.link.isBusy());

    path = QStringLiteral("/dev/full");
    child<QPushButton>(screen, 19)->click();
    QMessageBox *box = waitForBox(screen, QStringLiteral("uploadFileError"));
    QVERIFY(box);
    QCOMPARE(box->windowTitle(), kTitle);
    QCOMPARE(box->textFormat(), Qt::PlainText);
    QVERIFY2(box->text().contains(path) && box->text().contains(QStringLiteral("No space left")),
             qPrintable(box->text()));
    QCOMPARE(status->text(), QStringLiteral("Upload stopped,  0 transactions saved"));
    QVERIFY(child(screen, 0)->isEnabled());
}

void TestUtilitiesScreen::uploadDialogSettings() {
    std::unique_ptr<QFileDialog> dialog(UtilitiesScreen::createUploadFileDialog(nullptr));
    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(dialog->nameFilters(), QStringList{QStringLiteral("Text (*.txt)")});
    QCOMPARE(dialog->defaultSuffix(), QStringLiteral("txt"));
    QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
    QVERIFY(dialog->selectedFiles().value(0).endsWith(QStringLiteral("/upload.txt")));
}

QTEST_MAIN(TestUtilitiesScreen)
#include "tst_utilities_screen.moc"
