#include "notice.h"

namespace varo::ui {

QMessageBox *openNotice(QWidget *parent, const QString &title, const QString &text,
                        QMessageBox::Icon icon) {
    auto *box = new QMessageBox(icon, title, text, QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}

QMessageBox *openQuestion(QWidget *parent, const QString &title, const QString &question,
                          std::function<void(bool)> answer,
                          QMessageBox::StandardButton defaultButton) {
    auto *box = new QMessageBox(QMessageBox::Question, title, question,
                                QMessageBox::Yes | QMessageBox::No, parent);
    box->setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton)
        box->setDefaultButton(defaultButton);
    if (defaultButton == QMessageBox::No)
        box->setEscapeButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box, [box, answer = std::move(answer)](int) {
        answer(box->clickedButton() == box->button(QMessageBox::Yes));
    });
    box->open();
    return box;
}

common::Asker questionAsker(QWidget *parent, const QString &title,
                            QMessageBox::StandardButton defaultButton, const QString &objectName) {
    return [parent, title, defaultButton, objectName](const QString &question,
                                                      std::function<void(bool)> answer) {
        QMessageBox *box = openQuestion(parent, title, question, std::move(answer), defaultButton);
        if (!objectName.isEmpty())
            box->setObjectName(objectName);
    };
}

} // namespace varo::ui
