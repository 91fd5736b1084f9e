#pragma once

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <string_view>

class QLabel;
class QWidget;

namespace varo::ui {

// How a control is known outside the code: its objectName (the name in the form design, which
// tests and tools find it by) and the caption assistive tools announce it by. An empty caption
// means the control's own text names it.
struct ControlName {
    std::string_view objectName;
    std::string_view caption = {};

    QString object() const { return QString::fromLatin1(objectName); }
    QString spoken() const { return QString::fromLatin1(caption); }
};

// One row of a screen's mapping: the code's name for a control (an enum) and its ControlName.
// Each screen keeps one table of these rows; code refers to controls only through the enum.
template <typename Id> struct NamedControl {
    Id id;
    ControlName name;
};

template <typename Id, std::size_t N>
constexpr const ControlName &nameOf(const NamedControl<Id> (&table)[N], Id id) {
    for (const NamedControl<Id> &row : table) {
        if (row.id == id)
            return row.name;
    }
    Q_UNREACHABLE();
}

// True when every id from 0 to N-1 has exactly one row (checked at compile time by the screens).
template <typename Id, std::size_t N>
constexpr bool coversEveryId(const NamedControl<Id> (&table)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        int rows = 0;
        for (const NamedControl<Id> &row : table)
            rows += static_cast<std::size_t>(row.id) == i ? 1 : 0;
        if (rows != 1)
            return false;
    }
    return true;
}

// Gives `control` its objectName and, when the name has a caption, its accessible name.
void applyName(QWidget *control, const ControlName &name);

template <typename Widget, typename Id, std::size_t N>
Widget *named(Widget *control, const NamedControl<Id> (&table)[N], Id id) {
    applyName(control, nameOf(table, id));
    return control;
}

// A caption beside a control names it: the caption becomes the control's buddy (Alt+its
// mnemonic moves the focus there) and its text, without the mnemonic marker, the control's
// accessible name.
void nameByCaption(QLabel *caption, QWidget *control);

// Sets an accessible name, leaving a name given earlier (by a mapping) alone.
void nameIfUnnamed(QWidget *control, const QString &name);

// The text with its mnemonic markers removed ("&Utilities" -> "Utilities", "&&" -> "&").
QString withoutMnemonic(const QString &text);

} // namespace varo::ui
