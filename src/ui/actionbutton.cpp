#include "actionbutton.h"

#include "controlnames.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace varo::ui {

namespace {

const QColor kBoxFill(224, 224, 224);
const QColor kBoxOutline(128, 128, 128);
constexpr qreal kBoxRadius = 6;

// Whether Alt is held, for showing the mnemonics. Watches the application's key events; a
// window losing the focus forgets the key (its release goes elsewhere).
class AltWatcher : public QObject {
public:
    static AltWatcher &instance() {
        static QPointer<AltWatcher> watcher;
        if (!watcher) {
            watcher = new AltWatcher(qApp);
            qApp->installEventFilter(watcher);
        }
        return *watcher;
    }

    bool isHeld() const { return m_held; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Alt)
                setHeld(event->type() == QEvent::KeyPress);
            break;
        case QEvent::ApplicationDeactivate:
            setHeld(false);
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    using QObject::QObject;

    void setHeld(bool held) {
        if (held == m_held)
            return;
        m_held = held;
        const QList<QWidget *> widgets = QApplication::allWidgets();
        for (QWidget *w : widgets) {
            if (qobject_cast<ActionButton *>(w))
                w->update();
        }
    }

    bool m_held = false;
};

} // namespace

ActionButton::ActionButton(const QString &text, QWidget *parent)
    : QAbstractButton(parent) {
    setText(text);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    AltWatcher::instance();

    // A button's own mnemonic works only while the focus is in its child window; the command
    // menu's entries must answer from every screen. So the mnemonic is an application-wide
    // shortcut that only a shown, enabled button in the active window acts on. (A modal dialog
    // or a running terminal, which takes every key, still keeps it.)
    const QKeySequence mnemonic = QKeySequence::mnemonic(text);
    setShortcut(QKeySequence());
    if (!mnemonic.isEmpty()) {
        auto *shortcut = new QShortcut(mnemonic, this);
        shortcut->setContext(Qt::ApplicationShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (isVisible() && isEnabled() && window()->isActiveWindow())
                click();
        });
    }
}

void ActionButton::setLook(Look look) {
    m_look = look;
    if (look == Look::Box)
        m_alignment = Qt::AlignCenter;
    update();
}

void ActionButton::setTextColor(const QColor &color) {
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void ActionButton::setAlignment(Qt::Alignment alignment) {
    m_alignment = alignment;
    update();
}

QString ActionButton::caption() const {
    return withoutMnemonic(text());
}

QSize ActionButton::sizeHint() const {
    const QSize text = fontMetrics().size(Qt::TextShowMnemonic, this->text());
    return m_look == Look::Box ? text + QSize(16, 8) : text;
}

void ActionButton::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    if (m_look == Look::Box) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(kBoxOutline, 1));
        painter.setBrush(kBoxFill);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kBoxRadius,
                                kBoxRadius);
        painter.setRenderHint(QPainter::Antialiasing, false);
    }
    const int mnemonic =
        AltWatcher::instance().isHeld() ? Qt::TextShowMnemonic : Qt::TextHideMnemonic;
    const int flags = int(m_alignment) | mnemonic | Qt::TextSingleLine;
    const QRect area = m_look == Look::Box ? rect().adjusted(1, 1, -1, -1) : rect();
    painter.setPen(isEnabled() ? m_color : palette().color(QPalette::Disabled, QPalette::Text));
    painter.setFont(font());
    painter.drawText(area, flags, text());

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        const QRect textRect = painter.boundingRect(area, flags, text());
        focus.rect = textRect.adjusted(-2, 0, 2, 0).intersected(rect());
        focus.backgroundColor = palette().color(QPalette::Window);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

void ActionButton::keyPressEvent(QKeyEvent *event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !event->isAutoRepeat()) {
        event->accept();
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

} // namespace varo::ui
