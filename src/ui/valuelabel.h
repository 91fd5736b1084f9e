#pragma once

#include <QLabel>

namespace varo::ui {

// A label that shows a value: a field's content, a count, a status line. Assistive tools hear
// it by its caption and value ("Total Slots: 00012"), or by the caption alone while it is empty.
// Without a caption, or when the value begins with it, the value itself is the name. A live label
// (a status line) is announced as a status bar when its value changes.
//
// Set the value through setValue(); QLabel::setText() is not virtual and would leave the
// accessible name behind. A left click (pressed and released on the label) is reported as
// clicked(), for labels whose click does something; they still take no focus, being no buttons.
class ValueLabel : public QLabel {
    Q_OBJECT
public:
    explicit ValueLabel(const QString &caption = {}, QWidget *parent = nullptr);

    void setCaption(const QString &caption);
    QString caption() const { return m_caption; }
    void setLive(bool live) { m_live = live; }
    bool isLive() const { return m_live; }

public slots:
    void setValue(const QString &value);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void updateName();

    QString m_caption;
    bool m_live = false;
    bool m_pressed = false;
};

} // namespace varo::ui
