#include "mainwindow.h"

#include "aboutdialog.h"
#include "commform.h"
#include "profileactions.h"

#include "config/configmodel.h"
#include "config/defaults.h"
#include "config/programrun.h"
#include "config/ui/pgmform.h"
#include "flash/loaderbaud.h"
#include "link/readerlink.h"
#include "terminal/terminalscreen.h"
#include "trace/tracewindow.h"
#include "ui/controlnames.h"
#include "ui/keyboard.h"
#include "ui/notice.h"
#include "ui/twips.h"
#include "utilities/utilitiesscreen.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QShortcut>

namespace varo::app {

namespace {

using ui::twips;

struct MenuBarEntry {
    const char *control;
    const char *caption;
    int width; // characters; the caption is padded with blanks up to it
};

constexpr MenuBarEntry kMenuBar[] = {
    {"hp", "Get Settings", 21}, {"sprof", "Save Settings", 24}, {"df", "Default Settings", 26},
    {"ab", "About", 15},        {"trace", "Trace", 15},
};

const QString kProgramQuestion =
    QStringLiteral("Do you want to program the reader with the options you have specified?\n"
                   "All data will be lost in the reader");
const QString kResetQuestion = QStringLiteral("Do you want to reset the reader?");
const QString kBaudMessage =
    QStringLiteral("Controller must be programmed to 9600 baud before reflashing");

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_link(new link::ReaderLink(this))
    , m_config(std::make_unique<config::ConfigModel>()) {
    setObjectName(QStringLiteral("stamain"));
    setWindowTitle(kTitle);

    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("mdiArea"));
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setCentralWidget(m_mdi);
    m_profiles = new ProfileActions(m_config.get(), this);
    // A programming run reads the screens as it builds each command: a profile loaded meanwhile
    // would reach the reader half old, half new.
    m_profiles->setWriteGuard([this] { return screensLockedReason(); });
    buildMenuBar();

    m_menu = new CommandMenu;
    m_menuHost = m_mdi->addSubWindow(m_menu, Qt::FramelessWindowHint);
    m_menuHost->setWindowTitle(m_menu->windowTitle());
    connect(m_menu, &CommandMenu::entryClicked, this, &MainWindow::chooseEntry);
    connect(m_menu, &CommandMenu::escapePressed, this, &MainWindow::escapeOnMenu);
    // The bootloader extension entry stays hidden; technicians reach it with Ctrl+Shift+B.
    auto *boot2 = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+B")), this);
    connect(boot2, &QShortcut::activated, this, [this] { chooseEntry(MenuEntry::BootExtension); });

    m_commForm = screen<ScreenId::Communications>();
    connect(m_commForm, &CommForm::noticeRaised, this, &MainWindow::showNotice);

    connect(m_link, &link::ReaderLink::stateChanged, m_menu,
            [this](link::LinkState state) { m_menu->setStatus(link::statusText(state)); });
    // One notice an outage: a link that drops again right after reconnecting is told once.
    connect(m_link, &link::ReaderLink::linkErrorOccurred, this, [this](const QString &reason) {
        if (!m_link->isRepeatedLoss())
            showNotice(QStringLiteral("The link to the reader failed: %1").arg(reason));
    });
    connect(m_link, &link::ReaderLink::reconnectScheduled, m_menu,
            [this](std::chrono::milliseconds delay) {
                const auto seconds = (delay.count() + 999) / 1000;
                m_menu->setStatus(QStringLiteral("Reconnecting in %1 s").arg(seconds));
            });
    connect(m_link, &link::ReaderLink::reconnectRefused, this, &MainWindow::showNotice);

    m_asker = ui::questionAsker(this, kTitle);

