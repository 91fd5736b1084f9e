#include "terminalgrid.h"

#include <QStringList>

#include <algorithm>

namespace varo::terminal {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

} // namespace

void TerminalGrid::wrapIfNeeded() {
    if (m_cursorColumn < kWrapColumn)
        return;
    m_cursorColumn = 1;
    ++m_cursorLine;
    if (m_cursorLine > kLines) {
        clear();
        m_cursorLine = 1;
        m_cursorColumn = 1;
    }
}

void TerminalGrid::drawCell(std::uint8_t code, int line, int column, bool hex, Ink ink) {
    if (line < 1 || line > kLines || column < 1 || column > kColumns)
        return;
    Cell &target = m_cells[(line - 1) * kColumns + (column - 1)];
    if (!target.used)
        ++m_usedCells;
    target = Cell{true, code, hex, ink};
    ++m_revision;
}

void TerminalGrid::put(std::uint8_t code, Ink ink) {
    wrapIfNeeded();
    drawCell(code, m_cursorLine, m_cursorColumn, !isPrintable(code), ink);
    ++m_cursorColumn;
}

void TerminalGrid::clear() {
    if (m_usedCells != 0)
        m_cells.fill(Cell{});
    m_usedCells = 0;
    ++m_revision;
}

void TerminalGrid::reset() {
    clear();
    m_cursorColumn = 1;
    m_cursorLine = 1;
}

Cell TerminalGrid::cell(int line, int column) const {
    if (line < 1 || line > kLines || column < 1 || column > kColumns)
        return {};
    return m_cells[(line - 1) * kColumns + (column - 1)];
}

QList<Glyph> TerminalGrid::glyphsFor(const Cell &cell, int line, int column) {
    if (!cell.used)
        return {};
    const int x = (column - 1) * kCellWidthTwips;
    const int y = (line - 1) * kCellHeightTwips;
    if (!cell.hex)
        return {Glyph{QChar(cell.code), x, y, kTextPointSize}};
    return {Glyph{QLatin1Char(kHexDigits[cell.code >> 4]), x, y + 25, kHexPointSize},
            Glyph{QLatin1Char(kHexDigits[cell.code & 0x0F]), x + 100, y + 25 + 75, kHexPointSize}};
}

QString TerminalGrid::lineText(int line) const {
    QString row;
    if (line < 1 || line > kLines)
        return row;
    int blanks = 0;
    for (int column = 1; column <= kColumns; ++column) {
        const Cell c = cell(line, column);
        if (!c.used) {
            ++blanks;
            continue;
        }
        row += QString(blanks, QLatin1Char(' '));
        blanks = 0;
        if (c.hex) {
            row += QLatin1Char('<');
            row += QLatin1Char(kHexDigits[c.code >> 4]);
            row += QLatin1Char(kHexDigits[c.code & 0x0F]);
            row += QLatin1Char('>');
        } else {
            row += QChar(c.code);
        }
    }
    return row;
}

QString TerminalGrid::text() const {
    QStringList rows;
    for (int line = 1; line <= kLines; ++line)
        rows.append(lineText(line));
    while (!rows.isEmpty() && rows.constLast().isEmpty())
        rows.removeLast();
    return rows.join(QLatin1Char('\n'));
}

qsizetype TerminalGrid::textOffset(int line, int column) const {
    qsizetype offset = 0;
    for (int l = 1; l < line && l <= kLines; ++l)
        offset += lineText(l).size() + 1;
    qsizetype within = 0;
    for (int c = 1; c < column && c <= kColumns; ++c) {
        const Cell at = cell(line, c);
        within += at.used && at.hex ? 4 : 1;
    }
    offset += std::min(within, lineText(line).size());
    return std::min(offset, text().size());
}

} // namespace varo::terminal
