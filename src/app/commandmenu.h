#pragma once

#include <QColor>
#include <QHash>
#include <QTimer>
#include <QWidget>

#include <optional>

namespace varo::ui {
class ActionButton;
class ValueLabel;
} // namespace varo::ui

namespace varo::app {

// The entries of the command menu, top to bottom.
enum class MenuEntry {
    Communications,
    TerminalMode,
    GeneralSetup,
    WiegandSetup,
    BarcodeSetup,
    Utilities,
    ProgramReader,
    ResetReader,
    FlashNewFirmware,
    BootExtension, // the hidden "d/l boot2"
};

// `commandmenu`: the teal column of entries at the left edge of the main window, with the
// blinking connection status at its foot. It only paints and reports choices; what an entry
// does is decided by the main window.
//
// Keyboard: the entries are buttons in the tab order; Up and Down move between them (wrapping),
// Enter, Return or Space chooses one, Alt+the underlined letter chooses one from anywhere in the
// window, Escape is reported as escapePressed(). The yellow highlight marks the entry with the
// keyboard focus while the menu has it, otherwise the entry last highlighted by the main window.
// The status is a live status line: assistive tools announce "Connected"/"Disconnected".
class CommandMenu : public QWidget {
    Q_OBJECT
public:
    static inline const QColor kTeal{0, 128, 128};
    static inline const QColor kWhite{255, 255, 255};
    static inline const QColor kYellow{255, 255, 0};   // palette colour 14
    static inline const QColor kLightGreen{0, 255, 0}; // palette colour 10
    static constexpr int kWidthTwips = 2500;
    static constexpr int kBlinkMs = 500;

    explicit CommandMenu(QWidget *parent = nullptr);

    // Paints the nine visible entries white; "d/l boot2" and the status are left alone.
    void allWhite();
    void highlight(MenuEntry entry);
    ui::ActionButton *entryButton(MenuEntry entry) const;
    QColor entryColor(MenuEntry entry) const;
    // Gives the keyboard focus to the highlighted entry (the first one when none is).
    void focusHighlighted();

    void setStatus(const QString &status);
    QString status() const;
    QColor statusColor() const { return m_statusColor; }
    void paintStatus(const QColor &color);

signals:
    void entryClicked(varo::app::MenuEntry entry);
    void escapePressed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void blink();
    void paintEntries();
    void moveFocus(ui::ActionButton *from, int step);

    QList<ui::ActionButton *> m_order; // the visible entries, top to bottom
    QHash<MenuEntry, ui::ActionButton *> m_entries;
    std::optional<MenuEntry> m_highlighted;
    ui::ValueLabel *m_status = nullptr;
    QColor m_statusColor;
    QTimer m_blinkTimer;
};

} // namespace varo::app
