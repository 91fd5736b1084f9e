// Keyboard and assistive-tool access, through Qt's own QAccessible API and QTest key events:
// every control named with a fitting role, press actions that do what a click does, the tab
// order, a keyboard-only session against the simulator over TCP on 127.0.0.1, and the
// terminal's text.
#include "app/commandmenu.h"
#include "app/commform.h"
#include "app/fonts.h"
#include "app/mainwindow.h"
#include "link/readerlink.h"
#include "support/simwindow.h"
#include "terminal/terminalgrid.h"
#include "terminal/terminalscreen.h"
#include "terminal/terminalsession.h"
#include "terminal/terminalview.h"
#include "ui/actionbutton.h"
#include "ui/valuelabel.h"
#include "utilities/utilitiesscreen.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>

using namespace varo;
using namespace varo::app;

Q_DECLARE_METATYPE(varo::app::ScreenId)
Q_DECLARE_METATYPE(varo::app::MenuEntry)

namespace {

// The roles that fit each kind of control.
QList<QAccessible::Role> fittingRoles(const QWidget *w) {
    if (qobject_cast<const QCheckBox *>(w))
        return {QAccessible::CheckBox};
    if (qobject_cast<const QRadioButton *>(w))
        return {QAccessible::RadioButton};
    if (qobject_cast<const QAbstractButton *>(w))
        return {QAccessible::Button};
    if (qobject_cast<const QLineEdit *>(w) || qobject_cast<const QPlainTextEdit *>(w))
        return {QAccessible::EditableText};
    if (qobject_cast<const QProgressBar *>(w))
        return {QAccessible::ProgressBar};
    if (qobject_cast<const terminal::TerminalView *>(w))
        return {QAccessible::Terminal};
    if (auto *value = qobject_cast<const ui::ValueLabel *>(w))
        return {value->isLive() ? QAccessible::StatusBar : QAccessible::StaticText};
    if (qobject_cast<const QLabel *>(w))
        return {QAccessible::StaticText, QAccessible::Graphic};
    return {};
}

// The controls of a screen a user meets: shown with it, and of a kind that has a role above.
QList<QWidget *> controlsOf(QWidget *screen) {
    QList<QWidget *> controls;
    for (QWidget *w : screen->findChildren<QWidget *>()) {
        if (w->isVisibleTo(screen) && !fittingRoles(w).isEmpty())
            controls.append(w);
    }
    return controls;
}

QString describe(const QWidget *w) {
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(w->metaObject()->className()),
                                       w->objectName());
}

QAccessibleInterface *a11y(QObject *o) {
    return QAccessible::queryAccessibleInterface(o);
}

void press(QObject *o) {
    QAccessibleInterface *iface = a11y(o);
    QVERIFY(iface && iface->actionInterface());
    QVERIFY(iface->actionInterface()->actionNames().contains(
        QAccessibleActionInterface::pressAction()));
    iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
}

// A key as a keyboard-only user types it: into whatever has the focus.
void type(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget *focus = QApplication::focusWidget();
    QVERIFY(focus);
    QTest::keyClick(focus, Qt::Key(key), modifiers);
}

void typeText(const QString &text) {
    QWidget *focus = QApplication::focusWidget();
    QVERIFY(focus);
    QTest::keyClicks(focus, text);
}

QString focusName() {
    QWidget *focus = QApplication::focusWidget();
    return focus ? focus->objectName() : QString();
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void everyControlIsNamed_data();
    void everyControlIsNamed();
    void memoryValuesAreNamedByTheirHeadings();
    void menuEntriesPressLikeAClick_data();
    void menuEntriesPressLikeAClick();
    void communicationsButtonsPressLikeAClick();
    void communicationsTabOrderReachesConnect();
    void menuKeys();
    void ctrlTabSwitchesWindows();
    void keyboardOnlySession();
    void terminalTextIsTheGrid();
    void resetEndFocusesItsFinalLine();

private:
    void connectBySimulator();
    void activate();

    std::unique_ptr<SimWindow> m_rig;
    MainWindow *m_window = nullptr;
    QStringList m_questions;
};

