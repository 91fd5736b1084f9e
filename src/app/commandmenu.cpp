#include "commandmenu.h"

#include "clickablelabel.h"
#include "twips.h"

#include <QKeyEvent>

namespace varo::app {

namespace {

struct EntryRow {
    MenuEntry entry;
    const char *control;
    const char *caption;
    int top;
    int width;
};

constexpr int kLeft = 120;
constexpr int kHeight = 375;

constexpr EntryRow kRows[] = {
    {MenuEntry::Communications, "Label3", "Communications", 240, 2295},
    {MenuEntry::TerminalMode, "Label1", "Terminal Mode", 780, 1935},
    {MenuEntry::GeneralSetup, "Label2", "General Setup", 1320, 2175},
    {MenuEntry::WiegandSetup, "Label9", "Wie/Prox/Mag Setup", 1860, 2535},
    {MenuEntry::BarcodeSetup, "Label8", "Barcode Setup", 2400, 2175},
    {MenuEntry::Utilities, "Label5", "Utilities", 2940, 2175},
    {MenuEntry::ProgramReader, "Label10", "Program Reader", 3480, 2175},
    {MenuEntry::ResetReader, "Label7", "Reset Reader", 4020, 2175},
    {MenuEntry::FlashNewFirmware, "Label4", "Flash New Firmware", 4560, 2175},
    {MenuEntry::BootExtension, "Label6", "d/l boot2", 5520, 2175},
};

constexpr int kStatusTop = 6000;
constexpr int kStatusWidth = 2175;

QFont menuFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9.75);
    font.setBold(true);
    return font;
}

} // namespace

CommandMenu::CommandMenu(QWidget *parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("commandmenu"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kTeal);
    setPalette(pal);
    setFocusPolicy(Qt::StrongFocus);

    const QFont font = menuFont();
    for (const EntryRow &row : kRows) {
        auto *label = new ClickableLabel(QString::fromLatin1(row.caption), this);
        label->setObjectName(QString::fromLatin1(row.control));
        label->setFont(font);
        label->setGeometry(twipsRect(kLeft, row.top, row.width, kHeight));
        label->setTextColor(kWhite);
        label->setAccessibleName(label->text());
        connect(label, &ClickableLabel::clicked, this, [this, entry = row.entry] {
            setFocus(Qt::MouseFocusReason);
            emit entryClicked(entry);
        });
        m_entries.insert(row.entry, label);
    }
    // "d/l boot2" exists but is never shown.
    m_entries.value(MenuEntry::BootExtension)->hide();

    m_status = new ClickableLabel(QStringLiteral("Disconnected"), this);
    m_status->setObjectName(QStringLiteral("Label20"));
    m_status->setCursor(Qt::ArrowCursor);
    m_status->setFont(font);
    m_status->setGeometry(twipsRect(kLeft, kStatusTop, kStatusWidth, kHeight));
    m_status->setTextColor(kYellow);

    m_blinkTimer.setInterval(kBlinkMs);
    connect(&m_blinkTimer, &QTimer::timeout, this, &CommandMenu::blink);
    m_blinkTimer.start();
}

void CommandMenu::allWhite() {
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        if (it.key() != MenuEntry::BootExtension)
            it.value()->setTextColor(kWhite);
    }
}

void CommandMenu::highlight(MenuEntry entry) {
    m_entries.value(entry)->setTextColor(kYellow);
}

ClickableLabel *CommandMenu::label(MenuEntry entry) const {
    return m_entries.value(entry);
}

void CommandMenu::setStatus(const QString &status) {
    m_status->setText(status);
    m_status->setAccessibleName(status);
}

QString CommandMenu::status() const {
    return m_status->text();
}

QColor CommandMenu::statusColor() const {
    return m_status->textColor();
}

void CommandMenu::paintStatus(const QColor &color) {
    m_status->setTextColor(color);
}

void CommandMenu::blink() {
    paintStatus(statusColor() == kYellow ? kLightGreen : kYellow);
}

void CommandMenu::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape) {
        emit escapePressed();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CommandMenu::mousePressEvent(QMouseEvent *event) {
    setFocus(Qt::MouseFocusReason);
    QWidget::mousePressEvent(event);
}

} // namespace varo::app
