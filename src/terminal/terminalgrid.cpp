#include "terminalgrid.h"

#include <QStringList>

namespace varo::terminal {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

} // namespace

void TerminalGrid::checkline() {
    if (m_curpos < kWrapColumn)
        return;
    m_curpos = 1;
    ++m_currentline;
    if (m_currentline > kLines) {
        clear();
        m_currentline = 1;
        m_curpos = 1;
    }
}

void TerminalGrid::printchar(std::uint8_t code, int linepos, int charpos, bool makehex, Ink ink) {
    if (linepos < 1 || linepos > kLines || charpos < 1 || charpos > kColumns)
        return;
    Cell &target = m_cells[(linepos - 1) * kColumns + (charpos - 1)];
    if (!target.used)
        ++m_usedCells;
    target = Cell{true, code, makehex, ink};
    ++m_revision;
}

void TerminalGrid::put(std::uint8_t code, Ink ink) {
    checkline();
    printchar(code, m_currentline, m_curpos, !isPrintable(code), ink);
    ++m_curpos;
}

void TerminalGrid::clear() {
    if (m_usedCells != 0)
        m_cells.fill(Cell{});
    m_usedCells = 0;
    ++m_revision;
}

void TerminalGrid::reset() {
    clear();
    m_curpos = 1;
    m_currentline = 1;
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

QString TerminalGrid::text() const {
    QStringList rows;
    for (int line = 1; line <= kLines; ++line) {
        QString row;
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
        rows.append(row);
    }
    while (!rows.isEmpty() && rows.constLast().isEmpty())
        rows.removeLast();
    return rows.join(QLatin1Char('\n'));
}

} // namespace varo::terminal
