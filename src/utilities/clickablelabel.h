#pragma once

#include <QLabel>

namespace varo::utilities {

// A plain-text label that reports a left-button click, for the members of the screen's label
// array that are not buttons (clock, headings, values, status line).
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickableLabel(const QString &text, QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
};

} // namespace varo::utilities
