#pragma once

#include <QColor>
#include <QFont>

class QGridLayout;
class QLabel;
class QString;
class QWidget;

namespace varo::ui {

// The light grey of the screens' backgrounds.
inline constexpr QColor kScreenGrey{192, 192, 192};

// The screens' face: MS Sans Serif 8.25, bold unless asked otherwise.
QFont screenFont(bool bold = true);

// Fills the background of `widget` with the screens' grey.
void fillGrey(QWidget *widget);

// Names a screen for tests and assistive tools and gives it its window title.
void nameScreen(QWidget *screen, const QString &objectName, const QString &title);

// The setup screens' look: the bold screen face on the screens' grey.
void applyScreenStyle(QWidget *screen);

// A caption label; captions are fixed texts shown as plain text.
QLabel *caption(const QString &text, QWidget *parent);

// Tight spacing for the dense grids of the setup screens.
void compactGrid(QGridLayout *grid);

} // namespace varo::ui
