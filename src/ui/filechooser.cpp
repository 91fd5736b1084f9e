#include "filechooser.h"

#include <QFileDialog>
#include <QRegularExpression>

namespace varo::ui {

namespace {

// "CSV (*.csv)" gives "csv"; empty when the filter names no suffix.
QString suffixOf(const QString &filter) {
    static const QRegularExpression kPattern(QStringLiteral("\\*\\.(\\w+)"));
    return kPattern.match(filter).captured(1);
}

} // namespace

QFileDialog *createFileDialog(QWidget *parent, const FileRequest &request) {
    auto *dialog = new QFileDialog(parent, request.title, request.folder, request.filters);
    if (!request.objectName.isEmpty())
        dialog->setObjectName(request.objectName);
    dialog->setDefaultSuffix(request.suffix);
    if (request.mode == FileRequest::Mode::Save) {
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    } else {
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::ExistingFile);
    }
    if (!request.proposal.isEmpty())
        dialog->selectFile(request.proposal);
    if (request.suffixFollowsFilter) {
        QObject::connect(dialog, &QFileDialog::filterSelected, dialog,
                         [dialog, fallback = request.suffix](const QString &filter) {
                             const QString suffix = suffixOf(filter);
                             dialog->setDefaultSuffix(suffix.isEmpty() ? fallback : suffix);
                         });
    }
    return dialog;
}

void chooseFile(QWidget *parent, const FileRequest &request, FileChosen done) {
    QFileDialog *dialog = createFileDialog(parent, request);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::finished, dialog,
                     [dialog, done = std::move(done)](int result) {
                         if (result == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
                             done(dialog->selectedFiles().constFirst());
                         else
                             done(std::nullopt);
                     });
    dialog->open();
}

} // namespace varo::ui