    // Ctrl+Tab and Ctrl+Shift+Tab (which arrives as Backtab) switch child windows.
    for (const QKeySequence &keys :
         {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)}) {
        auto *shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, &MainWindow::switchWindow);
    }

    const int clientWidth = twips(kClientWidthTwips);
    resize(clientWidth, twips(kHeightTwips) + menuBar()->sizeHint().height());
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenuBar() {
    for (const MenuBarEntry &entry : kMenuBar) {
        const QString caption =
            QString::fromLatin1(entry.caption).leftJustified(entry.width, QLatin1Char(' '));
        QAction *action = menuBar()->addAction(caption);
        action->setObjectName(QString::fromLatin1(entry.control));
        const QString control = QString::fromLatin1(entry.control);
        if (control == QLatin1String("df"))
            connect(action, &QAction::triggered, this, &MainWindow::chooseDefaults);
        else if (control == QLatin1String("ab"))
            connect(action, &QAction::triggered, this, &MainWindow::showAbout);
        else if (control == QLatin1String("hp"))
            connect(action, &QAction::triggered, m_profiles, &ProfileActions::getSettings);
        else if (control == QLatin1String("sprof"))
            connect(action, &QAction::triggered, m_profiles, &ProfileActions::saveSettings);
        else if (control == QLatin1String("trace"))
            connect(action, &QAction::triggered, this, &MainWindow::showTrace);
    }
}

void MainWindow::startUp() {
    loadDefaults();
    m_menu->paintStatus(CommandMenu::kYellow);

    m_menuHost->show();
    placeAll();
    selectEntry(MenuEntry::Communications);
    bringToFront(ScreenId::Communications);
}

QWidget *MainWindow::screen(ScreenId id) {
    if (QWidget *existing = m_screens.value(id))
        return existing;
    QWidget *created = screenEntry(id).make({m_link, m_config.get()});
    m_screens.insert(id, created);
    host(id, created);
    return created;
}

QMdiSubWindow *MainWindow::host(ScreenId id, QWidget *screen) {
    QMdiSubWindow *sub = m_mdi->addSubWindow(screen, Qt::FramelessWindowHint);
    sub->setObjectName(screen->objectName() + QStringLiteral("Host"));
    sub->setWindowTitle(screen->windowTitle());
    sub->setAccessibleName(screen->windowTitle());
    m_hosts.insert(id, sub);
    placeForm(sub);
    sub->hide();
    return sub;
}

void MainWindow::placeForm(QMdiSubWindow *sub) {
    const QSize area = m_mdi->viewport()->size();
    const int left = twips(CommandMenu::kWidthTwips + 1);
    sub->setGeometry(left, 0, qMax(0, area.width() - left), area.height());
}

void MainWindow::placeAll() {
    m_menuHost->setGeometry(0, 0, twips(CommandMenu::kWidthTwips), m_mdi->viewport()->height());
    for (QMdiSubWindow *sub : std::as_const(m_hosts))
        placeForm(sub);
}

void MainWindow::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    placeAll();
}

void MainWindow::selectEntry(MenuEntry entry) {
    m_menu->allWhite();
    m_menu->highlight(entry);
}

void MainWindow::bringToFront(ScreenId id) {
    QWidget *shown = screen(id);
    QMdiSubWindow *sub = m_hosts.value(id);
    placeForm(sub);
    sub->show();
    sub->raise();
    m_mdi->setActiveSubWindow(sub);
    shown->update();
    m_front = id;
    // The keyboard goes on in the screen that opened.
    ui::focusFirstControl(shown);
}

void MainWindow::switchWindow() {
    QWidget *focus = QApplication::focusWidget();
    const bool inMenu = focus && (focus == m_menu || m_menu->isAncestorOf(focus));
    if (inMenu && m_front) {
        QMdiSubWindow *sub = m_hosts.value(*m_front);
        m_mdi->setActiveSubWindow(sub);
        ui::focusFirstControl(sub->widget());
    } else {
        m_mdi->setActiveSubWindow(m_menuHost);
        m_menu->focusHighlighted();
    }
}

void MainWindow::showNotice(const QString &text) {
    ui::openNotice(this, kTitle, text);
    emit noticeShown(text);
}

void MainWindow::ask(const QString &question, std::function<void()> onYes) {
    m_asker(question, [onYes = std::move(onYes)](bool yes) {
        if (yes)
            onYes();
    });
}

bool MainWindow::refuseWhileBusy() {
    if (!m_link->isBusy())
        return false;
    showNotice(
        QStringLiteral("The link is busy: %1 is running.").arg(m_link->activeOperationName()));
    return true;
}

bool MainWindow::firmwareBaudAllowed() {
    // The reader's baud rate as the technician has chosen it on the Communications screen.
    const link::LinkSettings settings = m_commForm->linkSettings();
    if (!flash::fitsLoader(settings)) {
        showNotice(kBaudMessage);
        return false;
    }
    return true;
}

