#pragma once

#include <QColor>
#include <QHash>
#include <QTimer>
#include <QWidget>

namespace varo::app {

class ClickableLabel;

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
// blinking connection status `Label20` at its foot. It only paints and reports clicks; what an
// entry does is decided by the main window.
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
    ClickableLabel *label(MenuEntry entry) const;

    void setStatus(const QString &status);
    QString status() const;
    QColor statusColor() const;
    void paintStatus(const QColor &color);

signals:
    void entryClicked(varo::app::MenuEntry entry);
    void escapePressed();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void blink();

    QHash<MenuEntry, ClickableLabel *> m_entries;
    ClickableLabel *m_status = nullptr;
    QTimer m_blinkTimer; // `Timer2`
};

} // namespace varo::app
