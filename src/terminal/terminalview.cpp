#include "terminalview.h"

#include "terminal/terminalgrid.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

namespace varo::terminal {

namespace {

constexpr double kTwipsPerPixel = 15.0;
const QColor kTypedColour(0, 0, 0);
const QColor kReceivedColour(255, 0, 0);

int twipsToPixels(int twips) {
    return qRound(twips / kTwipsPerPixel);
}

QFont terminalFont(int pointSize) {
    // "Courier New" is mapped to a metric-compatible face where it is not installed.
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setBold(true);
    // A point is 20 twips; sizes follow the twips-per-pixel convention, not the screen's DPI.
    font.setPixelSize(qRound(pointSize * 20 / kTwipsPerPixel));
    return font;
}

class TerminalViewAccessible : public QAccessibleWidget {
public:
    explicit TerminalViewAccessible(TerminalView *view)
        : QAccessibleWidget(view, QAccessible::StaticText, QStringLiteral("Terminal")) {}

    QString text(QAccessible::Text t) const override {
        const auto *view = static_cast<const TerminalView *>(widget());
        switch (t) {
        case QAccessible::Name:
            return view->accessibleName().isEmpty() ? QStringLiteral("Terminal")
                                                    : view->accessibleName();
        case QAccessible::Description:
        case QAccessible::Value:
            return view->visibleText();
        default:
            return QAccessibleWidget::text(t);
        }
    }
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
    setAccessibleName(QStringLiteral("Terminal"));
    setFixedSize(sizeHint());
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    m_textFont = terminalFont(TerminalGrid::kTextPointSize);
    m_hexFont = terminalFont(TerminalGrid::kHexPointSize);
}

QSize TerminalView::sizeHint() const {
    return {twipsToPixels(kWidthTwips), twipsToPixels(kHeightTwips)};
}

QString TerminalView::visibleText() const {
    return m_grid ? m_grid->text() : QString();
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
    return QRect(QPoint(left / kTwipsPerPixel, top / kTwipsPerPixel),
                 QPoint((left + TerminalGrid::kCellWidthTwips) / kTwipsPerPixel + 1,
                        (top + TerminalGrid::kCellHeightTwips) / kTwipsPerPixel + 1));
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
    if (QAccessible::isActive()) {
        QAccessibleEvent description(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&description);
        QAccessibleValueChangeEvent value(this, visibleText());
        QAccessible::updateAccessibility(&value);
    }
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
                painter.drawStaticText(
                    QPointF(glyph.xTwips / kTwipsPerPixel, glyph.yTwips / kTwipsPerPixel),
                    glyphText(glyph.ch, cell.hex));
            }
        }
    }
}

} // namespace varo::terminal
