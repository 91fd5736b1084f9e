#include "app/commform.h"
#include "app/fonts.h"
#include "app/mainwindow.h"
#include "app/profileactions.h"
#include "config/configmodel.h"
#include "config/defaults.h"
#include "config/readerprofile.h"
#include "config/ui/profilecomparedialog.h"
#include "link/readerlink.h"
#include "support/simwindow.h"
#include "ui/actionbutton.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace varo;
using namespace varo::app;
using Purpose = ProfileActions::Purpose;

class TestProfiles : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void saveSettingsWritesTheScreens();
    void getSettingsShowsTheDifferencesThenApplies();
    void keepLeavesTheScreens();
    void invalidProfileIsNotOffered();
    void saveErrorNamesFileAndReason();
    void notLoadedWhileProgramming();
    void controlCharactersInMessagesAreNamed();
    void startUpProfile_data();
    void startUpProfile();
    void fileDialogs_data();
    void fileDialogs();

private:
    QString writeFile(const QString &name, const QByteArray &contents);
    QAction *menuAction(const char *control) const;
    template <typename T> T *waitFor(const char *name) const;

    QTemporaryDir m_home;
    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
    QList<Purpose> m_asked;
    QStringList m_folders;
    std::optional<QString> m_choice;
};

void TestProfiles::initTestCase() {
    // The last folder is kept in the user's settings: a private home for this test.
    qputenv("XDG_CONFIG_HOME", m_home.path().toLocal8Bit());
    installFontSubstitutions();
}

void TestProfiles::init() {
    m_asked.clear();
    m_folders.clear();
    m_choice.reset();
    m_window = std::make_unique<MainWindow>();
    m_window->profileActions()->setFileChooser([this](QWidget *, Purpose purpose,
                                                      const QString &folder,
                                                      const ProfileActions::FileChosen &done) {
        m_asked << purpose;
        m_folders << folder;
        done(m_choice);
    });
    m_window->show();
    m_window->startUp();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestProfiles::cleanup() {
    m_window.reset();
}

QString TestProfiles::writeFile(const QString &name, const QByteArray &contents) {
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        return {};
    return path;
}

QAction *TestProfiles::menuAction(const char *control) const {
    return m_window->menuBar()->findChild<QAction *>(QLatin1String(control));
}

template <typename T> T *TestProfiles::waitFor(const char *name) const {
    T *found = nullptr;
    const bool shown = QTest::qWaitFor([&] {
        found = m_window->findChild<T *>(QLatin1String(name));
        return found && found->isVisible();
    });
    return shown ? found : nullptr;
}

void TestProfiles::saveSettingsWritesTheScreens() {
    config::ConfigModel *model = m_window->config();
    model->setText(QStringLiteral("general.storage.readerId"), QStringLiteral("31"));
    m_choice = m_dir.filePath(QStringLiteral("site.json"));
    QSignalSpy saved(m_window->profileActions(), &ProfileActions::profileSaved);

    menuAction("sprof")->trigger();
    QCOMPARE(m_asked, QList<Purpose>{Purpose::Save});
    QCOMPARE(saved.size(), 1);
    QFile file(*m_choice);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), config::writeProfile(*model));
    QCOMPARE(ProfileActions::lastFolder(), m_dir.path());

    // The next dialog starts in the folder used last.
    m_choice.reset();
    menuAction("hp")->trigger();
    QCOMPARE(m_folders.last(), m_dir.path());
}

