#pragma once

#include <QLabel>

namespace varo::app {

// A caption that acts as a button: the command menu's entries and the screens' boxed buttons.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickableLabel(const QString &text, QWidget *parent = nullptr);

    void setTextColor(const QColor &color);
    QColor textColor() const { return m_color; }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QColor m_color;
};

} // namespace varo::app
