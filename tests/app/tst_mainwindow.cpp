#include "app/commandmenu.h"
#include "app/commform.h"
#include "app/fonts.h"
#include "app/mainwindow.h"
#include "link/readerlink.h"
#include "support/simwindow.h"
#include "terminal/terminalscreen.h"
#include "ui/actionbutton.h"

#include <QDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace varo::app;
using namespace std::chrono_literals;

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void startUpState();
    void statusBlinks();
    void screensSitRightOfTheMenu();
    void linkEntriesDoNothingWhileDisconnected();
    void communicationsChoicesAndDefaults();
    void connectMessagesAndTcpFailure();
    void resetSendsItsFourBytes();
    void resetAnsweredNoSendsNothing();
    void firmwareEntriesTestTheBaudRate();
    void escapeOpensLoopbackOnlyWhileConnected();
    void aboutIsModalAndCentred();
    void closingWhileAReplyIsAwaitedEndsCleanly();
    void questionBoxAnswersThroughItsButtons();
    void reconnectingTellsOnceAndWhenNext();

private:
    void connectSerial(RawPty &pty);
    bool hostVisible(ScreenId id) const;
    QString lastNotice() const;
    QColor colourOf(const char *control) const;

    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<QSignalSpy> m_notices;
    QStringList m_questions;
    bool m_answer = true;
};

void TestMainWindow::initTestCase() {
    installFontSubstitutions();
}

