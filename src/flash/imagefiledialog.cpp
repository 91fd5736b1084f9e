#include "imagefiledialog.h"

#include <QFileDialog>

namespace varo::flash {

void chooseImageFile(QWidget *parent, FileChosen done) {
    auto *dialog =
        new QFileDialog(parent, QString(), QString(), QStringLiteral("Bin Files (*.bin)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setDefaultSuffix(QStringLiteral("bin"));
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                     [done](const QString &path) { done(path); });
    QObject::connect(dialog, &QFileDialog::rejected, dialog, [done] { done(std::nullopt); });
    dialog->open();
}

} // namespace varo::flash
