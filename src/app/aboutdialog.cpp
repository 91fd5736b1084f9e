#include "aboutdialog.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

namespace varo::app {

namespace {

// A card reader drawn on the fly: a dark body, a card slot and a green lamp.
QPixmap readerPicture() {
    QPixmap pixmap(96, 96);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0, 128, 128));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(18, 6, 60, 84), 10, 10);
    p.setBrush(QColor(30, 30, 30));
    p.drawRoundedRect(QRectF(28, 18, 40, 30), 4, 4);
    p.setBrush(QColor(0, 255, 0));
    p.drawEllipse(QPointF(48, 66), 6, 6);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(30, 80, 36, 3));
    return pixmap;
}

} // namespace

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("about"));
    setWindowTitle(QStringLiteral("About"));
    setModal(true);
    auto *layout = new QVBoxLayout(this);
    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setPixmap(readerPicture());
    picture->setAlignment(Qt::AlignCenter);
    picture->setAccessibleName(QStringLiteral("Card reader"));
    layout->addWidget(picture);
    for (const QString &line :
         {QStringLiteral("Varo  Utility V1.0"), QStringLiteral("Updated March 5, 2010")}) {
        auto *label = new QLabel(line, this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    setFixedSize(280, 200);
}

void AboutDialog::centreOn(const QWidget *owner) {
    const QRect frame = owner->frameGeometry();
    move(frame.left() + frame.width() / 2 - width() / 2,
         frame.top() + frame.height() / 2 - height() / 2);
}

} // namespace varo::app
