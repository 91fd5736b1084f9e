#include "keyboard.h"

#include <QWidget>

namespace varo::ui {

bool focusFirstControl(QWidget *screen) {
    for (QWidget *w = screen->nextInFocusChain(); w && w != screen; w = w->nextInFocusChain()) {
        if (!screen->isAncestorOf(w))
            continue;
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(screen) &&
            !w->focusProxy()) {
            w->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return false;
}

} // namespace varo::ui
