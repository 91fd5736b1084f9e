#pragma once

#include <QList>
#include <QString>

#include <array>
#include <cstdint>

namespace varo::terminal {

// Who produced a character: the technician (drawn black) or the reader (drawn red).
enum class Ink : std::uint8_t { Typed, Received };

// One drawn cell. A hex cell shows its code as two diagonal hexadecimal digits.
struct Cell {
    bool used = false;
    std::uint8_t code = 0;
    bool hex = false;
    Ink ink = Ink::Typed;

    bool operator==(const Cell &) const = default;
};

// One character to draw, positioned in twips from the drawing area's top-left corner
// (the glyph's top-left corner, not its baseline), with its font size in points.
struct Glyph {
    QChar ch;
    int xTwips = 0;
    int yTwips = 0;
    int pointSize = 0;
};

// The terminal's drawing area as a model: 22 lines of 39 cells and the cursor (the column of
// the next character and its line), both counted from 1. There is no
// scrolling: the first character after a full screen wipes it and lands at the top left.
// Every operation is O(1) apart from the wipe, which only resets the cells.
class TerminalGrid {
public:
    static constexpr int kColumns = 39;
    static constexpr int kLines = 22;
    // The cursor column reaches this value after the last cell of a line; wrapIfNeeded wraps it.
    static constexpr int kWrapColumn = kColumns + 1;
    static constexpr int kCellWidthTwips = 250;
    static constexpr int kCellHeightTwips = 275;
    static constexpr int kTextPointSize = 14;
    static constexpr int kHexPointSize = 10;

    // Codes 32 to 125 are drawn as themselves; all others (the tilde included) in hexadecimal.
    static constexpr bool isPrintable(std::uint8_t code) { return code >= 32 && code <= 125; }

    int cursorColumn() const { return m_cursorColumn; }
    int cursorLine() const { return m_cursorLine; }
    void setCursorColumn(int column) { m_cursorColumn = column; }
    void setCursorLine(int line) { m_cursorLine = line; }

    // Wrap check run before every character: past the last column goes to the next line, past
    // the last line wipes the area and restarts at 1,1.
    void wrapIfNeeded();
    // Draws `code` in one cell without moving the cursor; positions outside the grid are ignored.
    void drawCell(std::uint8_t code, int line, int column, bool hex, Ink ink);
    // The whole step for one character: wrapIfNeeded, draw (hex unless printable), advance.
    void put(std::uint8_t code, Ink ink);

    // Empties the drawing area; the cursor stays where it is.
    void clear();
    // Empties the area and puts the cursor at 1,1 (terminal start and "Clear Screen").
    void reset();

    // Cell at 1-based line and column; an empty cell outside the grid.
    Cell cell(int line, int column) const;
    bool isEmpty() const { return m_usedCells == 0; }
    // Bumped by every change, so a view can tell whether it is stale.
    std::uint64_t revision() const { return m_revision; }

    // Where a cell's glyphs go: a printable character fills the cell at size 14; a hex code is
    // two digits at size 10 standing diagonally (the second 100 twips right and 75 lower).
    static QList<Glyph> glyphsFor(const Cell &cell, int line, int column);

    // The visible text, one row per line: empty cells read as blanks (none after a row's last
    // drawn cell), hex cells as <0D>; empty lines at the bottom are left out.
    QString text() const;
    // One line of text() (without trailing blanks); empty outside the grid.
    QString lineText(int line) const;
    // Where the cell at `line`, `column` begins in text(), clamped to its end: the cursor as an
    // offset into the text.
    qsizetype textOffset(int line, int column) const;

private:
    std::array<Cell, kColumns * kLines> m_cells{};
    int m_usedCells = 0;
    int m_cursorColumn = 1;
    int m_cursorLine = 1;
    std::uint64_t m_revision = 0;
};

} // namespace varo::terminal