void TestAccessibility::initTestCase() {
    installFontSubstitutions();
}

void TestAccessibility::init() {
    m_questions.clear();
    m_rig = std::make_unique<SimWindow>();
    QVERIFY(m_rig->start());
    m_window = m_rig->window.get();
    m_window->setAsker([this](const QString &question, std::function<void(bool)> answer) {
        m_questions << question;
        answer(false);
    });
}

void TestAccessibility::cleanup() {
    m_window = nullptr;
    m_rig.reset();
}

void TestAccessibility::activate() {
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
}

void TestAccessibility::connectBySimulator() {
    QVERIFY(m_rig->connectByTcp());
}

void TestAccessibility::everyControlIsNamed_data() {
    QTest::addColumn<ScreenId>("id");
    for (const ScreenEntry &entry : screenRegistry())
        QTest::addRow("screen %d", int(entry.id)) << entry.id;
}

void TestAccessibility::everyControlIsNamed() {
    QFETCH(ScreenId, id);
    QWidget *screen = m_window->screen(id);
    QVERIFY(!screen->windowTitle().isEmpty());
    QCOMPARE(m_window->hostOf(id)->windowTitle(), screen->windowTitle());
    const QList<QWidget *> controls = controlsOf(screen) + controlsOf(m_window->commandMenu());
    QVERIFY(controls.size() > 2);
    for (QWidget *w : controls) {
        QAccessibleInterface *iface = a11y(w);
        QVERIFY2(iface, qPrintable(describe(w)));
        QVERIFY2(!iface->text(QAccessible::Name).trimmed().isEmpty(), qPrintable(describe(w)));
        QVERIFY2(fittingRoles(w).contains(iface->role()),
                 qPrintable(describe(w) + QStringLiteral(" role %1").arg(int(iface->role()))));
    }
}

void TestAccessibility::memoryValuesAreNamedByTheirHeadings() {
    connectBySimulator();
    m_rig->sim.options().recordCount = 12;
    utilities::UtilitiesScreen *screen = m_window->screen<ScreenId::Utilities>();
    auto name = [screen](const char *control) {
        return a11y(screen->findChild<QWidget *>(QLatin1String(control)))->text(QAccessible::Name);
    };
    QCOMPARE(name("Label1_15"), QStringLiteral("Total Slots: 00000"));
    press(screen->findChild<QWidget *>("Label1_7")); // "Show Memory Usage"
    QTRY_COMPARE(name("Label1_24"), QStringLiteral("Status: Memory data received"));
    QVERIFY(name("Label1_15").startsWith(QStringLiteral("Total Slots: ")));
    QCOMPARE(name("Label1_17"),
             QStringLiteral("Used: ") + screen->findChild<QLabel *>("Label1_17")->text());
    QCOMPARE(name("Text1_0"), QStringLiteral("Firmware Identification"));
}

void TestAccessibility::menuEntriesPressLikeAClick_data() {
    QTest::addColumn<MenuEntry>("entry");
    QTest::addColumn<int>("screen"); // the ScreenId brought to front, -1 for a question
    QTest::addColumn<bool>("terminalRuns");
    QTest::newRow("Communications")
        << MenuEntry::Communications << int(ScreenId::Communications) << false;
    QTest::newRow("Terminal Mode") << MenuEntry::TerminalMode << int(ScreenId::Terminal) << true;
    QTest::newRow("General Setup")
        << MenuEntry::GeneralSetup << int(ScreenId::GeneralSetup) << false;
    QTest::newRow("Wie/Prox/Mag Setup")
        << MenuEntry::WiegandSetup << int(ScreenId::WiegandSetup) << false;
    QTest::newRow("Barcode Setup")
        << MenuEntry::BarcodeSetup << int(ScreenId::BarcodeSetup) << false;
    QTest::newRow("Utilities") << MenuEntry::Utilities << int(ScreenId::Utilities) << false;
    QTest::newRow("Program Reader") << MenuEntry::ProgramReader << -1 << false;
    QTest::newRow("Reset Reader") << MenuEntry::ResetReader << -1 << false;
    QTest::newRow("Flash New Firmware")
        << MenuEntry::FlashNewFirmware << int(ScreenId::FlashFirmware) << false;
}

