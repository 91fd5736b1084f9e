#include "notice.h"

#include "common/controltext.h"

namespace varo::ui {

QMessageBox *openNotice(QWidget *parent, const QString &title, const QString &text,
                        QMessageBox::Icon icon) {
    // A message may quote a file name, a profile key or a reader's reply: control characters
    // are shown by name so none of them reaches the screen raw.
    auto *box = new QMessageBox(icon, title, namedControls(text, LineBreaks::Keep), QMessageBox::Ok,
                                parent);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}

QMessageBox *openQuestion(QWidget *parent, const QString &title, const QString &question,
                          std::function<void(bool)> answer,
                          QMessageBox::StandardButton defaultButton) {
    auto *box =
        new QMessageBox(QMessageBox::Question, title, namedControls(question, LineBreaks::Keep),
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
