#include "terminalscreen.h"

#include "terminal/terminalsession.h"
#include "terminal/terminalview.h"
#include "ui/controlnames.h"
#include "ui/twips.h"
#include "ui/valuelabel.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace varo::terminal {

namespace {

using ui::twipsRect;

// The screen's mapping: object names and the captions controls are announced by.
enum class Control { StatusLine, Hint, ClearButton };

constexpr ui::NamedControl<Control> kControls[] = {
    {Control::StatusLine, {"Label2_0", "Terminal status"}},
    {Control::Hint, {"Label2_1"}},
    {Control::ClearButton, {"Label17"}},
};
static_assert(ui::coversEveryId(kControls));

// Keys that switch child windows stay shortcuts while the terminal runs.
bool switchesWindows(const QKeyEvent *key) {
    return key->modifiers().testFlag(Qt::ControlModifier) &&
           (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab);
}

} // namespace

TerminalScreen::TerminalScreen(link::ReaderLink *link, QWidget *parent)
    : QWidget(parent)
    , m_session(new TerminalSession(link, this))
    , m_view(new TerminalView(&m_session->grid(), this))
    , m_status(new ui::ValueLabel({}, this))
    , m_hint(new QLabel(QStringLiteral("To send a NULL character hit the F10 key"), this))
    , m_clear(new QPushButton(QStringLiteral("Clear Screen"), this)) {
    setObjectName(QStringLiteral("termmode"));
    setWindowTitle(QStringLiteral("Terminal Mode"));

    const ui::ControlName &statusName = nameOf(kControls, Control::StatusLine);
    m_status->setObjectName(statusName.object());
    m_status->setCaption(statusName.spoken());
    m_status->setLive(true);
    m_status->setValue(QStringLiteral("STATUS"));
    m_status->setGeometry(twipsRect(240, 120, 9855, 315));
    ui::named(m_hint, kControls, Control::Hint);
    m_hint->setTextFormat(Qt::PlainText);
    m_hint->setGeometry(twipsRect(240, 480, 9855, 315));
    m_view->move(twipsRect(240, 840, 0, 0).topLeft());
    ui::named(m_clear, kControls, Control::ClearButton);
    m_clear->setGeometry(twipsRect(240, 840 + TerminalView::kHeightTwips + 120, 1695, 375));
    // In the tab order (a click leaves the focus on the terminal): Shift+Tab from the terminal
    // reaches it, Tab from it goes back.
    m_clear->setFocusPolicy(Qt::TabFocus);
    QWidget::setTabOrder(m_clear, m_view);
    setMinimumSize(twipsRect(0, 0, 240 + TerminalView::kWidthTwips + 240,
                             840 + TerminalView::kHeightTwips + 120 + 375 + 240)
                       .size());

    m_view->installEventFilter(this);
    connect(m_session, &TerminalSession::gridChanged, m_view, &TerminalView::modelChanged);
    connect(m_session, &TerminalSession::statusTextChanged, m_status, &ui::ValueLabel::setValue);
    connect(m_clear, &QPushButton::clicked, this, [this] {
        m_session->clearScreen();
        m_view->setFocus(Qt::OtherFocusReason);
    });
}

TerminalScreen::~TerminalScreen() = default;

bool TerminalScreen::start() {
    if (!m_session->start())
        return false;
    show();
    raise();
    m_view->setFocus(Qt::OtherFocusReason);
    return true;
}

void TerminalScreen::stop() {
    m_session->stop();
}

bool TerminalScreen::isRunning() const {
    return m_session->isRunning();
}

bool TerminalScreen::eventFilter(QObject *watched, QEvent *event) {
    if (watched != m_view)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // While the terminal runs every key is terminal input, not a shortcut, but for the
        // keys that switch child windows.
        if (m_session->isRunning() && !switchesWindows(static_cast<QKeyEvent *>(event))) {
            event->accept();
            return true;
        }
        break;
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        // Shift+Tab leaves the terminal for "Clear Screen" (Tab itself goes to the reader).
        if (key->key() == Qt::Key_Backtab && key->modifiers() == Qt::ShiftModifier) {
            m_clear->setFocus(Qt::BacktabFocusReason);
            key->accept();
            return true;
        }
        if (m_session->keyPress(key->key(), key->modifiers(), key->text(), key->isAutoRepeat())) {
            key->accept();
            return true;
        }
        break;
    }
    case QEvent::KeyRelease: {
        auto *key = static_cast<QKeyEvent *>(event);
        if (m_session->keyRelease(key->key(), key->modifiers(), key->isAutoRepeat())) {
            key->accept();
            return true;
        }
        break;
    }
    case QEvent::FocusOut:
        m_session->focusLost();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace varo::terminal
