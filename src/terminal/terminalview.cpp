#include "terminalview.h"

#include "terminal/terminalgrid.h"
#include "ui/twips.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

namespace varo::terminal {

namespace {

using ui::twips;
using ui::twipsF;

const QColor kTypedColour(0, 0, 0);
const QColor kReceivedColour(255, 0, 0);
const QString kName = QStringLiteral("Terminal");

QFont terminalFont(int pointSize) {
    // "Courier New" is mapped to a metric-compatible face where it is not installed.
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setBold(true);
    // A point is 20 twips; sizes follow the twips-per-pixel convention, not the screen's DPI.
    font.setPixelSize(twips(pointSize * 20));
    return font;
}

// The drawing area to assistive tools: a terminal whose text is the grid's visible text (one
// row per line, hex cells as <0D>) and whose caret is the cursor. Nothing can be selected.
class TerminalViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TerminalViewAccessible(TerminalView *view)
        : QAccessibleWidget(view, QAccessible::Terminal, kName) {}

    void *interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name:
            return view()->accessibleName().isEmpty() ? kName : view()->accessibleName();
        case QAccessible::Description:
        case QAccessible::Value:
            return view()->visibleText();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    // QAccessibleTextInterface
    void selection(int, int *startOffset, int *endOffset) const override {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return view()->caretOffset(); }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override {
        return view()->visibleText().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(view()->visibleText().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int *startOffset, int *endOffset) const override {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

private:
    const TerminalView *view() const { return static_cast<const TerminalView *>(widget()); }
};

QAccessibleInterface *terminalViewAccessibleFactory(const QString &className, QObject *object) {
    if (className == QLatin1String(TerminalView::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new TerminalViewAccessible(static_cast<TerminalView *>(object));
    return nullptr;
}

} // namespace

TerminalView::TerminalView(const TerminalGrid *grid, QWidget *parent)
    : QWidget(parent)
    , m_grid(grid) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(terminalViewAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);

    setObjectName(QStringLiteral("pop1"));
    setAccessibleName(kName);
    setFixedSize(sizeHint());
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    m_textFont = terminalFont(TerminalGrid::kTextPointSize);
    m_hexFont = terminalFont(TerminalGrid::kHexPointSize);
}

QSize TerminalView::sizeHint() const {
    return {twips(kWidthTwips), twips(kHeightTwips)};
}

QString TerminalView::visibleText() const {
    return m_grid ? m_grid->text() : QString();
}

int TerminalView::caretOffset() const {
    return m_grid ? int(m_grid->textOffset(m_grid->cursorLine(), m_grid->cursorColumn())) : 0;
}

void TerminalView::modelChanged() {
    if (m_refreshQueued)
        return;
    m_refreshQueued = true;
    QMetaObject::invokeMethod(this, &TerminalView::refresh, Qt::QueuedConnection);
}

QRect TerminalView::cellRect(int line, int column) const {
    const int left = (column - 1) * TerminalGrid::kCellWidthTwips;
    const int top = (line - 1) * TerminalGrid::kCellHeightTwips;
    // Whole pixels around the cell's exact extent, one more on the far sides for glyph overhang.
    return QRect(QPoint(int(twipsF(left)), int(twipsF(top))),
                 QPoint(int(twipsF(left + TerminalGrid::kCellWidthTwips)) + 1,
                        int(twipsF(top + TerminalGrid::kCellHeightTwips)) + 1));
}

const QStaticText &TerminalView::glyphText(QChar ch, bool hex) {
    QHash<QChar, QStaticText> &cache = hex ? m_hexGlyphs : m_textGlyphs;
    auto it = cache.find(ch);
    if (it == cache.end()) {
        QStaticText text{QString(ch)};
        text.setTextFormat(Qt::PlainText);
        text.prepare(QTransform(), hex ? m_hexFont : m_textFont);
        it = cache.insert(ch, text);
    }
    return *it;
}

void TerminalView::refresh() {
    m_refreshQueued = false;
    QRegion dirty;
    for (int line = 1; line <= TerminalGrid::kLines; ++line) {
        for (int column = 1; column <= TerminalGrid::kColumns; ++column) {
            const Cell now = m_grid ? m_grid->cell(line, column) : Cell{};
            Cell &shown = m_shown[(line - 1) * TerminalGrid::kColumns + column - 1];
            if (now == shown)
                continue;
            shown = now;
            dirty += cellRect(line, column);
        }
    }
    if (!dirty.isEmpty())
        update(dirty);
    if (QAccessible::isActive())
        reportTextChange();
}

void TerminalView::reportTextChange() {
    const QString now = visibleText();
    if (now != m_reportedText) {
        // Characters added at the end are announced as typed text; anything else (a wipe, a
        // wrap past the last line) as a new text.
        if (now.startsWith(m_reportedText)) {
            QAccessibleTextInsertEvent inserted(this, int(m_reportedText.size()),
                                                now.mid(m_reportedText.size()));
            QAccessible::updateAccessibility(&inserted);
        } else {
            QAccessibleTextUpdateEvent updated(this, 0, m_reportedText, now);
            QAccessible::updateAccessibility(&updated);
        }
        QAccessibleValueChangeEvent value(this, now);
        QAccessible::updateAccessibility(&value);
        m_reportedText = now;
    }
    QAccessibleTextCursorEvent caret(this, caretOffset());
    QAccessible::updateAccessibility(&caret);
}

void TerminalView::paintEvent(QPaintEvent *event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
    if (!m_grid || m_grid->isEmpty())
        return;

    for (int line = 1; line <= TerminalGrid::kLines; ++line) {
        for (int column = 1; column <= TerminalGrid::kColumns; ++column) {
            const Cell cell = m_grid->cell(line, column);
            if (!cell.used || !event->region().intersects(cellRect(line, column)))
                continue;
            painter.setPen(cell.ink == Ink::Received ? kReceivedColour : kTypedColour);
            painter.setFont(cell.hex ? m_hexFont : m_textFont);
            for (const Glyph &glyph : TerminalGrid::glyphsFor(cell, line, column)) {
                // Static text is placed by its top-left corner, like the glyph position.
                painter.drawStaticText(ui::twipsPointF(glyph.xTwips, glyph.yTwips),
                                       glyphText(glyph.ch, cell.hex));
            }
        }
    }
}

} // namespace varo::terminal
