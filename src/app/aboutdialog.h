#pragma once

#include <QDialog>

namespace varo::app {

// `about`: a modal window centred on the main window; closed with its close box.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget *parent = nullptr);

    // Centres the dialog on `owner` (left = owner left + owner width / 2 - own width / 2).
    void centreOn(const QWidget *owner);
};

} // namespace varo::app
