#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace varo::config {

enum class FieldKind { Check, Option, Text };

// Which characters the user may type into a text field.
enum class InputRule {
    None,   // not a text field
    Digits, // "0" to "9"
    Hex     // "0" to "9", "A" to "F" (typed lower case is stored upper case)
};

// The four setup screens.
enum class SetupScreen { General, Wiegand, Barcode, Commports };
inline constexpr std::array<SetupScreen, 4> kSetupScreens = {
    SetupScreen::General, SetupScreen::Wiegand, SetupScreen::Barcode, SetupScreen::Commports};

// The screen's name, the first part of its fields' keys and its object in a reader profile:
// "general", "wiegand", "barcode", "commports".
QString screenName(SetupScreen screen);
std::optional<SetupScreen> screenNamed(const QString &name);

// The fixed description of one setup field.
struct FieldInfo {
    // The field's identity: its screen's name and what the field is, unique within the screen:
    // "general.prox.enabled", "wiegand.format1.site.start". An option button's key is its
    // group's key and the value it stands for: "barcode.priority.none".
    QString key;
    SetupScreen screen = SetupScreen::General;
    // The object name of the field's control on its screen, kept from the screens' original
    // forms for tests and assistive tools: "Check9", "Check1_17".
    QString objectName;
    FieldKind kind = FieldKind::Text;
    int maxLength = 0; // typing limit of a text field
    InputRule rule = InputRule::None;
    QString group;         // option button: its group's key ("barcode.priority")
    bool disabled = false; // disabled from creation
    bool hidden = false;   // exists and has a value, never shown

    // The key without the screen's name: "prox.enabled".
    QString keyOnScreen() const { return key.section(u'.', 1); }
};

// Every field of `general`, `wiegand`, `barcode` and `commports`, screen by screen.
const QList<FieldInfo> &fieldCatalog();

// The fields of `screen` in the order of the screen's layout, group by group (top to bottom, left
// to right), the order in which their keys are listed and written.
const QStringList &fieldsInLayoutOrder(SetupScreen screen);

// A Const box of a mask row and the Start field of the same row.
struct ConstPair {
    QString constBox;
    QString startField;
};
const QList<ConstPair> &constPairs();

} // namespace varo::config
