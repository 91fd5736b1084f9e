#include "flashscreen.h"

#include "link/readerlink.h"

#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include <limits>

namespace varo::flash {

namespace {

// Positions are designed in twips, 15 to a logical pixel.
constexpr QRect twips(int left, int top, int width, int height) {
    return {left / 15, top / 15, width / 15, height / 15};
}

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
QPushButton *makeBoxButton(QWidget *parent, const QString &name, const QString &text,
                           const QRect &rect, const QRect &box) {
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

QLabel *makeLabel(QWidget *parent, const QString &name, const QRect &rect) {
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(rect);
    label->setTextFormat(Qt::PlainText);
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

    m_title = makeLabel(this, QStringLiteral("Label2"), layout.titleRect);
    m_title->setText(layout.title);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);

    m_selectButton =
        makeBoxButton(this, QStringLiteral("Label4"), QStringLiteral("Select File to Download"),
                      layout.selectRect, layout.selectBox);
    m_startButton =
        makeBoxButton(this, QStringLiteral("Label8"), QStringLiteral("Start Flash Download"),
                      layout.startRect, layout.startBox);
    m_fileLabel = makeLabel(this, QStringLiteral("Label1"), layout.fileRect);
    m_statusLabel = makeLabel(this, QStringLiteral("Label3"), layout.statusRect);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progressBar"));
    m_progress->setGeometry(layout.progressRect);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);

    connect(m_selectButton, &QPushButton::clicked, this, &FlashScreen::chooseFile);
    connect(m_startButton, &QPushButton::clicked, this, &FlashScreen::startDownload);
    connect(m_loader, &FirmwareLoader::statusTextChanged, m_statusLabel, &QLabel::setText);
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
            self->m_fileLabel->setText(*path);
    });
}

void FlashScreen::startDownload() {
    if (m_busy || m_downloadFile.isEmpty() || !m_link)
        return;
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
    auto *box = new QMessageBox(QMessageBox::NoIcon, windowTitle(), message, QMessageBox::Ok, this);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace varo::flash
