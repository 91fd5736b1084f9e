#include "controlnames.h"

#include <QLabel>
#include <QWidget>

namespace varo::ui {

void applyName(QWidget *control, const ControlName &name) {
    control->setObjectName(name.object());
    if (!name.caption.empty())
        control->setAccessibleName(name.spoken());
}

void nameByCaption(QLabel *caption, QWidget *control) {
    caption->setBuddy(control);
    nameIfUnnamed(control, withoutMnemonic(caption->text()));
}

void nameIfUnnamed(QWidget *control, const QString &name) {
    if (control->accessibleName().isEmpty())
        control->setAccessibleName(name);
}

QString withoutMnemonic(const QString &text) {
    QString shown = text;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (shown.at(i) == QLatin1Char('&'))
            shown.remove(i, 1);
    }
    return shown;
}

} // namespace varo::ui
