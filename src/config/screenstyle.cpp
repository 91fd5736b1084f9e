#include "screenstyle.h"

#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QPalette>
#include <QWidget>

namespace varo::config {

void applyScreenStyle(QWidget *screen) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    font.setBold(true);
    screen->setFont(font);
    QPalette palette = screen->palette();
    palette.setColor(QPalette::Window, kScreenBackground);
    screen->setPalette(palette);
    screen->setAutoFillBackground(true);
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

} // namespace varo::config
