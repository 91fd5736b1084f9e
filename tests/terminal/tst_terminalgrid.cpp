#include "terminal/terminalgrid.h"

#include <QTest>

using varo::terminal::Cell;
using varo::terminal::Glyph;
using varo::terminal::Ink;
using varo::terminal::TerminalGrid;

class TestTerminalGrid : public QObject {
    Q_OBJECT

private slots:
    void wrapsAfterThirtyNineColumns();
    void wipesAfterTwentyTwoFullLines();
    void drawsOnlyThirtyTwoToHundredTwentyFiveAsText_data();
    void drawsOnlyThirtyTwoToHundredTwentyFiveAsText();
    void placesGlyphsInTwips();
    void resetClearsAndHomesCursor();
    void textReadsHexCellsAsCodes();
};

void TestTerminalGrid::wrapsAfterThirtyNineColumns() {
    TerminalGrid grid;
    for (int i = 0; i < 39; ++i)
        grid.put('a', Ink::Typed);
    QCOMPARE(grid.cursorColumn(), 40);
    QCOMPARE(grid.cursorLine(), 1);

    grid.put('b', Ink::Received);
    QCOMPARE(grid.cell(2, 1), (Cell{true, 'b', false, Ink::Received}));
    QCOMPARE(grid.cell(1, 39).code, std::uint8_t('a'));
    QCOMPARE(grid.cursorColumn(), 2);
    QCOMPARE(grid.cursorLine(), 2);
}

void TestTerminalGrid::wipesAfterTwentyTwoFullLines() {
    TerminalGrid grid;
    for (int i = 0; i < 22 * 39; ++i)
        grid.put('x', Ink::Received);
    QCOMPARE(grid.cell(22, 39).code, std::uint8_t('x'));
    QCOMPARE(grid.cursorLine(), 22);

    grid.put('y', Ink::Typed);
    QCOMPARE(grid.cell(1, 1), (Cell{true, 'y', false, Ink::Typed}));
    QVERIFY(!grid.cell(1, 2).used);
    QVERIFY(!grid.cell(22, 39).used);
    QCOMPARE(grid.cursorColumn(), 2);
    QCOMPARE(grid.cursorLine(), 1);
    QCOMPARE(grid.text(), QStringLiteral("y"));
}

void TestTerminalGrid::drawsOnlyThirtyTwoToHundredTwentyFiveAsText_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("text");
    QTest::newRow("NUL") << 0 << true << "<00>";
    QTest::newRow("CR") << 13 << true << "<0D>";
    QTest::newRow("US") << 31 << true << "<1F>";
    QTest::newRow("blank") << 32 << false << " ";
    QTest::newRow("A") << 65 << false << "A";
    QTest::newRow("}") << 125 << false << "}";
    QTest::newRow("~") << 126 << true << "<7E>";
    QTest::newRow("DEL") << 127 << true << "<7F>";
    QTest::newRow("0x80") << 128 << true << "<80>";
    QTest::newRow("0xFF") << 255 << true << "<FF>";
}

void TestTerminalGrid::drawsOnlyThirtyTwoToHundredTwentyFiveAsText() {
    QFETCH(int, code);
    QFETCH(bool, hex);
    QFETCH(QString, text);
    TerminalGrid grid;
    grid.put(std::uint8_t(code), Ink::Received);
    QCOMPARE(grid.cell(1, 1).hex, hex);
    QCOMPARE(grid.cell(1, 1).code, std::uint8_t(code));
    QCOMPARE(grid.text(), text);
    QCOMPARE(grid.cursorColumn(), 2);
}

void TestTerminalGrid::placesGlyphsInTwips() {
    const QList<Glyph> plain = TerminalGrid::glyphsFor(Cell{true, 'Q', false, Ink::Typed}, 3, 5);
    QCOMPARE(plain.size(), 1);
    QCOMPARE(plain[0].ch, QChar('Q'));
    QCOMPARE(plain[0].xTwips, 4 * 250);
    QCOMPARE(plain[0].yTwips, 2 * 275);
    QCOMPARE(plain[0].pointSize, 14);

    const QList<Glyph> hex = TerminalGrid::glyphsFor(Cell{true, 0x0D, true, Ink::Received}, 2, 1);
    QCOMPARE(hex.size(), 2);
    QCOMPARE(hex[0].ch, QChar('0'));
    QCOMPARE(hex[0].xTwips, 0);
    QCOMPARE(hex[0].yTwips, 275 + 25);
    QCOMPARE(hex[1].ch, QChar('D'));
    QCOMPARE(hex[1].xTwips, 100);
    QCOMPARE(hex[1].yTwips, 275 + 100);
    QCOMPARE(hex[1].pointSize, 10);

    QVERIFY(TerminalGrid::glyphsFor(Cell{}, 1, 1).isEmpty());
}

void TestTerminalGrid::resetClearsAndHomesCursor() {
    TerminalGrid grid;
    for (int i = 0; i < 100; ++i)
        grid.put('z', Ink::Typed);
    grid.reset();
    QVERIFY(grid.isEmpty());
    QCOMPARE(grid.cursorColumn(), 1);
    QCOMPARE(grid.cursorLine(), 1);
    grid.put('k', Ink::Typed);
    QCOMPARE(grid.cell(1, 1).code, std::uint8_t('k'));
}

void TestTerminalGrid::textReadsHexCellsAsCodes() {
    TerminalGrid grid;
    for (const char c : QByteArray("OK\r\n"))
        grid.put(std::uint8_t(c), Ink::Received);
    grid.setCursorLine(3);
    grid.setCursorColumn(4);
    grid.put('x', Ink::Typed);
    QCOMPARE(grid.text(), QStringLiteral("OK<0D><0A>\n\n   x"));
}

QTEST_APPLESS_MAIN(TestTerminalGrid)
#include "tst_terminalgrid.moc"
