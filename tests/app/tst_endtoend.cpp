// The whole utility driven through its menu against the simulator over TCP on 127.0.0.1.
// With VARO_SHOTS_DIR set, each step also saves a picture of the main window there.
#include "app/commform.h"
#include "app/fonts.h"
#include "app/mainwindow.h"
#include "config/ui/pgmform.h"
#include "flash/flashscreen.h"
#include "link/readerlink.h"
#include "loopback/loopbackengine.h"
#include "loopback/loopbackscreen.h"
#include "support/loadertimings.h"
#include "support/simwindow.h"
#include "terminal/terminalscreen.h"
#include "ui/actionbutton.h"
#include "utilities/utilitiesscreen.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace varo;
using namespace std::chrono_literals;

class TestEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void programmingRunThroughTheMenu();
    void setupScreens();
    void utilitiesMemoryAndUpload();
    void firmwareDownload();
    void terminalMix();
    void loopbackFromEscape();

private:
    void shot(const QString &name);
    void show(app::MenuEntry entry) { m_window->chooseEntry(entry); }

    SimWindow m_rig;
    sim::ReaderSimulator *m_sim = &m_rig.sim;
    app::MainWindow *m_window = nullptr;
    QTemporaryDir m_dir;
};

void TestEndToEnd::initTestCase() {
    app::installFontSubstitutions();
    m_sim->options().recordCount = 12;
    QVERIFY(m_rig.start());
    m_window = m_rig.window.get();
    m_window->setAsker([](const QString &, std::function<void(bool)> answer) { answer(true); });
    shot(QStringLiteral("01-startup"));

    app::CommForm *form = m_window->commForm();
    form->findChild<QRadioButton *>("Option1")->click();
    form->findChild<QLineEdit *>("Text1")->setText(QStringLiteral("127.0.0.1"));
    form->findChild<QLineEdit *>("Text3")->setText(QString::number(m_rig.server->port()));
    form->connectButton()->click();
    QTRY_COMPARE(m_window->commandMenu()->status(), QStringLiteral("Connected"));
    shot(QStringLiteral("02-connected"));
}

void TestEndToEnd::cleanupTestCase() {
    m_window = nullptr;
    m_rig.window.reset();
}

void TestEndToEnd::shot(const QString &name) {
    const QString dir = qEnvironmentVariable("VARO_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QTest::qWait(50);
    m_window->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

void TestEndToEnd::programmingRunThroughTheMenu() {
    show(app::MenuEntry::ProgramReader);
    QWidget *form = m_window->screen<app::ScreenId::ProgramReader>();
    auto *right = form->findChild<QPlainTextEdit *>("Picture2");
    QTRY_VERIFY_WITH_TIMEOUT(right->toPlainText().contains("Programming Complete"), 10000);
    const QString left = form->findChild<QPlainTextEdit *>("Picture1")->toPlainText();
    QVERIFY(left.startsWith(QStringLiteral("Checking Parameters\nStarting Communications\n"
                                           "VARO SIM V1.0\nX00110000000400  [OK]\n")));
    QCOMPARE(m_sim->lastValue("X095"), QByteArray("008C007"));
    QCOMPARE(m_sim->lastValue("h"), QByteArray(10, ' '));
    QVERIFY(!m_window->link()->isBusy());
    shot(QStringLiteral("03-pgmform"));
}

void TestEndToEnd::setupScreens() {
    struct Step {
        app::MenuEntry entry;
        app::ScreenId id;
        const char *screen;
        const char *shotName;
    };
    const Step steps[] = {
        {app::MenuEntry::GeneralSetup, app::ScreenId::GeneralSetup, "general", "04-general"},
        {app::MenuEntry::WiegandSetup, app::ScreenId::WiegandSetup, "wiegand", "05-wiegand"},
        {app::MenuEntry::BarcodeSetup, app::ScreenId::BarcodeSetup, "barcode", "06-barcode"}};
    auto *area = m_window->findChild<QMdiArea *>();
    QVERIFY(area);
    for (const Step &step : steps) {
        const QString name = QString::fromLatin1(step.screen);
        show(step.entry);
        // The chosen screen is up front, visible and filled in; the link is left alone.
        QWidget *screen = m_window->screen(step.id);
        QVERIFY2(screen, step.screen);
        QCOMPARE(screen->objectName(), name);
        QMdiSubWindow *host = m_window->hostOf(step.id);
        QVERIFY2(host && host->isVisible(), step.screen);
        QCOMPARE(area->activeSubWindow(), host);
        QVERIFY(screen->isVisible());
        QVERIFY(!screen->findChildren<QWidget *>().isEmpty());
        QCOMPARE(m_window->commandMenu()->status(), QStringLiteral("Connected"));
        QVERIFY(!m_window->link()->isBusy());
        shot(QString::fromLatin1(step.shotName));
    }
}

void TestEndToEnd::utilitiesMemoryAndUpload() {
    show(app::MenuEntry::Utilities);
    utilities::UtilitiesScreen *screen = m_window->screen<app::ScreenId::Utilities>();
    auto *status = screen->findChild<QLabel *>("Label1_24");
    screen->findChild<QPushButton *>("Label1_7")->click();
    QTRY_COMPARE(status->text(), QStringLiteral("Memory data received"));

    const QString path = m_dir.filePath(QStringLiteral("upload.txt"));
    screen->setFileChooser([path](auto done) { done(path); });
    screen->findChild<QPushButton *>("Label1_19")->click();
    QTRY_COMPARE(status->text(), QStringLiteral("Upload complete,  12 transactions received "));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().count("\r\n"), 12);
    QVERIFY(!m_window->link()->isBusy());
    shot(QStringLiteral("07-utilities"));
}

void TestEndToEnd::firmwareDownload() {
    const QString path = m_dir.filePath(QStringLiteral("image.bin"));
    QByteArray image(20000 + 44, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i * 7);
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(image);
    out.close();

    show(app::MenuEntry::FlashNewFirmware);
    flash::FlashScreen *screen = m_window->screen<app::ScreenId::FlashFirmware>();
    screen->setTimings(testLoaderTimings(1000ms));
    screen->setFileChooser([path](QWidget *, flash::FileChosen done) { done(path); });
    screen->chooseFile();
    m_sim->options().ackDelayMs = 2;
    screen->startDownload();
    auto *status = screen->findChild<QLabel *>("Label3");
    QTRY_VERIFY(status->text().startsWith(QStringLiteral("Downloading - ")));
    QTRY_VERIFY(status->text() >= QStringLiteral("Downloading - 40"));
    shot(QStringLiteral("08-flash"));
    m_sim->options().ackDelayMs = 0;
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->loaderComplete(), 20000);
    QCOMPARE(m_sim->loaderData(), image.left(20000));
    QTRY_VERIFY(!m_window->link()->isBusy());
}