void TestAccessibility::menuEntriesPressLikeAClick() {
    QFETCH(MenuEntry, entry);
    QFETCH(int, screen);
    QFETCH(bool, terminalRuns);
    connectBySimulator();
    m_window->chooseEntry(MenuEntry::GeneralSetup);
    if (entry == MenuEntry::GeneralSetup)
        m_window->chooseEntry(MenuEntry::BarcodeSetup);

    // The press action clicks after the button's short press animation, as Qt's buttons do.
    press(m_window->commandMenu()->entryButton(entry));
    if (screen < 0) {
        QTRY_COMPARE(m_questions.size(), 1); // asked, answered No
    } else {
        QTRY_COMPARE(m_window->frontScreen(), std::optional(ScreenId(screen)));
        QVERIFY(m_window->hostOf(ScreenId(screen))->isVisible());
        QCOMPARE(m_window->commandMenu()->entryColor(entry), CommandMenu::kYellow);
    }
    if (terminalRuns)
        QVERIFY(m_window->screen<ScreenId::Terminal>()->isRunning());
}

void TestAccessibility::communicationsButtonsPressLikeAClick() {
    CommForm *form = m_window->commForm();
    form->selectTcp();
    form->setIpAddress(QStringLiteral("127.0.0.1"));
    form->setTcpPort(QString::number(m_rig->server->port()));
    QCOMPARE(a11y(form->connectButton())->text(QAccessible::Name),
             QStringLiteral("Connect to Port"));
    press(form->connectButton());
    QTRY_COMPARE(m_window->commandMenu()->status(), QStringLiteral("Connected"));
    QAccessibleInterface *status = a11y(m_window->commandMenu()->findChild<QWidget *>("Label20"));
    QCOMPARE(status->role(), QAccessible::StatusBar);
    QCOMPARE(status->text(QAccessible::Name), QStringLiteral("Connected"));
    press(form->disconnectButton());
    QTRY_COMPARE(m_window->commandMenu()->status(), QStringLiteral("Disconnected"));
    QCOMPARE(status->text(QAccessible::Name), QStringLiteral("Disconnected"));
    QSignalSpy notices(m_window, &MainWindow::noticeShown);
    press(form->disconnectButton());
    QTRY_COMPARE(notices.size(), 1);
    QCOMPARE(notices.at(0).at(0).toString(), QStringLiteral("Already disconnected"));
}

void TestAccessibility::communicationsTabOrderReachesConnect() {
    m_window->chooseEntry(MenuEntry::GeneralSetup);
    m_window->chooseEntry(MenuEntry::Communications);
    activate();
    CommForm *form = m_window->commForm();
    form->selectTcp();
    form->findChild<QWidget *>("Option1")->setFocus(Qt::TabFocusReason);
    QStringList visited;
    for (int i = 0; i < 30 && focusName() != QLatin1String("Label7"); ++i) {
        type(Qt::Key_Tab);
        visited << focusName();
    }
    // Mode, port and baud come before the fields, the fields before the buttons.
    const auto at = [&visited](const char *name) { return visited.indexOf(QLatin1String(name)); };
    QVERIFY2(at("Text1") >= 0 && at("Text3") == at("Text1") + 1, qPrintable(visited.join(' ')));
    QCOMPARE(at("Label10"), at("Text3") + 1);
    QCOMPARE(at("Label7"), at("Label10") + 1);
    // Past the last button Tab goes through the detected devices and then stays in the screen,
    // never reaching one behind it (Ctrl+Tab leaves for the command menu).
    QStringList after;
    for (int i = 0; i < 10 && focusName() != QLatin1String("Option1"); ++i) {
        type(Qt::Key_Tab);
        after << focusName();
    }
    QVERIFY2(after.startsWith(QStringLiteral("autoReconnect")), qPrintable(after.join(' ')));
    QVERIFY2(after.contains(QStringLiteral("deviceList")), qPrintable(after.join(' ')));
    QCOMPARE(focusName(), QStringLiteral("Option1"));
    // Tab stops once in each group of options (the arrows move within it).
    auto firstOf = [&visited](QStringList group) {
        for (qsizetype i = 0; i < visited.size(); ++i) {
            if (group.contains(visited.at(i)))
                return i;
        }
        return qsizetype(-1);
    };
    const qsizetype port = firstOf({"Option5", "Option8", "Option6", "Option9", "Option7",
                                    "Option13", "Option14", "Option15"});
    const qsizetype baud = firstOf({"Option11", "Option10", "Option3", "Option4", "Option12"});
    QVERIFY2(port >= 0 && port < baud && baud < at("Text1"), qPrintable(visited.join(' ')));

    // Enter in the port field connects.
    form->setIpAddress(QStringLiteral("127.0.0.1"));
    form->setTcpPort(QString::number(m_rig->server->port()));
    form->findChild<QWidget *>("Text3")->setFocus(Qt::TabFocusReason);
    type(Qt::Key_Return);
    QTRY_COMPARE(m_window->commandMenu()->status(), QStringLiteral("Connected"));
}

