#include "terminalview.h"

#include "terminal/terminalgrid.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontMetricsF>
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

void TerminalView::refresh() {
    m_refreshQueued = false;
    update();
    if (QAccessible::isActive()) {
        QAccessibleEvent description(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&description);
        QAccessibleValueChangeEvent value(this, visibleText());
        QAccessible::updateAccessibility(&value);
    }
}

void TerminalView::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!m_grid || m_grid->isEmpty())
        return;

    const QFont textFont = terminalFont(TerminalGrid::kTextPointSize);
    const QFont hexFont = terminalFont(TerminalGrid::kHexPointSize);
    const double textAscent = QFontMetricsF(textFont).ascent();
    const double hexAscent = QFontMetricsF(hexFont).ascent();

    for (int line = 1; line <= TerminalGrid::kLines; ++line) {
        for (int column = 1; column <= TerminalGrid::kColumns; ++column) {
            const Cell cell = m_grid->cell(line, column);
            if (!cell.used)
                continue;
            painter.setPen(cell.ink == Ink::Received ? kReceivedColour : kTypedColour);
            const bool hex = cell.hex;
            painter.setFont(hex ? hexFont : textFont);
            const double ascent = hex ? hexAscent : textAscent;
            for (const Glyph &glyph : TerminalGrid::glyphsFor(cell, line, column)) {
                // The glyph position is its top-left corner; Qt draws from the baseline.
                painter.drawText(
                    QPointF(glyph.xTwips / kTwipsPerPixel, glyph.yTwips / kTwipsPerPixel + ascent),
                    QString(glyph.ch));
            }
        }
    }
}

} // namespace varo::terminal
