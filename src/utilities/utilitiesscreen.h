#pragma once

#include "maintenancecommands.h"
#include "uploadsession.h"

#include <QMap>
#include <QTimer>
#include <QWidget>

class QFileDialog;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace varo::link {
class ReaderLink;
}
namespace varo::ui {
class ValueLabel;
}

namespace varo::utilities {

// The `utilities` screen: maintenance buttons, the reader's answers, the hours offset for
// "Set Reader Time", the workstation clock and the status line. It binds the controls to
// MaintenanceCommands; no protocol logic lives here.
//
// Controls carry their names as objectName: the label array members `Label1_<index>` (buttons
// are QPushButtons, the others value labels that still react to a click), and the fields and
// options of the screen's mapping. Every field and value is announced by its caption ("Total
// Slots: 00012"); the status line is a live status (the upload count, the final message).
// The clock label ticks every second from construction on, also while a reply is awaited.
class UtilitiesScreen : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClockIntervalMs = 1000;

    explicit UtilitiesScreen(link::ReaderLink *link, QWidget *parent = nullptr);
    ~UtilitiesScreen() override;

    // The default settings choose "Add".
    void selectAdd();

    // Replaces the workstation clock (tests); the clock label follows at once.
    void setClockSource(MaintenanceCommands::Clock clock);
    // Replaces the save dialog of the upload (tests).
    void setFileChooser(UploadSession::FileChooser chooser);
    // Replaces the Yes/No box of "Clear Reader Memory" (tests).
    void setAsker(MaintenanceCommands::Asker asker);

    MaintenanceCommands *commands() { return &m_commands; }

    // The save dialog of the upload, set up but not shown: save mode, "upload.txt",
    // "Text (*.txt)", default suffix "txt", overwrite prompt.
    static QFileDialog *createUploadFileDialog(QWidget *parent);

private:
    void buildControls();
    void buildLayout();
    void clickLabel(int index);
    void showClock();
    void showMemoryUsage(const MemoryUsage &usage);
    void showFileError(const QString &path, const QString &reason);
    void chooseUploadFile(UploadSession::FileChosen done);
    Direction direction() const;
    ui::ValueLabel *valueLabel(int index) const;

    MaintenanceCommands m_commands;
    MaintenanceCommands::Clock m_clock;
    QTimer m_clockTimer;
    QMap<int, QWidget *> m_labels; // label array members by index
    ui::ValueLabel *m_clockLabel = nullptr;
    ui::ValueLabel *m_statusLabel = nullptr;
    QLineEdit *m_firmwareField = nullptr;
    QLineEdit *m_readerTimeField = nullptr;
    QLineEdit *m_hoursField = nullptr;
    QRadioButton *m_addOption = nullptr;
    QRadioButton *m_subtractOption = nullptr;
};

} // namespace varo::utilities
