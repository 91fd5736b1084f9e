#include "commandmenu.h"

#include "ui/actionbutton.h"
#include "ui/controlnames.h"
#include "ui/twips.h"
#include "ui/valuelabel.h"

#include <QKeyEvent>

namespace varo::app {

namespace {

using ui::twipsRect;

// The menu's mapping: object name, caption (its '&' marks the Alt+letter mnemonic) and place.
struct EntryRow {
    MenuEntry entry;
    ui::ControlName name;
    const char *caption;
    int top;
    int width;
};

constexpr int kLeft = 120;
constexpr int kHeight = 375;

constexpr EntryRow kRows[] = {
    {MenuEntry::Communications, {"Label3"}, "&Communications", 240, 2295},
    {MenuEntry::TerminalMode, {"Label1"}, "&Terminal Mode", 780, 1935},
    {MenuEntry::GeneralSetup, {"Label2"}, "&General Setup", 1320, 2175},
    {MenuEntry::WiegandSetup, {"Label9"}, "&Wie/Prox/Mag Setup", 1860, 2535},
    {MenuEntry::BarcodeSetup, {"Label8"}, "&Barcode Setup", 2400, 2175},
    {MenuEntry::Utilities, {"Label5"}, "&Utilities", 2940, 2175},
    {MenuEntry::ProgramReader, {"Label10"}, "&Program Reader", 3480, 2175},
    {MenuEntry::ResetReader, {"Label7"}, "&Reset Reader", 4020, 2175},
    {MenuEntry::FlashNewFirmware, {"Label4"}, "&Flash New Firmware", 4560, 2175},
    {MenuEntry::BootExtension, {"Label6"}, "d/l boot2", 5520, 2175},
};

constexpr ui::ControlName kStatusName{"Label20", "Connection status"};
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
    setWindowTitle(QStringLiteral("Command Menu"));
    setAccessibleName(windowTitle());
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kTeal);
    setPalette(pal);
    setFocusPolicy(Qt::ClickFocus);

    const QFont font = menuFont();
    for (const EntryRow &row : kRows) {
        auto *button = new ui::ActionButton(QString::fromLatin1(row.caption), this);
        ui::applyName(button, row.name);
        button->setFont(font);
        button->setGeometry(twipsRect(kLeft, row.top, row.width, kHeight));
        button->setTextColor(kWhite);
        // The keyboard reaches the entries by Tab and the arrows; a mouse click leaves the
        // focus on the menu (for Escape) without moving the highlight.
        button->setFocusPolicy(Qt::TabFocus);
        button->installEventFilter(this);
        connect(button, &ui::ActionButton::clicked, this, [this, button, entry = row.entry] {
            if (!button->hasFocus())
                setFocus(Qt::MouseFocusReason);
            emit entryClicked(entry);
        });
        m_entries.insert(row.entry, button);
        if (row.entry != MenuEntry::BootExtension)
            m_order.append(button);
    }
    // "d/l boot2" exists but is never shown.
    m_entries.value(MenuEntry::BootExtension)->hide();

    m_status = new ui::ValueLabel({}, this);
    ui::applyName(m_status, {kStatusName.objectName});
    m_status->setLive(true);
    m_status->setFont(font);
    m_status->setGeometry(twipsRect(kLeft, kStatusTop, kStatusWidth, kHeight));
    m_status->setValue(QStringLiteral("Disconnected"));
    m_status->setAccessibleDescription(kStatusName.spoken());
    paintStatus(kYellow);

    m_blinkTimer.setInterval(kBlinkMs);
    connect(&m_blinkTimer, &QTimer::timeout, this, &CommandMenu::blink);
    m_blinkTimer.start();
}

void CommandMenu::allWhite() {
    m_highlighted.reset();
    paintEntries();
}

void CommandMenu::highlight(MenuEntry entry) {
    m_highlighted = entry;
    paintEntries();
}

ui::ActionButton *CommandMenu::entryButton(MenuEntry entry) const {
    return m_entries.value(entry);
}

QColor CommandMenu::entryColor(MenuEntry entry) const {
    return m_entries.value(entry)->textColor();
}

void CommandMenu::focusHighlighted() {
    ui::ActionButton *target = m_highlighted ? m_entries.value(*m_highlighted) : nullptr;
    if (!target || !target->isVisible())
        target = m_order.constFirst();
    target->setFocus(Qt::TabFocusReason);
}

void CommandMenu::paintEntries() {
    // While an entry has the keyboard focus, the highlight is on it.
    ui::ActionButton *lit = nullptr;
    for (ui::ActionButton *button : std::as_const(m_order)) {
        if (button->hasFocus())
            lit = button;
    }
    if (!lit && m_highlighted)
        lit = m_entries.value(*m_highlighted);
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        if (it.key() != MenuEntry::BootExtension)
            it.value()->setTextColor(it.value() == lit ? kYellow : kWhite);
    }
}

void CommandMenu::setStatus(const QString &status) {
    m_status->setValue(status);
}

QString CommandMenu::status() const {
    return m_status->text();
}

void CommandMenu::paintStatus(const QColor &color) {
    m_statusColor = color;
    QPalette pal = m_status->palette();
    pal.setColor(QPalette::WindowText, color);
    m_status->setPalette(pal);
}

void CommandMenu::blink() {
    paintStatus(m_statusColor == kYellow ? kLightGreen : kYellow);
}

void CommandMenu::moveFocus(ui::ActionButton *from, int step) {
    const qsizetype count = m_order.size();
    const qsizetype at = m_order.indexOf(from);
    m_order.at((at + step + count) % count)->setFocus(Qt::TabFocusReason);
}

bool CommandMenu::eventFilter(QObject *watched, QEvent *event) {
    auto *button = qobject_cast<ui::ActionButton *>(watched);
    if (!button || !m_order.contains(button))
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            moveFocus(button, key == Qt::Key_Down ? 1 : -1);
            return true;
        }
        break;
    }
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        paintEntries(); // the focus has moved already when the event arrives
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void CommandMenu::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape) {
        emit escapePressed();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        focusHighlighted();
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
