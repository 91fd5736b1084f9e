#pragma once

class QWidget;

namespace varo::ui {

// Gives the keyboard focus to the first control of `screen` in its tab order that takes the
// focus by Tab and can be used now (shown and enabled). Returns false when it has none.
bool focusFirstControl(QWidget *screen);

} // namespace varo::ui
