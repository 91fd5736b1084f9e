#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QFileDialog;
class QWidget;

namespace varo::config {
class ConfigModel;
}

namespace varo::app {

// The menu bar's "Get Settings" and "Save Settings", and the profile given on the command line.
// Every dialog opens with open() and answers later; loading a profile only writes the screens'
// fields, it never sends anything to the reader. The last folder used is kept in QSettings.
class ProfileActions : public QObject {
    Q_OBJECT
public:
    enum class Purpose { Open, Save };
    // Reports the chosen path, or nothing when the user cancelled.
    using FileChosen = std::function<void(const std::optional<QString> &path)>;
    // Asks for a profile file without blocking and calls `done` once with the answer.
    using FileChooser = std::function<void(QWidget *parent, Purpose purpose, const QString &folder,
                                           FileChosen done)>;

    ProfileActions(config::ConfigModel *model, QWidget *window);

    void setFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }
    // Tells why the screens must not change now (for example while a programming run reads
    // them command by command); empty when they may.
    using WriteGuard = std::function<QString()>;
    void setWriteGuard(WriteGuard guard) { m_guard = std::move(guard); }

    // Asks for a profile, checks it whole and shows how it differs from the screens, with
    // "Apply" and "Keep". A profile with errors is not offered: the message lists every problem.
    void getSettings();
    // Asks for a file name (overwrite prompt) and writes the screens' options atomically.
    void saveSettings();
    // Applies the profile when it passes the checks; otherwise shows the problems and leaves the
    // screens as they are. Notes (unknown or missing keys, warnings) are shown either way.
    bool loadAtStartUp(const QString &path);

    // The file dialog of the chooser used when none is injected.
    static QFileDialog *createFileDialog(QWidget *parent, Purpose purpose, const QString &folder);
    static void chooseFile(QWidget *parent, Purpose purpose, const QString &folder,
                           FileChosen done);

    // The folder of the last profile opened or saved; empty at first.
    static QString lastFolder();

signals:
    void messageShown(const QString &text);
    void profileApplied(const QString &path);
    void profileSaved(const QString &path);

private:
    void open(const QString &path);
    void save(const QString &path);
    void showMessage(const QString &text);
    // Shows the guard's reason and returns true when the screens must not change now.
    bool refuseWrite();
    static void rememberFolder(const QString &path);

    config::ConfigModel *m_model;
    QWidget *m_window;
    FileChooser m_chooser = chooseFile;
    WriteGuard m_guard;
};

} // namespace varo::app
