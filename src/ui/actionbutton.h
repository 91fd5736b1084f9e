#pragma once

#include <QAbstractButton>
#include <QColor>

namespace varo::ui {

// A caption that acts as a button: the command menu's entries and the boxed buttons of the
// screens. It looks like a label (or a label on a rounded grey box) yet is a real button:
// it takes the focus (Tab, or the arrow keys where its owner moves it), Enter, Return and
// Space press it, and assistive tools see a push button with a "press" action. A '&' in the
// text marks the Alt+letter mnemonic, underlined only while Alt is held; it works from anywhere
// in the window, not only from the button's own child window. The text is set once.
class ActionButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Look {
        Caption, // text only, on the parent's background
        Box,     // text centred on a light grey box with a grey outline and rounded corners
    };

    explicit ActionButton(const QString &text, QWidget *parent = nullptr);

    void setLook(Look look);
    Look look() const { return m_look; }
    void setTextColor(const QColor &color);
    QColor textColor() const { return m_color; }
    void setAlignment(Qt::Alignment alignment);
    Qt::Alignment alignment() const { return m_alignment; }
    // The text without its mnemonic marker, as it is shown.
    QString caption() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    Look m_look = Look::Caption;
    QColor m_color{0, 0, 0};
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
};

} // namespace varo::ui
