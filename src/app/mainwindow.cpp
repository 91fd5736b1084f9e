#include "mainwindow.h"

#include "aboutdialog.h"
#include "clickablelabel.h"
#include "commform.h"
#include "profileactions.h"
#include "twips.h"

#include "config/barcodescreen.h"
#include "config/commportsscreen.h"
#include "config/configmodel.h"
#include "config/defaults.h"
#include "config/generalscreen.h"
#include "config/pgmform.h"
#include "config/programrun.h"
#include "config/wiegandscreen.h"
#include "flash/flashscreen.h"
#include "link/readerlink.h"
#include "loopback/loopbackscreen.h"
#include "terminal/terminalscreen.h"
#include "utilities/utilitiesscreen.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QShortcut>

namespace varo::app {

namespace {

struct MenuBarEntry {
    const char *control;
    const char *caption;
    int width; // characters; the caption is padded with blanks up to it
};

constexpr MenuBarEntry kMenuBar[] = {
    {"hp", "Get Settings", 21},
    {"sprof", "Save Settings", 24},
    {"df", "Default Settings", 26},
    {"ab", "About", 15},
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
    m_profiles->setWriteGuard([this] {
        return m_link->activeOperation() == config::ProgramRun::kOperationName
                   ? QStringLiteral("\"Program Reader\" is sending them to the reader.")
                   : QString();
    });
    buildMenuBar();

    m_menu = new CommandMenu;
    m_menuHost = m_mdi->addSubWindow(m_menu, Qt::FramelessWindowHint);
    connect(m_menu, &CommandMenu::entryClicked, this, &MainWindow::chooseEntry);
    connect(m_menu, &CommandMenu::escapePressed, this, &MainWindow::escapeOnMenu);
    // The bootloader extension entry stays hidden; technicians reach it with Ctrl+Shift+B.
    auto *boot2 = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+B")), this);
    connect(boot2, &QShortcut::activated, this, [this] { chooseEntry(MenuEntry::BootExtension); });

    m_commForm = new CommForm(m_link);
    m_screens.insert(m_commForm->objectName(), m_commForm);
    host(m_commForm);
    connect(m_commForm, &CommForm::noticeRaised, this, &MainWindow::showNotice);

    connect(m_link, &link::ReaderLink::statusChanged, m_menu, &CommandMenu::setStatus);
    connect(m_link, &link::ReaderLink::linkErrorOccurred, this, [this](const QString &reason) {
        showNotice(QStringLiteral("The link to the reader failed: %1").arg(reason));
    });

    m_asker = [this](const QString &question, std::function<void(bool)> answer) {
        auto *box = new QMessageBox(QMessageBox::Question, kTitle, question,
                                    QMessageBox::Yes | QMessageBox::No, this);
        box->setTextFormat(Qt::PlainText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        connect(box, &QMessageBox::finished, this, [box, answer = std::move(answer)](int) {
            answer(box->clickedButton() == box->button(QMessageBox::Yes));
        });
        box->open();
    };

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
            connect(action, &QAction::triggered, this, &MainWindow::loadDefaults);
        else if (control == QLatin1String("ab"))
            connect(action, &QAction::triggered, this, &MainWindow::showAbout);
        else if (control == QLatin1String("hp"))
            connect(action, &QAction::triggered, m_profiles, &ProfileActions::getSettings);
        else if (control == QLatin1String("sprof"))
            connect(action, &QAction::triggered, m_profiles, &ProfileActions::saveSettings);
    }
}

void MainWindow::startUp() {
    loadDefaults();
    m_terminalStopFlag = 0;
    m_terminalTcpFlag = 0;
    m_link->settings().mode = link::LinkSettings::kSerial;
    m_menu->paintStatus(CommandMenu::kYellow);

    m_menuHost->show();
    placeAll();
    m_menu->allWhite();
    m_menu->highlight(MenuEntry::Communications);
    bringToFront(QStringLiteral("commform"));
}

QWidget *MainWindow::screen(const QString &name) {
    if (QWidget *existing = m_screens.value(name))
        return existing;
    QWidget *created = createScreen(name);
    if (!created)
        return nullptr;
    m_screens.insert(name, created);
    host(created);
    return created;
}

QWidget *MainWindow::createScreen(const QString &name) {
    using namespace varo;
    if (name == QLatin1String("general"))
        return new config::GeneralScreen(m_config.get());
    if (name == QLatin1String("wiegand"))
        return new config::WiegandScreen(m_config.get());
    if (name == QLatin1String("barcode"))
        return new config::BarcodeScreen(m_config.get());
    if (name == QLatin1String("commports"))
        return new config::CommportsScreen(m_config.get());
    if (name == QLatin1String("pgmform"))
        return new config::PgmForm(m_link, m_config.get());
    if (name == QLatin1String("utilities"))
        return new utilities::UtilitiesScreen(m_link);
    if (name == QLatin1String("flashdl"))
        return new flash::FlashScreen(m_link, flash::FlashScreen::Kind::Firmware);
    if (name == QLatin1String("flashboot2"))
        return new flash::FlashScreen(m_link, flash::FlashScreen::Kind::Boot2);
    if (name == QLatin1String("termmode"))
        return new terminal::TerminalScreen(m_link);
    if (name == QLatin1String("loopback"))
        return new loopback::LoopbackScreen(m_link);
    return nullptr;
}

QMdiSubWindow *MainWindow::host(QWidget *screen) {
    QMdiSubWindow *sub = m_mdi->addSubWindow(screen, Qt::FramelessWindowHint);
    sub->setObjectName(screen->objectName() + QStringLiteral("Host"));
    sub->setWindowTitle(screen->windowTitle());
    m_hosts.insert(screen->objectName(), sub);
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

void MainWindow::bringToFront(const QString &name) {
    if (!screen(name))
        return;
    QMdiSubWindow *sub = m_hosts.value(name);
    placeForm(sub);
    sub->show();
    sub->raise();
    m_mdi->setActiveSubWindow(sub);
    sub->widget()->update();
}

void MainWindow::showNotice(const QString &text) {
    m_lastNotice = text;
    auto *box = new QMessageBox(QMessageBox::NoIcon, kTitle, text, QMessageBox::Ok, this);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
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
    showNotice(QStringLiteral("The link is busy: %1 is running.").arg(m_link->activeOperation()));
    return true;
}

bool MainWindow::firmwareBaudAllowed() {
    if (!m_link->settings().isTcp() && m_link->settings().baudRate != 9600) {
        showNotice(kBaudMessage);
        return false;
    }
    return true;
}

void MainWindow::stopTerminal() {
    m_terminalStopFlag = -1;
    if (auto *terminal = qobject_cast<terminal::TerminalScreen *>(m_screens.value("termmode")))
        terminal->stop();
}

void MainWindow::startTerminal() {
    m_menu->allWhite();
    m_menu->highlight(MenuEntry::TerminalMode);
    bringToFront(QStringLiteral("termmode"));
    m_terminalStopFlag = 0;
    if (!m_commForm->isSerialSelected())
        m_terminalTcpFlag = -1;
    auto *terminal = qobject_cast<terminal::TerminalScreen *>(m_screens.value("termmode"));
    terminal->start();
}

void MainWindow::chooseEntry(MenuEntry entry) {
    if (entry != MenuEntry::TerminalMode)
        stopTerminal();
    const bool connected = m_link->isConnected();

    switch (entry) {
    case MenuEntry::Communications:
    case MenuEntry::GeneralSetup:
    case MenuEntry::WiegandSetup:
    case MenuEntry::BarcodeSetup: {
        static const QHash<MenuEntry, QString> kScreens{
            {MenuEntry::Communications, QStringLiteral("commform")},
            {MenuEntry::GeneralSetup, QStringLiteral("general")},
            {MenuEntry::WiegandSetup, QStringLiteral("wiegand")},
            {MenuEntry::BarcodeSetup, QStringLiteral("barcode")},
        };
        m_menu->allWhite();
        m_menu->highlight(entry);
        bringToFront(kScreens.value(entry));
        return;
    }
    case MenuEntry::TerminalMode:
        if (!connected)
            return;
        if (m_link->isBusy() && m_link->activeOperation() != QLatin1String("Terminal Mode")) {
            refuseWhileBusy();
            return;
        }
        startTerminal();
        return;
    case MenuEntry::Utilities:
        if (!connected)
            return;
        m_menu->allWhite();
        m_menu->highlight(entry);
        bringToFront(QStringLiteral("utilities"));
        return;
    case MenuEntry::ProgramReader:
    case MenuEntry::ResetReader: {
        if (!connected)
            return;
        m_menu->allWhite();
        m_menu->highlight(entry);
        if (refuseWhileBusy())
            return;
        const bool program = entry == MenuEntry::ProgramReader;
        ask(program ? kProgramQuestion : kResetQuestion, [this, program] {
            bringToFront(QStringLiteral("pgmform"));
            auto *form = static_cast<config::PgmForm *>(screen(QStringLiteral("pgmform")));
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
        m_menu->allWhite();
        m_menu->highlight(MenuEntry::FlashNewFirmware);
        bringToFront(entry == MenuEntry::FlashNewFirmware ? QStringLiteral("flashdl")
                                                          : QStringLiteral("flashboot2"));
        return;
    }
}

void MainWindow::escapeOnMenu() {
    if (!m_link->isConnected())
        return;
    stopTerminal();
    bringToFront(QStringLiteral("loopback"));
}

void MainWindow::loadDefaults() {
    m_commForm->selectSerial();
    m_commForm->selectPort(2);
    m_commForm->selectBaud(9600);
    m_commForm->setIpAddress(kDefaultReaderAddress);
    m_commForm->setTcpPort(kDefaultReaderPort);
    static_cast<utilities::UtilitiesScreen *>(screen(QStringLiteral("utilities")))->selectAdd();
    screen(QStringLiteral("general"));
    screen(QStringLiteral("wiegand"));
    screen(QStringLiteral("barcode"));
    screen(QStringLiteral("commports"));
    config::loadDefaults(*m_config);
}

void MainWindow::showAbout() {
    auto *about = new AboutDialog(this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->centreOn(this);
    about->open();
}

void MainWindow::closeEvent(QCloseEvent *event) {
    // The program ends at once; an operation still waiting for the reader is abandoned.
    if (m_link->isConnected())
        m_link->disconnectReader();
    event->accept();
}

} // namespace varo::app
