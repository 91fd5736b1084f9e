#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace varo::config {

enum class FieldKind { Check, Option, Text };

// Which characters the user may type into a text field.
enum class InputRule {
    None,   // not a text field
    Digits, // "0" to "9"
    Hex     // "0" to "9", "A" to "F" (typed lower case is stored upper case)
};

// The fixed description of one setup field.
struct FieldInfo {
    QString name; // "screen.Control" or "screen.Control(index)"
    // What the field is, unique within its screen: "format1.site.start", "prox.goodReadBeep".
    // An option button's key is its group's key and the value it stands for: "priority.none".
    QString key;
    FieldKind kind = FieldKind::Text;
    int maxLength = 0; // typing limit of a text field
    InputRule rule = InputRule::None;
    QString group;         // option group the member belongs to
    bool disabled = false; // disabled from creation
    bool hidden = false;   // exists and has a value, never shown
};

// "general.Check9" for index < 0, else "barcode.Check1(17)".
QString fieldName(const QString &screen, const QString &control, int index = -1);

// The four setup screens.
inline const QString kGeneral = QStringLiteral("general");
inline const QString kWiegand = QStringLiteral("wiegand");
inline const QString kBarcode = QStringLiteral("barcode");
inline const QString kCommports = QStringLiteral("commports");

// Screen part of a field name ("wiegand" for "wiegand.Text1(4)").
QString screenOf(const QString &field);
// Widget object name of a field: "Check1_17" for "barcode.Check1(17)", "Check9" for
// "general.Check9".
QString objectNameOf(const QString &field);

// Every field of `general`, `wiegand`, `barcode` and `commports`, screen by screen.
const QList<FieldInfo> &fieldCatalog();

// The field of `screen` with the descriptive key `key`; empty when there is none.
QString fieldForKey(const QString &screen, const QString &key);
// The field of a key qualified by its screen ("general.prox.enabled" gives "general.Check9").
// Unknown keys are programming errors: they assert in debug builds and give an empty name.
QString fieldOf(const QString &qualifiedKey);
// The descriptive key of a field ("format1.site.start" for "wiegand.Text1(1)"); empty for an
// unknown name.
QString keyOf(const QString &field);
// The fields of `screen` in the order of the screen's layout, group by group (top to bottom, left
// to right), the order in which their keys are listed and written.
const QStringList &fieldsInLayoutOrder(const QString &screen);

// A Const box of a mask row and the Start field of the same row.
struct ConstPair {
    QString constBox;
    QString startField;
};
const QList<ConstPair> &constPairs();

} // namespace varo::config
