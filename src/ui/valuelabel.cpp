#include "valuelabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QMouseEvent>

namespace varo::ui {

namespace {

// A value label to assistive tools: static text, or a status bar while it is live. The
// interface is made (and cached) as the label is built, so the role is asked for each time.
class ValueLabelAccessible : public QAccessibleWidget {
public:
    explicit ValueLabelAccessible(ValueLabel *label)
        : QAccessibleWidget(label, QAccessible::StaticText) {}

    QAccessible::Role role() const override {
        return static_cast<const ValueLabel *>(widget())->isLive() ? QAccessible::StatusBar
                                                                   : QAccessible::StaticText;
    }
};

QAccessibleInterface *valueLabelFactory(const QString &className, QObject *object) {
    if (className != QLatin1String(ValueLabel::staticMetaObject.className()))
        return nullptr;
    auto *label = qobject_cast<ValueLabel *>(object);
    return label ? new ValueLabelAccessible(label) : nullptr;
}

} // namespace

ValueLabel::ValueLabel(const QString &caption, QWidget *parent)
    : QLabel(parent)
    , m_caption(caption) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(valueLabelFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setTextFormat(Qt::PlainText);
    updateName();
}

void ValueLabel::setCaption(const QString &caption) {
    m_caption = caption;
    updateName();
}

void ValueLabel::setValue(const QString &value) {
    setText(value);
    updateName();
}

void ValueLabel::mousePressEvent(QMouseEvent *event) {
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void ValueLabel::mouseReleaseEvent(QMouseEvent *event) {
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}

void ValueLabel::updateName() {
    // A value that already begins with its caption ("Characters Sent:  5") is its own name.
    QString name = m_caption;
    if (!text().isEmpty())
        name = name.isEmpty() || text().startsWith(name) ? text()
                                                         : name + QStringLiteral(": ") + text();
    // Setting the name sends the name-changed event assistive tools announce.
    if (name != accessibleName())
        setAccessibleName(name);
}

} // namespace varo::ui