void TestEndToEnd::terminalMix() {
    m_sim->options().echoTyped = true;
    show(app::MenuEntry::TerminalMode);
    terminal::TerminalScreen *terminal = m_window->screen<app::ScreenId::Terminal>();
    QVERIFY(terminal->isRunning());
    QCOMPARE(terminal->findChild<QLabel *>("Label2_0")->text(),
             QStringLiteral("Connected to 127.0.0.1 Port %1").arg(m_rig.server->port()));
    QWidget *pop = terminal->findChild<QWidget *>("pop1");
    QVERIFY(pop);
    pop->setFocus();
    QTest::keyClicks(pop, QStringLiteral("V"));
    QTest::keyClick(pop, Qt::Key_Return);
    QTest::keyClicks(pop, QStringLiteral("t~"));
    QTest::keyClick(pop, Qt::Key_Return);
    QTRY_VERIFY(m_sim->commands().contains(QByteArray("t~")));
    QTest::qWait(100);
    shot(QStringLiteral("09-terminal"));
    show(app::MenuEntry::Communications);
    QVERIFY(!terminal->isRunning());
    QVERIFY(!m_window->link()->isBusy());
    m_sim->options().echoTyped = false;
}

void TestEndToEnd::loopbackFromEscape() {
    m_window->commandMenu()->setFocus();
    QTest::keyClick(m_window->commandMenu(), Qt::Key_Escape);
    loopback::LoopbackScreen *screen = m_window->screen<app::ScreenId::Loopback>();
    QVERIFY(m_window->hostOf(app::ScreenId::Loopback)->isVisible());
    QCOMPARE(screen->findChild<QPushButton *>("Command1")->text(),
             QStringLiteral("Start Loopback Test from User Code"));

    screen->engine()->setTimings({10ms, 10ms, 200ms, 200ms, 2});
    m_sim->options().alterEchoAt = 65;
    screen->findChild<QPushButton *>("Command1")->click();
    auto *list = screen->findChild<QPlainTextEdit *>("List1");
    QTRY_VERIFY_WITH_TIMEOUT(list->toPlainText().contains(": end of test"), 10000);
    QVERIFY(list->toPlainText().contains(" 65: bad echo, expected 40 received 41"));
    QVERIFY(list->toPlainText().endsWith(" 512: end of test"));
    shot(QStringLiteral("10-loopback"));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
