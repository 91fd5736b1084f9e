#pragma once

#include <QRect>
#include <QtGlobal>

namespace varo::app {

// Screen geometry is designed in twips; 15 twips make one logical pixel.
constexpr int kTwipsPerPixel = 15;

constexpr int twips(int value) {
    return (value + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

inline QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

} // namespace varo::app