void TestAccessibility::menuKeys() {
    activate();
    CommandMenu *menu = m_window->commandMenu();
    menu->focusHighlighted();
    QCOMPARE(focusName(), QStringLiteral("Label3")); // "Communications"
    type(Qt::Key_Down);
    QCOMPARE(focusName(), QStringLiteral("Label1")); // "Terminal Mode"
    QCOMPARE(menu->entryColor(MenuEntry::TerminalMode), CommandMenu::kYellow);
    QCOMPARE(menu->entryColor(MenuEntry::Communications), CommandMenu::kWhite);
    type(Qt::Key_Up);
    type(Qt::Key_Up);                                // wraps to the last visible entry
    QCOMPARE(focusName(), QStringLiteral("Label4")); // "Flash New Firmware"
    for (int i = 0; i < 6; ++i)
        type(Qt::Key_Up);
    QCOMPARE(focusName(), QStringLiteral("Label2")); // "General Setup"
    type(Qt::Key_Return);
    QCOMPARE(m_window->frontScreen(), std::optional(ScreenId::GeneralSetup));
    // The focus is on the first control of the screen that opened.
    QVERIFY(m_window->screen(ScreenId::GeneralSetup)->isAncestorOf(QApplication::focusWidget()));
    QCOMPARE(menu->entryColor(MenuEntry::GeneralSetup), CommandMenu::kYellow);

    // Alt+letter from anywhere in the window; the click follows a short press animation.
    type(Qt::Key_B, Qt::AltModifier);
    QTRY_COMPARE(m_window->frontScreen(), std::optional(ScreenId::BarcodeSetup));
    menu->focusHighlighted();
    type(Qt::Key_Space);
    QCOMPARE(m_window->frontScreen(), std::optional(ScreenId::BarcodeSetup));

    // Escape on the menu keeps its meaning: the loopback test, while connected.
    connectBySimulator();
    menu->focusHighlighted();
    type(Qt::Key_Escape);
    QCOMPARE(m_window->frontScreen(), std::optional(ScreenId::Loopback));
}