void TestMainWindow::init() {
    m_questions.clear();
    m_answer = true;
    m_window = std::make_unique<MainWindow>();
    m_window->setAsker([this](const QString &q, std::function<void(bool)> answer) {
        m_questions << q;
        answer(m_answer);
    });
    m_window->link()->setTimings({300ms, 1000ms});
    m_notices = std::make_unique<QSignalSpy>(m_window.get(), &MainWindow::noticeShown);
    m_window->show();
    m_window->startUp();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestMainWindow::cleanup() {
    m_notices.reset();
    m_window.reset();
}

QString TestMainWindow::lastNotice() const {
    return m_notices->isEmpty() ? QString() : m_notices->constLast().at(0).toString();
}

bool TestMainWindow::hostVisible(ScreenId id) const {
    QMdiSubWindow *sub = m_window->hostOf(id);
    return sub && sub->isVisible();
}

QColor TestMainWindow::colourOf(const char *control) const {
    auto *label = m_window->commandMenu()->findChild<varo::ui::ActionButton *>(control);
    return label ? label->textColor() : QColor();
}

void TestMainWindow::connectSerial(RawPty &pty) {
    QVERIFY(connectBySerial(*m_window, pty));
    QTRY_COMPARE(m_window->commandMenu()->status(), QStringLiteral("Connected"));
}

void TestMainWindow::startUpState() {
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Ostrel  Varo Utility V1.0"));
    QVERIFY(hostVisible(ScreenId::Communications));
    QCOMPARE(m_window->findChild<QMdiArea *>()->activeSubWindow(),
             m_window->hostOf(ScreenId::Communications));
    QCOMPARE(colourOf("Label3"), CommandMenu::kYellow);
    for (const char *c :
         {"Label1", "Label2", "Label4", "Label5", "Label7", "Label8", "Label9", "Label10"})
        QCOMPARE(colourOf(c), CommandMenu::kWhite);
    auto *boot2 = m_window->commandMenu()->findChild<varo::ui::ActionButton *>("Label6");
    QVERIFY(boot2 && !boot2->isVisible());
    QCOMPARE(m_window->commandMenu()->status(), QStringLiteral("Disconnected"));
    const varo::link::LinkSettings choices = m_window->commForm()->linkSettings();
    QCOMPARE(choices.mode, varo::link::LinkMode::Serial);
    QCOMPARE(choices.commPort, 2);
    QCOMPARE(choices.baudRate, 9600);

    const QList<QAction *> actions = m_window->menuBar()->actions();
    QCOMPARE(actions.size(), 5);
    QCOMPARE(actions[0]->text(), QStringLiteral("Get Settings").leftJustified(21));
    QCOMPARE(actions[1]->text(), QStringLiteral("Save Settings").leftJustified(24));
    QCOMPARE(actions[2]->text(), QStringLiteral("Default Settings").leftJustified(26));
    QCOMPARE(actions[3]->text(), QStringLiteral("About").leftJustified(15));
    QCOMPARE(actions[4]->text(), QStringLiteral("Trace").leftJustified(15));
    // The entries stand one under the other in menu order, none on another.
    int bottom = -1;
    for (MenuEntry entry :
         {MenuEntry::Communications, MenuEntry::TerminalMode, MenuEntry::GeneralSetup,
          MenuEntry::WiegandSetup, MenuEntry::BarcodeSetup, MenuEntry::Utilities,
          MenuEntry::ProgramReader, MenuEntry::ResetReader, MenuEntry::FlashNewFirmware}) {
        const QRect place = m_window->commandMenu()->entryButton(entry)->geometry();
        QVERIFY(place.top() > bottom);
        QVERIFY(place.left() >= 0 && place.bottom() < m_window->commandMenu()->height());
        bottom = place.bottom();
    }
}

void TestMainWindow::statusBlinks() {
    const QColor first = m_window->commandMenu()->statusColor();
    QTRY_VERIFY_WITH_TIMEOUT(m_window->commandMenu()->statusColor() != first, 800);
    const QColor second = m_window->commandMenu()->statusColor();
    QVERIFY((first == CommandMenu::kYellow && second == CommandMenu::kLightGreen) ||
            (first == CommandMenu::kLightGreen && second == CommandMenu::kYellow));
    QTRY_VERIFY_WITH_TIMEOUT(m_window->commandMenu()->statusColor() == first, 800);
}

void TestMainWindow::screensSitRightOfTheMenu() {
    const QSize area = m_window->findChild<QMdiArea *>()->viewport()->size();
    for (auto entry : {MenuEntry::GeneralSetup, MenuEntry::WiegandSetup, MenuEntry::BarcodeSetup,
                       MenuEntry::Communications}) {
        m_window->chooseEntry(entry);
    }
    for (ScreenId id : {ScreenId::GeneralSetup, ScreenId::WiegandSetup, ScreenId::BarcodeSetup,
                        ScreenId::Communications}) {
        QMdiSubWindow *sub = m_window->hostOf(id);
        QVERIFY(sub);
        // Right of the menu, filling the rest of the area.
        QVERIFY(sub->geometry().left() >
                m_window->commandMenu()->parentWidget()->geometry().right());
        QCOMPARE(sub->geometry().top(), 0);
        QCOMPARE(sub->geometry().right(), area.width() - 1);
        QCOMPARE(sub->height(), area.height());
    }
    QVERIFY(hostVisible(ScreenId::GeneralSetup));
    QCOMPARE(colourOf("Label3"), CommandMenu::kYellow);
    QCOMPARE(colourOf("Label2"), CommandMenu::kWhite);
}

void TestMainWindow::linkEntriesDoNothingWhileDisconnected() {
    m_window->chooseEntry(MenuEntry::GeneralSetup);
    for (auto entry :
         {MenuEntry::Utilities, MenuEntry::ProgramReader, MenuEntry::ResetReader,
          MenuEntry::TerminalMode, MenuEntry::FlashNewFirmware, MenuEntry::BootExtension}) {
        m_window->chooseEntry(entry);
    }
    QVERIFY(m_questions.isEmpty());
    QCOMPARE(colourOf("Label2"), CommandMenu::kYellow);
    for (ScreenId id : {ScreenId::Utilities, ScreenId::ProgramReader, ScreenId::Terminal,
                        ScreenId::FlashFirmware, ScreenId::FlashBoot2})
        QVERIFY(!hostVisible(id));
}

void TestMainWindow::communicationsChoicesAndDefaults() {
    CommForm *form = m_window->commForm();
    form->findChild<QRadioButton *>("Option1")->click();  // TCP/IP
    form->findChild<QRadioButton *>("Option15")->click(); // port 8
    form->findChild<QRadioButton *>("Option12")->click(); // 115200
    auto *port = form->findChild<QLineEdit *>("Text3");
    port->clear();
    QTest::keyClicks(port, "a1-b2345678");
    QCOMPARE(port->text(), QStringLiteral("12345"));
    auto *ip = form->findChild<QLineEdit *>("Text1");
    ip->clear();
    QTest::keyClicks(ip, "127.0.0.1.255.255.255");
    QCOMPARE(ip->text().size(), 15);
    varo::link::LinkSettings settings = form->linkSettings();
    QCOMPARE(settings.mode, varo::link::LinkMode::Tcp);
    QCOMPARE(settings.commPort, 8);
    QCOMPARE(settings.baudRate, 115200);
    QCOMPARE(settings.tcpPort, quint16(12345));
    QCOMPARE(settings.host, ip->text());

    m_window->menuBar()->actions().at(2)->trigger(); // "Default Settings"
    settings = form->linkSettings();
    QCOMPARE(settings.mode, varo::link::LinkMode::Serial);
    QCOMPARE(settings.commPort, 2);
    QCOMPARE(settings.baudRate, 9600);
    QCOMPARE(settings.tcpPort, quint16(57));
    QVERIFY(form->findChild<QRadioButton *>("Option2")->isChecked());
    QVERIFY(form->findChild<QRadioButton *>("Option8")->isChecked());
    QVERIFY(form->findChild<QRadioButton *>("Option11")->isChecked());
}

void TestMainWindow::connectMessagesAndTcpFailure() {
    CommForm *form = m_window->commForm();
    auto *connectButton = form->findChild<varo::ui::ActionButton *>("Label10");
    auto *disconnectButton = form->findChild<varo::ui::ActionButton *>("Label7");
    disconnectButton->click();
    QCOMPARE(lastNotice(), QStringLiteral("Already disconnected"));

    // TCP with an empty port field stays disconnected.
    form->findChild<QRadioButton *>("Option1")->click();
    form->findChild<QLineEdit *>("Text1")->setText("127.0.0.1");
    form->findChild<QLineEdit *>("Text3")->clear();
    QSignalSpy finished(m_window->link(), &varo::link::ReaderLink::connectFinished);
    connectButton->click();
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(m_window->commandMenu()->status(), QStringLiteral("Disconnected"));

    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    form->findChild<QLineEdit *>("Text3")->setText(QString::number(server.serverPort()));
    connectButton->click();
    QTRY_COMPARE(m_window->commandMenu()->status(), QStringLiteral("Connected"));
    connectButton->click();
    QCOMPARE(lastNotice(), QStringLiteral("Disconnect first before connecting"));
    // "Default Settings" while connected changes the screen's choices, not the open link.
    m_window->menuBar()->actions().at(2)->trigger();
    QVERIFY(form->findChild<QRadioButton *>("Option2")->isChecked());
    QVERIFY(m_window->link()->settings().isTcp());
    QCOMPARE(m_window->link()->settings().tcpPort, server.serverPort());
    QCOMPARE(m_window->commandMenu()->status(), QStringLiteral("Connected"));
    disconnectButton->click();
    QCOMPARE(m_window->commandMenu()->status(), QStringLiteral("Disconnected"));
}

void TestMainWindow::resetSendsItsFourBytes() {
    RawPty pty;
    connectSerial(pty);
    pty.write("junk");
    QTRY_COMPARE(m_window->link()->pendingCount(), 4);
    m_window->chooseEntry(MenuEntry::ResetReader);
    QCOMPARE(m_questions, QStringList{QStringLiteral("Do you want to reset the reader?")});
    QCOMPARE(pty.readAtLeast(4), QByteArray("\x00U1\r", 4));
    QVERIFY(hostVisible(ScreenId::ProgramReader));
    auto *left = m_window->screen(ScreenId::ProgramReader)->findChild<QPlainTextEdit *>("Picture1");
    QTRY_COMPARE(left->toPlainText().trimmed(), QStringLiteral("Resetting Reader\nReset Complete"));
    QCOMPARE(colourOf("Label7"), CommandMenu::kYellow);
    QCOMPARE(m_window->commandMenu()->status(), QStringLiteral("Connected"));
}

void TestMainWindow::resetAnsweredNoSendsNothing() {
    RawPty pty;
    connectSerial(pty);
    m_answer = false;
    m_window->chooseEntry(MenuEntry::ResetReader);
    QCOMPARE(m_questions.size(), 1);
    QTest::qWait(100);
    QVERIFY(pty.readAvailable().isEmpty());
    QVERIFY(!hostVisible(ScreenId::ProgramReader));
}

void TestMainWindow::firmwareEntriesTestTheBaudRate() {
    RawPty pty;
    connectSerial(pty);
    m_window->commForm()->findChild<QRadioButton *>("Option10")->click(); // 19200
    m_window->chooseEntry(MenuEntry::FlashNewFirmware);
    QCOMPARE(lastNotice(),
             QStringLiteral("Controller must be programmed to 9600 baud before reflashing"));
    QVERIFY(!hostVisible(ScreenId::FlashFirmware));
    m_window->chooseEntry(MenuEntry::BootExtension);
    QVERIFY(!hostVisible(ScreenId::FlashBoot2));

    m_window->commForm()->findChild<QRadioButton *>("Option11")->click(); // 9600
    m_window->chooseEntry(MenuEntry::FlashNewFirmware);
    QVERIFY(hostVisible(ScreenId::FlashFirmware));
    QCOMPARE(colourOf("Label4"), CommandMenu::kYellow);

    // In TCP mode the baud rate does not matter.
    m_window->commForm()->findChild<QRadioButton *>("Option4")->click(); // 57600
    m_window->commForm()->findChild<QRadioButton *>("Option1")->click(); // TCP/IP
    QShortcut *shortcut = nullptr;
    for (QShortcut *s : m_window->findChildren<QShortcut *>()) {
        if (s->key() == QKeySequence(QStringLiteral("Ctrl+Shift+B")))
            shortcut = s;
    }
    QVERIFY(shortcut);
    emit shortcut->activated();
    QVERIFY(hostVisible(ScreenId::FlashBoot2));
}

void TestMainWindow::escapeOpensLoopbackOnlyWhileConnected() {
    m_window->commandMenu()->setFocus();
    QTest::keyClick(m_window->commandMenu(), Qt::Key_Escape);
    QVERIFY(!hostVisible(ScreenId::Loopback));
    RawPty pty;
    connectSerial(pty);
    m_window->commandMenu()->setFocus();
    QTest::keyClick(m_window->commandMenu(), Qt::Key_Escape);
    QVERIFY(hostVisible(ScreenId::Loopback));
}

void TestMainWindow::aboutIsModalAndCentred() {
    m_window->menuBar()->actions().at(3)->trigger();
    QDialog *about = m_window->findChild<QDialog *>("about");
    QVERIFY(about);
    QVERIFY(about->isModal());
    QTRY_VERIFY(about->isVisible());
    const QPoint mainCentre = m_window->frameGeometry().center();
    const QPoint aboutCentre = about->frameGeometry().center();
    QVERIFY((mainCentre - aboutCentre).manhattanLength() <= 4);
    about->close();
}

void TestMainWindow::closingWhileAReplyIsAwaitedEndsCleanly() {
    RawPty pty;
    connectSerial(pty);
    bool called = false;
    QVERIFY(m_window->link()->readReply(m_window.get(), [&](const auto &) { called = true; }));
    m_window->close();
    m_window.reset();
    QTest::qWait(400);
    QVERIFY(!called);
}

void TestMainWindow::questionBoxAnswersThroughItsButtons() {
    MainWindow window; // the real Yes/No box, not the test's asker
    window.show();
    window.startUp();
    RawPty pty;
    QVERIFY(connectBySerial(window, pty));

    auto answer = [&window](QMessageBox::StandardButton button) {
        QMessageBox *box = nullptr;
        QTRY_VERIFY((box = window.findChild<QMessageBox *>()) && box->isVisible());
        QCOMPARE(box->text(), QStringLiteral("Do you want to reset the reader?"));
        QCOMPARE(box->windowTitle(), MainWindow::kTitle);
        QCOMPARE(box->textFormat(), Qt::PlainText);
        box->button(button)->click();
        QTRY_VERIFY(!window.findChild<QMessageBox *>());
    };
    window.chooseEntry(MenuEntry::ResetReader);
    answer(QMessageBox::No);
    QTest::qWait(50);
    QVERIFY(pty.readAvailable().isEmpty());

    window.chooseEntry(MenuEntry::ResetReader);
    answer(QMessageBox::Yes);
    QCOMPARE(pty.readAtLeast(4), QByteArray("\x00U1\r", 4));
}

// A peer that accepts and drops at once: one notice for the outage, and the status tells when
// the next try comes as the delay grows.
void TestMainWindow::reconnectingTellsOnceAndWhenNext() {
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QTcpSocket *first = nullptr;
    connect(&server, &QTcpServer::newConnection, &server, [&] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            if (!first)
                first = socket;
            else
                socket->close();
        }
    });
    varo::link::ReaderLink *link = m_window->link();
    varo::link::LinkSettings settings;
    settings.mode = varo::link::LinkMode::Tcp;
    settings.host = QStringLiteral("127.0.0.1");
    settings.tcpPort = server.serverPort();
    QVERIFY(link->connectReader(settings));
    QTRY_VERIFY(link->status() == QStringLiteral("Connected") && first);
    link->setAutoReconnect(true);
    QSignalSpy scheduled(link, &varo::link::ReaderLink::reconnectScheduled);
    m_notices->clear();

    first->close();
    QTRY_COMPARE(scheduled.size(), 1);
    QCOMPARE(m_window->commandMenu()->status(), QStringLiteral("Reconnecting in 1 s"));
    QCOMPARE(m_notices->size(), 1);
    QVERIFY(lastNotice().startsWith(QStringLiteral("The link to the reader failed")));
    QTRY_COMPARE_WITH_TIMEOUT(scheduled.size(), 3, 4000);
    QCOMPARE(m_window->commandMenu()->status(), QStringLiteral("Reconnecting in 2 s"));
    QCOMPARE(m_notices->size(), 1);
    link->disconnectReader();
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
