#pragma once

#include <QColor>

class QGridLayout;
class QLabel;
class QWidget;

namespace varo::config {

inline constexpr QColor kScreenBackground{192, 192, 192};

// The setup screens' look: MS Sans Serif 8.25 bold on light grey.
void applyScreenStyle(QWidget *screen);

// A caption label; captions are fixed texts shown as plain text.
QLabel *caption(const QString &text, QWidget *parent);

// Tight spacing for the dense grids of the setup screens.
void compactGrid(QGridLayout *grid);

} // namespace varo::config
