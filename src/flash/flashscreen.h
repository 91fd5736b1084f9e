#pragma once

#include "firmwareloader.h"
#include "loaderprofile.h"

#include "ui/filechooser.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace varo::link {
class ReaderLink;
}
namespace varo::ui {
class ValueLabel;
}

namespace varo::flash {

using FileChosen = ui::FileChosen;
// Asks the user for an image file without blocking and calls `done` once with the answer.
using FileChooser = std::function<void(QWidget *parent, FileChosen done)>;

// The file-open dialog for ".bin" images: the file must exist, the suffix defaults to "bin".
void chooseImageFile(QWidget *parent, FileChosen done);

// The download screens: `flashdl` for firmware images and `flashboot2` for bootloader extension
// images. The screen picks the file and forwards "Start Flash Download" to its FirmwareLoader;
// the link mode in use when the download starts chooses the loader profile.
class FlashScreen : public QWidget {
    Q_OBJECT
public:
    using Kind = DownloadKind;

    FlashScreen(link::ReaderLink *link, Kind kind, QWidget *parent = nullptr);

    Kind kind() const { return m_kind; }
    // Replaces the file-open dialog (tests answer without a dialog).
    void setFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }
    void setTimings(const LoaderTimings &timings) { m_loader->setTimings(timings); }
    void setClock(FirmwareLoader::Clock clock) { m_loader->setClock(std::move(clock)); }

    // The chosen image; empty until a file is chosen and after a cancelled choice.
    QString downloadFile() const { return m_downloadFile; }
    // True while a file choice or a download runs; both buttons are ignored meanwhile.
    bool isBusy() const { return m_busy; }
    FirmwareLoader *loader() const { return m_loader; }

public slots:
    // "Select File to Download".
    void chooseFile();
    // "Start Flash Download".
    void startDownload();

signals:
    // A download ended with `message`, which is also shown in a message box.
    void downloadFinished(const QString &message);

private:
    void onProgress(qint64 acknowledged, qint64 total);
    void onFinished(const QString &message);
    void showMessage(const QString &message);

    QPointer<link::ReaderLink> m_link;
    Kind m_kind;
    FirmwareLoader *m_loader;
    FileChooser m_chooser = chooseImageFile;
    QString m_downloadFile;
    bool m_busy = false;
    ui::ValueLabel *m_title = nullptr;
    QPushButton *m_selectButton = nullptr;
    QPushButton *m_startButton = nullptr;
    ui::ValueLabel *m_fileLabel = nullptr;
    ui::ValueLabel *m_statusLabel = nullptr;
    QProgressBar *m_progress = nullptr;
};

} // namespace varo::flash