void TestAccessibility::ctrlTabSwitchesWindows() {
    activate();
    QWidget *form = m_window->commForm();
    QVERIFY(form->isAncestorOf(QApplication::focusWidget()));
    type(Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(focusName(), QStringLiteral("Label3"));
    type(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(form->isAncestorOf(QApplication::focusWidget()));

    // Also out of a running terminal, whose other keys go to the reader.
    connectBySimulator();
    m_window->chooseEntry(MenuEntry::TerminalMode);
    terminal::TerminalScreen *terminal = m_window->screen<ScreenId::Terminal>();
    QVERIFY(terminal->isRunning());
    QCOMPARE(QApplication::focusWidget(), terminal->view());
    type(Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(focusName(), QStringLiteral("Label1"));
    type(Qt::Key_Tab, Qt::ControlModifier);
    QVERIFY(terminal->isAncestorOf(QApplication::focusWidget()));
}

void TestAccessibility::keyboardOnlySession() {
    activate();
    // Communications is in front with the focus on its first control, the link mode.
    QCOMPARE(focusName(), QStringLiteral("Option1"));
    type(Qt::Key_Space); // TCP/IP
    for (int i = 0; i < 20 && focusName() != QLatin1String("Text1"); ++i)
        type(Qt::Key_Tab);
    QCOMPARE(focusName(), QStringLiteral("Text1"));
    type(Qt::Key_A, Qt::ControlModifier);
    typeText(QStringLiteral("127.0.0.1"));
    type(Qt::Key_Tab);
    QCOMPARE(focusName(), QStringLiteral("Text3"));
    type(Qt::Key_A, Qt::ControlModifier);
    typeText(QString::number(m_rig->server->port()));
    type(Qt::Key_Tab);
    QCOMPARE(focusName(), QStringLiteral("Label10")); // "Connect to Port"
    type(Qt::Key_Space);
    QTRY_COMPARE(m_window->commandMenu()->status(), QStringLiteral("Connected"));

    type(Qt::Key_U, Qt::AltModifier); // "Utilities"
    QTRY_COMPARE(m_window->frontScreen(), std::optional(ScreenId::Utilities));
    QCOMPARE(focusName(), QStringLiteral("Label1_0")); // "Get Firmware Identification"
    type(Qt::Key_Space);

    QWidget *field = m_window->screen(ScreenId::Utilities)->findChild<QWidget *>("Text1_0");
    QAccessibleInterface *iface = a11y(field);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Firmware Identification"));
    QVERIFY(iface->textInterface());
    const QString expected = QString::fromLatin1(m_rig->sim.options().firmwareId);
    QTRY_COMPARE(iface->textInterface()->text(0, iface->textInterface()->characterCount()),
                 expected);
}

void TestAccessibility::terminalTextIsTheGrid() {
    connectBySimulator();
    m_window->chooseEntry(MenuEntry::TerminalMode);
    terminal::TerminalScreen *screen = m_window->screen<ScreenId::Terminal>();
    QVERIFY(screen->isRunning());
    activate();
    QCOMPARE(QApplication::focusWidget(), screen->view());
    typeText(QStringLiteral("V"));
    type(Qt::Key_Return);
    const terminal::TerminalGrid &grid = screen->session()->grid();
    const QString firmware = QString::fromLatin1(m_rig->sim.options().firmwareId);
    QTRY_VERIFY(grid.text().contains(firmware));

    QAccessibleInterface *iface = a11y(screen->view());
    QCOMPARE(iface->role(), QAccessible::Terminal);
    QAccessibleTextInterface *text = iface->textInterface();
    QVERIFY(text);
    QCOMPARE(text->text(0, text->characterCount()), grid.text());
    QCOMPARE(text->cursorPosition(), int(grid.textOffset(grid.cursorLine(), grid.cursorColumn())));
    QVERIFY(text->cursorPosition() > 0);

    // "Clear Screen" is reached with Shift+Tab and hands the focus back to the terminal.
    type(Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(focusName(), QStringLiteral("Label17"));
    type(Qt::Key_Space);
    QCOMPARE(QApplication::focusWidget(), screen->view());
    QCOMPARE(text->characterCount(), 0);
}

void TestAccessibility::resetEndFocusesItsFinalLine() {
    m_window->setAsker([](const QString &, std::function<void(bool)> answer) { answer(true); });
    connectBySimulator();
    activate();
    m_window->chooseEntry(MenuEntry::ResetReader);
    auto *left = m_window->screen(ScreenId::ProgramReader)->findChild<QPlainTextEdit *>("Picture1");
    QTRY_VERIFY(left->toPlainText().contains(QStringLiteral("Reset Complete")));
    QTRY_COMPARE(QApplication::focusWidget(), left);
    QCOMPARE(left->textCursor().block().text(), QStringLiteral("Reset Complete"));
    QCOMPARE(a11y(left)->text(QAccessible::Name), QStringLiteral("Progress"));
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
