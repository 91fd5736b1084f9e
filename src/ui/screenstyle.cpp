#include "screenstyle.h"

#include <QGridLayout>
#include <QLabel>
#include <QPalette>
#include <QWidget>

namespace varo::ui {

QFont screenFont(bool bold) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

void fillGrey(QWidget *widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, kScreenGrey);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void nameScreen(QWidget *screen, const QString &objectName, const QString &title) {
    screen->setObjectName(objectName);
    screen->setWindowTitle(title);
}

void applyScreenStyle(QWidget *screen) {
    screen->setFont(screenFont());
    fillGrey(screen);
}

QLabel *caption(const QString &text, QWidget *parent) {
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

void compactGrid(QGridLayout *grid) {
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    grid->setContentsMargins(6, 4, 6, 4);
}

} // namespace varo::ui