void TestProfiles::getSettingsShowsTheDifferencesThenApplies() {
    config::ConfigModel saved;
    config::loadDefaults(saved);
    saved.setText(QStringLiteral("barcode.timeout"), QStringLiteral("9"));
    saved.setCheck(QStringLiteral("general.speaker.startupTone"), 1);
    m_choice = writeFile(QStringLiteral("site.json"), config::writeProfile(saved));
    QSignalSpy applied(m_window->profileActions(), &ProfileActions::profileApplied);
    // Connected to a reader that hears everything: loading sends nothing.
    RawPty pty;
    QVERIFY(connectBySerial(*m_window, pty));

    menuAction("hp")->trigger();
    QCOMPARE(m_asked, QList<Purpose>{Purpose::Open});
    auto *dialog = waitFor<config::ProfileCompareDialog>("profileCompare");
    QVERIFY(dialog);
    QTableWidget *table = dialog->table();
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("General"));
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("speaker.startupTone"));
    QCOMPARE(table->item(0, 2)->text(), QStringLiteral("0"));
    QCOMPARE(table->item(0, 3)->text(), QStringLiteral("1"));
    QCOMPARE(table->item(1, 1)->text(), QStringLiteral("timeout"));
    // Nothing is applied before the choice.
    QCOMPARE(m_window->config()->text(QStringLiteral("barcode.timeout")), QStringLiteral("2"));

    dialog->findChild<QPushButton *>(QStringLiteral("applyProfile"))->click();
    QCOMPARE(applied.size(), 1);
    QCOMPARE(m_window->config()->text(QStringLiteral("barcode.timeout")), QStringLiteral("9"));
    QCOMPARE(m_window->config()->check(QStringLiteral("general.speaker.startupTone")), 1);
    QCOMPARE(config::writeProfile(*m_window->config()), config::writeProfile(saved));
    QTest::qWait(100);
    QCOMPARE(pty.readAvailable(), QByteArray());
}

void TestProfiles::keepLeavesTheScreens() {
    config::ConfigModel saved;
    config::loadDefaults(saved);
    saved.select(QStringLiteral("barcode.priority.large"));
    m_choice = writeFile(QStringLiteral("large.json"), config::writeProfile(saved));
    const QByteArray before = config::writeProfile(*m_window->config());

    menuAction("hp")->trigger();
    auto *dialog = waitFor<config::ProfileCompareDialog>("profileCompare");
    QVERIFY(dialog);
    QCOMPARE(dialog->table()->rowCount(), 1);
    dialog->findChild<QPushButton *>(QStringLiteral("keepScreens"))->click();
    QCOMPARE(config::writeProfile(*m_window->config()), before);
}

void TestProfiles::invalidProfileIsNotOffered() {
    QByteArray json = config::writeProfile(*m_window->config());
    json.replace("\"timeout\": \"2\"", "\"timeout\": \"x\"");
    json.replace("\"prox.enabled\": 1", "\"prox.enabled\": 3");
    m_choice = writeFile(QStringLiteral("broken.json"), json);
    const QByteArray before = config::writeProfile(*m_window->config());
    QSignalSpy shown(m_window->profileActions(), &ProfileActions::messageShown);

    menuAction("hp")->trigger();
    auto *box = waitFor<QMessageBox>("profileMessage");
    QVERIFY(box);
    QCOMPARE(box->textFormat(), Qt::PlainText);
    QVERIFY(box->text().contains(*m_choice));
    QVERIFY2(box->text().contains(QStringLiteral("barcode.timeout = \"x\"")),
             qPrintable(box->text()));
    QVERIFY(box->text().contains(QStringLiteral("general.prox.enabled = 3: must be 0 or 1")));
    QVERIFY(!m_window->findChild<config::ProfileCompareDialog *>());
    QCOMPARE(config::writeProfile(*m_window->config()), before);
    box->button(QMessageBox::Ok)->click();
}

void TestProfiles::saveErrorNamesFileAndReason() {
    m_choice = QStringLiteral("/nonexistent/varo/site.json");
    menuAction("sprof")->trigger();
    auto *box = waitFor<QMessageBox>("profileMessage");
    QVERIFY(box);
    QVERIFY2(box->text().contains(*m_choice) && box->text().contains(QStringLiteral("Cannot save")),
             qPrintable(box->text()));
}

