#pragma once

#include "terminal/terminalgrid.h"

#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QWidget>

#include <array>

namespace varo::terminal {

// The drawing area `pop1`: paints a TerminalGrid (black typed, red received characters on
// white, hex codes as two small diagonal digits). Changes are coalesced: however many
// characters arrive in one event-loop turn, the area repaints once. Being custom-drawn, it
// offers its visible text to assistive tools through an accessible text interface (role
// terminal, name "Terminal", hex cells reading as <0D>, the cursor as the caret) and reports
// new characters as inserted text.
class TerminalView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidthTwips = 9855;
    static constexpr int kHeightTwips = 6285;

    explicit TerminalView(const TerminalGrid *grid, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QString visibleText() const;
    // The cursor as an offset into visibleText().
    int caretOffset() const;

public slots:
    // Schedules one repaint (and one accessibility update) for the current event-loop turn.
    void modelChanged();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void refresh();
    void reportTextChange();
    QRect cellRect(int line, int column) const;
    const QStaticText &glyphText(QChar ch, bool hex);

    const TerminalGrid *m_grid;
    bool m_refreshQueued = false;
    QString m_reportedText; // what assistive tools were last told
    // What the screen shows, so a refresh repaints only the cells that changed.
    std::array<Cell, TerminalGrid::kColumns * TerminalGrid::kLines> m_shown{};
    QFont m_textFont;
    QFont m_hexFont;
    // Shaped once per character: shaping text on every paint costs more than drawing it.
    QHash<QChar, QStaticText> m_textGlyphs;
    QHash<QChar, QStaticText> m_hexGlyphs;
};

} // namespace varo::terminal
