#include "profileactions.h"

#include "mainwindow.h"

#include "config/configmodel.h"
#include "config/profilecompare.h"
#include "config/readerprofile.h"
#include "config/ui/profilecomparedialog.h"
#include "ui/filechooser.h"

#include "common/controltext.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>

#include <memory>

namespace varo::app {

namespace {

const QString kFilter = QStringLiteral("Reader profiles (*.json)");
const QString kFolderKey = QStringLiteral("profiles/lastFolder");

QSettings settings() {
    return QSettings(QSettings::UserScope, QStringLiteral("Ostrel"),
                     QStringLiteral("Varo Utility"));
}

ui::FileRequest fileRequest(ProfileActions::Purpose purpose, const QString &folder) {
    ui::FileRequest request;
    request.mode = purpose == ProfileActions::Purpose::Save ? ui::FileRequest::Mode::Save
                                                            : ui::FileRequest::Mode::Open;
    request.folder = folder;
    request.filters = kFilter;
    request.suffix = QStringLiteral("json");
    request.objectName = QStringLiteral("profileFileDialog");
    return request;
}

} // namespace

ProfileActions::ProfileActions(config::ConfigModel *model, QWidget *window)
    : QObject(window)
    , m_model(model)
    , m_window(window) {}

QString ProfileActions::lastFolder() {
    return settings().value(kFolderKey).toString();
}

void ProfileActions::rememberFolder(const QString &path) {
    settings().setValue(kFolderKey, QFileInfo(path).absolutePath());
}

QFileDialog *ProfileActions::createFileDialog(QWidget *parent, Purpose purpose,
                                              const QString &folder) {
    return ui::createFileDialog(parent, fileRequest(purpose, folder));
}

void ProfileActions::chooseFile(QWidget *parent, Purpose purpose, const QString &folder,
                                FileChosen done) {
    ui::chooseFile(parent, fileRequest(purpose, folder), std::move(done));
}

bool ProfileActions::refuseWrite() {
    const QString reason = m_guard ? m_guard() : QString();
    if (reason.isEmpty())
        return false;
    showMessage(QStringLiteral("The screens were not changed: %1").arg(reason));
    return true;
}

void ProfileActions::getSettings() {
    if (refuseWrite())
        return;
    m_chooser(m_window, Purpose::Open, lastFolder(),
              [self = QPointer<ProfileActions>(this)](const std::optional<QString> &path) {
                  if (self && path)
                      self->open(*path);
              });
}

void ProfileActions::saveSettings() {
    m_chooser(m_window, Purpose::Save, lastFolder(),
              [self = QPointer<ProfileActions>(this)](const std::optional<QString> &path) {
                  if (self && path)
                      self->save(*path);
              });
}

void ProfileActions::open(const QString &path) {
    rememberFolder(path);
    auto loaded =
        std::make_shared<config::ProfileLoadResult>(config::loadProfileFile(path, *m_model));
    if (loaded->hasErrors()) {
        showMessage(QStringLiteral("The reader profile \"%1\" was not applied; the screens are "
                                   "unchanged.\n%2")
                        .arg(path, loaded->report()));
        return;
    }
    auto *dialog = new config::ProfileCompareDialog(path, config::compareProfile(*m_model, *loaded),
                                                    loaded->report(), m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, loaded, path] {
        if (!refuseWrite() && config::applyProfile(*loaded, *m_model))
            emit profileApplied(path);
    });
    dialog->open();
}

void ProfileActions::save(const QString &path) {
    rememberFolder(path);
    if (const std::optional<QString> error = config::saveProfileFile(path, *m_model)) {
        showMessage(*error);
        return;
    }
    emit profileSaved(path);
}

bool ProfileActions::loadAtStartUp(const QString &path) {
    if (refuseWrite())
        return false;
    const config::ProfileLoadResult loaded = config::loadProfileFile(path, *m_model);
    if (!config::applyProfile(loaded, *m_model)) {
        showMessage(QStringLiteral("The reader profile \"%1\" was not applied; the screens hold "
                                   "the default settings.\n%2")
                        .arg(path, loaded.report()));
        return false;
    }
    if (loaded.hasProblems())
        showMessage(QStringLiteral("The reader profile \"%1\" was applied.\n%2")
                        .arg(path, loaded.report()));
    emit profileApplied(path);
    return true;
}

void ProfileActions::showMessage(const QString &message) {
    // File names and keys come from outside: control characters by name, lines kept.
    const QString text = namedControls(message, LineBreaks::Keep);
    auto *box =
        new QMessageBox(QMessageBox::Warning, MainWindow::kTitle, text, QMessageBox::Ok, m_window);
    box->setObjectName(QStringLiteral("profileMessage"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    emit messageShown(text);
}

} // namespace varo::app
