#pragma once

#include <QPointF>
#include <QRect>

namespace varo::ui {

// Screen geometry is designed in twips; 15 twips make one logical pixel. Every conversion rounds
// to the nearest pixel, so boxes designed side by side stay side by side.
constexpr int kTwipsPerPixel = 15;

constexpr int twips(int value) {
    return value >= 0 ? (value + kTwipsPerPixel / 2) / kTwipsPerPixel
                      : -((-value + kTwipsPerPixel / 2) / kTwipsPerPixel);
}

constexpr QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// Exact positions for painting (glyphs are placed between pixels).
constexpr qreal twipsF(qreal value) {
    return value / kTwipsPerPixel;
}

constexpr QPointF twipsPointF(qreal x, qreal y) {
    return QPointF(twipsF(x), twipsF(y));
}

} // namespace varo::ui