void MainWindow::stopTerminal() {
    if (m_screens.contains(ScreenId::Terminal))
        screen<ScreenId::Terminal>()->stop();
}

void MainWindow::startTerminal() {
    selectEntry(MenuEntry::TerminalMode);
    bringToFront(ScreenId::Terminal);
    screen<ScreenId::Terminal>()->start();
}

void MainWindow::chooseEntry(MenuEntry entry) {
    if (entry != MenuEntry::TerminalMode)
        stopTerminal();
    const bool connected = m_link->isConnected();

    switch (entry) {
    case MenuEntry::Communications:
    case MenuEntry::GeneralSetup:
    case MenuEntry::WiegandSetup:
    case MenuEntry::BarcodeSetup:
        selectEntry(entry);
        bringToFront(*screenFor(entry));
        return;
    case MenuEntry::TerminalMode:
        if (!connected)
            return;
        if (m_link->isBusy() && m_link->activeOperation() != link::Operation::Terminal) {
            refuseWhileBusy();
            return;
        }
        startTerminal();
        return;
    case MenuEntry::Utilities:
        if (!connected)
            return;
        selectEntry(entry);
        bringToFront(ScreenId::Utilities);
        return;
    case MenuEntry::ProgramReader:
    case MenuEntry::ResetReader: {
        if (!connected)
            return;
        selectEntry(entry);
        if (refuseWhileBusy())
            return;
        if (m_link->isBroken()) {
            // Nothing could answer; a half-sent programming run would need looking at.
            showNotice(m_link->unusableReason());
            return;
        }
        const bool program = entry == MenuEntry::ProgramReader;
        ask(program ? kProgramQuestion : kResetQuestion, [this, program] {
            bringToFront(ScreenId::ProgramReader);
            config::PgmForm *form = screen<ScreenId::ProgramReader>();
            // A refusal (link busy) is reported by the form itself.
            if (program)
                form->doProgram();
            else
                form->doReset();
        });
        return;
    }
    case MenuEntry::FlashNewFirmware:
    case MenuEntry::BootExtension:
        if (!connected || !firmwareBaudAllowed())
            return;
        selectEntry(MenuEntry::FlashNewFirmware);
        bringToFront(*screenFor(entry));
        return;
    }
}

void MainWindow::escapeOnMenu() {
    if (!m_link->isConnected())
        return;
    stopTerminal();
    bringToFront(ScreenId::Loopback);
}

QString MainWindow::screensLockedReason() const {
    return m_link->activeOperation() == link::Operation::ProgramReader
               ? QStringLiteral("\"Program Reader\" is sending them to the reader.")
               : QString();
}

void MainWindow::chooseDefaults() {
    // A programming run reads the screens as it builds each command.
    if (const QString reason = screensLockedReason(); !reason.isEmpty()) {
        showNotice(QStringLiteral("The screens were not changed: %1").arg(reason));
        return;
    }
    loadDefaults();
}

void MainWindow::loadDefaults() {
    m_commForm->selectSerial();
    m_commForm->selectPort(2);
    m_commForm->selectBaud(9600);
    m_commForm->setIpAddress(kDefaultReaderAddress);
    m_commForm->setTcpPort(kDefaultReaderPort);
    screen<ScreenId::Utilities>()->selectAdd();
    for (ScreenId setup : {ScreenId::GeneralSetup, ScreenId::WiegandSetup, ScreenId::BarcodeSetup,
                           ScreenId::ReaderPorts})
        screen(setup);
    config::loadDefaults(*m_config);
}

void MainWindow::showAbout() {
    auto *about = new AboutDialog(this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->centreOn(this);
    about->open();
}

trace::TraceWindow *MainWindow::traceWindow() {
    if (!m_trace)
        m_trace = new trace::TraceWindow(m_link, this);
    return m_trace;
}

void MainWindow::showTrace() {
    trace::TraceWindow *window = traceWindow();
    window->show();
    window->raise();
    window->activateWindow();
}

void MainWindow::closeEvent(QCloseEvent *event) {
    // The program ends at once; an operation still waiting for the reader is abandoned.
    m_link->cancelReply();
    if (m_trace)
        m_trace->close();
    if (m_link->isConnected())
        m_link->disconnectReader();
    event->accept();
}

} // namespace varo::app
