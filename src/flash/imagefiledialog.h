#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace varo::flash {

// Reports the chosen path, or nothing when the user cancelled.
using FileChosen = std::function<void(const std::optional<QString> &path)>;
// Asks the user for an image file without blocking and calls `done` once with the answer.
using FileChooser = std::function<void(QWidget *parent, FileChosen done)>;

// The file-open dialog for ".bin" images: the file must exist, the suffix defaults to "bin".
void chooseImageFile(QWidget *parent, FileChosen done);

} // namespace varo::flash