void TestProfiles::notLoadedWhileProgramming() {
    RawPty pty; // a reader that never answers: the run waits for its identification
    QVERIFY(connectBySerial(*m_window, pty));
    m_window->setAsker([](const QString &, std::function<void(bool)> answer) { answer(true); });
    m_window->chooseEntry(MenuEntry::ProgramReader);
    QTRY_COMPARE(m_window->link()->activeOperationName(), QStringLiteral("Program Reader"));

    config::ConfigModel saved;
    config::loadDefaults(saved);
    saved.setText(QStringLiteral("barcode.timeout"), QStringLiteral("9"));
    m_choice = writeFile(QStringLiteral("site.json"), config::writeProfile(saved));
    menuAction("hp")->trigger();
    auto *box = waitFor<QMessageBox>("profileMessage");
    QVERIFY(box);
    QVERIFY2(box->text().contains(QStringLiteral("not changed")), qPrintable(box->text()));
    QVERIFY(m_asked.isEmpty());
    QVERIFY(!m_window->profileActions()->loadAtStartUp(*m_choice));
    QCOMPARE(m_window->config()->text(QStringLiteral("barcode.timeout")), QStringLiteral("2"));

    // "Default Settings" is refused the same way while the run holds the link.
    m_window->config()->setText(QStringLiteral("general.storage.readerId"), QStringLiteral("7"));
    QSignalSpy notices(m_window.get(), &MainWindow::noticeShown);
    menuAction("df")->trigger();
    QCOMPARE(notices.size(), 1);
    QVERIFY2(notices.first().first().toString().contains(QStringLiteral("not changed")),
             qPrintable(notices.first().first().toString()));
    QCOMPARE(m_window->config()->text(QStringLiteral("general.storage.readerId")),
             QStringLiteral("7"));
}

void TestProfiles::controlCharactersInMessagesAreNamed() {
    m_choice = QStringLiteral("/nonexistent/a\x1b[2Jb/site.json");
    menuAction("sprof")->trigger();
    auto *box = waitFor<QMessageBox>("profileMessage");
    QVERIFY(box);
    QVERIFY2(box->text().contains(QStringLiteral("a<ESC>[2Jb")), qPrintable(box->text()));
    QVERIFY(!box->text().contains(QChar(0x1b)));
}

void TestProfiles::startUpProfile_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<QString>("message"); // empty: no message

    config::ConfigModel model;
    config::loadDefaults(model);
    model.setText(QStringLiteral("general.storage.readerId"), QStringLiteral("7"));
    const QByteArray good = config::writeProfile(model);
    QTest::newRow("valid") << good << true << QString();
    QByteArray extra = good;
    extra.replace("\"version\": 1,", "\"version\": 1, \"site\": \"north gate\",");
    QTest::newRow("valid with notes")
        << extra << true << QStringLiteral("Unknown keys, ignored: site");
    QByteArray newer = good;
    newer.replace("\"version\": 1,", "\"version\": 3,");
    QTest::newRow("newer version")
        << newer << false << QStringLiteral("the screens hold the default settings");
}

void TestProfiles::startUpProfile() {
    QFETCH(QByteArray, json);
    QFETCH(bool, applied);
    QFETCH(QString, message);
    const QString path = writeFile(QStringLiteral("start.json"), json);
    QSignalSpy shown(m_window->profileActions(), &ProfileActions::messageShown);

    QCOMPARE(m_window->profileActions()->loadAtStartUp(path), applied);
    QCOMPARE(m_window->config()->text(QStringLiteral("general.storage.readerId")),
             applied ? QStringLiteral("7") : QString());
    QCOMPARE(shown.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty())
        QVERIFY2(shown.first().first().toString().contains(message),
                 qPrintable(shown.first().first().toString()));
}

void TestProfiles::fileDialogs_data() {
    QTest::addColumn<Purpose>("purpose");
    QTest::newRow("open") << Purpose::Open;
    QTest::newRow("save") << Purpose::Save;
}

void TestProfiles::fileDialogs() {
    QFETCH(Purpose, purpose);
    std::unique_ptr<QFileDialog> dialog(
        ProfileActions::createFileDialog(nullptr, purpose, m_dir.path()));
    QCOMPARE(dialog->nameFilters(), QStringList{QStringLiteral("Reader profiles (*.json)")});
    QCOMPARE(dialog->defaultSuffix(), QStringLiteral("json"));
    QCOMPARE(dialog->directory().absolutePath(), QDir(m_dir.path()).absolutePath());
    if (purpose == Purpose::Save) {
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
    } else {
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
    }
}

QTEST_MAIN(TestProfiles)
#include "tst_profiles.moc"
