#pragma once

#include <QString>

#include <functional>
#include <optional>

class QFileDialog;
class QWidget;

namespace varo::ui {

// Reports the chosen path, or nothing when the user cancelled.
using FileChosen = std::function<void(const std::optional<QString> &path)>;

// What a screen asks the user for: a file to read or a file to write.
struct FileRequest {
    enum class Mode {
        Open, // the file must exist
        Save  // any name; an existing file is overwritten only after the dialog's question
    };
    Mode mode = Mode::Open;
    QString title;      // empty: the platform's default
    QString folder;     // where the dialog starts; empty: the working folder
    QString filters;    // "Text (*.txt)"; several separated by ";;"
    QString suffix;     // added to a name typed without one
    QString proposal;   // file name offered at the start
    QString objectName; // for tests and assistive tools
    // Save: the suffix follows the chosen filter (the first of its patterns).
    bool suffixFollowsFilter = false;
};

// The dialog for `request`, not yet shown, so a caller or a test can look at it.
QFileDialog *createFileDialog(QWidget *parent, const FileRequest &request);

// Opens the dialog for `request` window-modal without blocking; `done` runs once, with the
// chosen path or nothing. The dialog deletes itself when closed.
void chooseFile(QWidget *parent, const FileRequest &request, FileChosen done);

} // namespace varo::ui
