#include "terminalscreen.h"

#include "terminal/terminalsession.h"
#include "terminal/terminalview.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace varo::terminal {

namespace {

QRect twipsRect(int left, int top, int width, int height) {
    return {qRound(left / 15.0), qRound(top / 15.0), qRound(width / 15.0), qRound(height / 15.0)};
}

} // namespace

TerminalScreen::TerminalScreen(link::ReaderLink *link, QWidget *parent)
    : QWidget(parent)
    , m_session(new TerminalSession(link, this))
    , m_view(new TerminalView(&m_session->grid(), this))
    , m_status(new QLabel(QStringLiteral("STATUS"), this))
    , m_hint(new QLabel(QStringLiteral("To send a NULL character hit the F10 key"), this))
    , m_clear(new QPushButton(QStringLiteral("Clear Screen"), this)) {
    setObjectName(QStringLiteral("termmode"));
    setWindowTitle(QStringLiteral("Terminal Mode"));

    m_status->setObjectName(QStringLiteral("Label2_0"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setGeometry(twipsRect(240, 120, 9855, 315));
    m_hint->setObjectName(QStringLiteral("Label2_1"));
    m_hint->setTextFormat(Qt::PlainText);
    m_hint->setGeometry(twipsRect(240, 480, 9855, 315));
    m_view->move(twipsRect(240, 840, 0, 0).topLeft());
    m_clear->setObjectName(QStringLiteral("Label17"));
    m_clear->setGeometry(twipsRect(240, 840 + TerminalView::kHeightTwips + 120, 1695, 375));
    m_clear->setFocusPolicy(Qt::NoFocus);
    setMinimumSize(twipsRect(0, 0, 240 + TerminalView::kWidthTwips + 240,
                             840 + TerminalView::kHeightTwips + 120 + 375 + 240)
                       .size());

    m_view->installEventFilter(this);
    connect(m_session, &TerminalSession::gridChanged, m_view, &TerminalView::modelChanged);
    connect(m_session, &TerminalSession::statusTextChanged, m_status, &QLabel::setText);
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
        // While the terminal runs every key is terminal input, not a shortcut.
        if (m_session->isRunning()) {
            event->accept();
            return true;
        }
        break;
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
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
