#pragma once

#include "common/asker.h"

#include <QMessageBox>

#include <functional>

namespace varo::ui {

// The utility's message boxes: plain text, window-modal, opened without blocking and deleted
// when closed. Each returns the box so a caller may name it.

// A message with an OK button. In this and in openQuestion() control characters of the text
// are shown by name (<ESC>); line feeds stay line breaks.
QMessageBox *openNotice(QWidget *parent, const QString &title, const QString &text,
                        QMessageBox::Icon icon = QMessageBox::NoIcon);

// A Yes/No question; `answer` runs once with true for Yes (false also when the box is closed).
// `defaultButton` is the button Enter presses; with No, Escape answers No too.
QMessageBox *openQuestion(QWidget *parent, const QString &title, const QString &question,
                          std::function<void(bool)> answer,
                          QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// The asker that opens openQuestion() boxes on `parent`, each named `objectName` when one is given.
common::Asker questionAsker(QWidget *parent, const QString &title,
                            QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
                            const QString &objectName = QString());

} // namespace varo::ui
