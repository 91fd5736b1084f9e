#include "flashscreen.h"

#include "link/readerlink.h"
#include "ui/controlnames.h"
#include "ui/notice.h"
#include "ui/twips.h"
#include "ui/valuelabel.h"

#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include <limits>

namespace varo::flash {

void chooseImageFile(QWidget *parent, FileChosen done) {
    ui::FileRequest request;
    request.mode = ui::FileRequest::Mode::Open;
    request.filters = QStringLiteral("Bin Files (*.bin)");
    request.suffix = QStringLiteral("bin");
    ui::chooseFile(parent, request, std::move(done));
}

namespace {

constexpr auto twips = ui::twipsRect;

// The screen's mapping: object names and the captions controls are announced by.
enum class Control {
    Title,
    SelectButton,
    StartButton,
    FileLine,
    StatusLine,
    ProgressBar,
};

constexpr ui::NamedControl<Control> kControls[] = {
    {Control::Title, {"Label2"}},
    {Control::SelectButton, {"Label4"}},
    {Control::StartButton, {"Label8"}},
    {Control::FileLine, {"Label1", "Download file"}},
    {Control::StatusLine, {"Label3", "Status"}},
    {Control::ProgressBar, {"progressBar", "Download progress"}},
};
static_assert(ui::coversEveryId(kControls));

struct ScreenLayout {
    QString objectName;
    QString windowTitle;
    QString title;
    QRect titleRect;
    QRect selectRect;
    QRect selectBox;
    QRect startRect;
    QRect startBox;
    QRect fileRect;
    QRect statusRect;
    QRect progressRect;
};

ScreenLayout layoutFor(DownloadKind kind) {
    if (kind == DownloadKind::Firmware) {
        const QString title = QStringLiteral("Varo Series  Flash Download");
        return {QStringLiteral("flashdl"),
                title,
                title,
                twips(3660, 300, 2895, 315),
                twips(900, 1170, 2535, 315),
                twips(780, 1080, 2715, 435),
                twips(900, 1890, 2535, 315),
                twips(780, 1800, 2715, 435),
                twips(3900, 1200, 5835, 315),
                twips(3900, 1860, 5835, 315),
                twips(3900, 2310, 5835, 315)};
    }
    return {QStringLiteral("flashboot2"),
            QStringLiteral("Flash Boot 2"),
            QStringLiteral("Tessel Bootloader Extension Download"),
            twips(3780, 420, 3495, 315),
            twips(1020, 1290, 2535, 315),
            twips(900, 1200, 2715, 435),
            twips(1020, 2010, 2535, 315),
            twips(900, 1920, 2715, 435),
            twips(4020, 1320, 5835, 315),
            twips(4020, 1980, 5835, 315),
            twips(4020, 2430, 5835, 315)};
}

// A caption on a light grey rounded box that acts as a button.
QPushButton *makeBoxButton(QWidget *parent, Control control, const QString &text, const QRect &rect,
                           const QRect &box) {
    const QString name = nameOf(kControls, control).object();
    auto *frame = new QFrame(parent);
    frame->setObjectName(name + QStringLiteral("Box"));
    frame->setGeometry(box);
    frame->setStyleSheet(QStringLiteral("QFrame { background: rgb(224, 224, 224); "
                                        "border: 1px solid rgb(160, 160, 160); "
                                        "border-radius: 8px; }"));
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(rect);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QPushButton { background: transparent; border: none; "
                                         "font-weight: bold; }"));
    return button;
}

ui::ValueLabel *makeLabel(QWidget *parent, Control control, const QRect &rect) {
    const ui::ControlName &name = nameOf(kControls, control);
    auto *label = new ui::ValueLabel(name.spoken(), parent);
    label->setObjectName(name.object());
    label->setGeometry(rect);
    return label;
}

} // namespace

FlashScreen::FlashScreen(link::ReaderLink *link, Kind kind, QWidget *parent)
    : QWidget(parent)
    , m_link(link)
    , m_kind(kind)
    , m_loader(new FirmwareLoader(link, this)) {
    const ScreenLayout layout = layoutFor(kind);
    setObjectName(layout.objectName);
    setWindowTitle(layout.windowTitle);

    m_title = makeLabel(this, Control::Title, layout.titleRect);
    m_title->setValue(layout.title);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);

    m_selectButton =
        makeBoxButton(this, Control::SelectButton, QStringLiteral("Select File to Download"),
                      layout.selectRect, layout.selectBox);
    m_startButton =
        makeBoxButton(this, Control::StartButton, QStringLiteral("Start Flash Download"),
                      layout.startRect, layout.startBox);
    m_fileLabel = makeLabel(this, Control::FileLine, layout.fileRect);
    m_statusLabel = makeLabel(this, Control::StatusLine, layout.statusRect);
    m_statusLabel->setLive(true);

    m_progress = ui::named(new QProgressBar(this), kControls, Control::ProgressBar);
    m_progress->setGeometry(layout.progressRect);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);

    connect(m_selectButton, &QPushButton::clicked, this, &FlashScreen::chooseFile);
    connect(m_startButton, &QPushButton::clicked, this, &FlashScreen::startDownload);
    connect(m_loader, &FirmwareLoader::statusTextChanged, m_statusLabel, &ui::ValueLabel::setValue);
    connect(m_loader, &FirmwareLoader::progressChanged, this, &FlashScreen::onProgress);
    connect(m_loader, &FirmwareLoader::finished, this,
            [this](const link::OperationResult &result) { onFinished(result.message); });
}

void FlashScreen::chooseFile() {
    if (m_busy)
        return;
    m_busy = true;
    m_downloadFile.clear();
    m_chooser(this, [self = QPointer<FlashScreen>(this)](const std::optional<QString> &path) {
        if (!self)
            return;
        self->m_busy = false;
        // A cancelled choice leaves the download file empty; the label keeps what it showed.
        if (!path)
            return;
        self->m_downloadFile = *path;
        if (!path->isEmpty())
            self->m_fileLabel->setValue(*path);
    });
}

void FlashScreen::startDownload() {
    if (m_busy || m_downloadFile.isEmpty() || !m_link)
        return;
    if (m_link->isBusy()) {
        showMessage(
            QStringLiteral("The link is busy: %1 is running.").arg(m_link->activeOperationName()));
        return;
    }
    // A half-started download on a broken link would leave the reader in its loader.
    if (m_link->isBroken()) {
        showMessage(m_link->unusableReason());
        return;
    }
    m_busy = true;
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    const LoaderProfile profile = LoaderProfile::forDownload(m_kind, m_link->settings().isTcp());
    if (!m_loader->start(profile, m_downloadFile))
        m_busy = false; // another operation holds the link
}

void FlashScreen::onProgress(qint64 acknowledged, qint64 total) {
    // The bar counts bytes; images beyond its int range are shown in coarser units.
    const qint64 unit = 1 + total / std::numeric_limits<int>::max();
    m_progress->setRange(0, int(total / unit));
    m_progress->setValue(int(acknowledged / unit));
}

void FlashScreen::onFinished(const QString &message) {
    m_busy = false;
    showMessage(message);
    emit downloadFinished(message);
}

void FlashScreen::showMessage(const QString &message) {
    // The box takes the focus, so the final message is read out.
    ui::openNotice(this, windowTitle(), message);
}

} // namespace varo::flash
