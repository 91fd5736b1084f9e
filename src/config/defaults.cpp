#include "defaults.h"

#include "configmodel.h"
#include "fieldcatalog.h"
#include "fieldkeys.h"

#include <QList>
#include <QString>

namespace varo::config {

namespace {

enum class Action {
    Check,          // set a check box to the value "0" or "1"
    CheckIfEnabled, // the same, only when the box is enabled
    Text,           // set a text
    Select          // select an option button
};

// One default: the action, the fields by their keys qualified by their screen, and the value.
// A '*' in the key stands for any run of characters: the row then writes every field of that
// pattern and of the action's kind, in catalog order.
struct Row {
    Action action;
    const char *keys;
    const char *value = "";
};

constexpr Action kCheck = Action::Check;
constexpr Action kText = Action::Text;
constexpr Action kSelect = Action::Select;

constexpr Row kDefaultRows[] = {
    // commports: both reader ports at 9600 baud, 8 bits, no parity.
    {kSelect, "commports.rs232.baud.9600"},
    {kSelect, "commports.rs232.parity.8none"},
    {kSelect, "commports.rs422.baud.9600"},
    {kSelect, "commports.rs422.parity.8none"},

    // general
    {kCheck, "general.prox.enabled", "1"},
    {kCheck, "general.prox.goodReadBeep", "1"},
    {kCheck, "general.prox.masking", "0"},
    {kCheck, "general.barcode.enabled", "1"},
    {kCheck, "general.barcode.goodReadBeep", "1"},
    {kCheck, "general.barcode.masking", "0"},
    {kCheck, "general.magstripe.enabled", "1"},
    {kCheck, "general.magstripe.goodReadBeep", "1"},
    {kCheck, "general.magstripe.masking", "0"},
    {kText, "general.speaker.goodReadTime", "7"},
    {kText, "general.speaker.frequencyHex", "08C0"},
    {kText, "general.speaker.dutyCycleOn", "01"},
    {kText, "general.speaker.dutyCycleOff", "03"},
    {kCheck, "general.speaker.startupTone", "0"},
    {kCheck, "general.led1.powerOnRed", "1"},
    {kCheck, "general.led1.badReadRed", "0"},
    {kCheck, "general.led1.goodReadGreen", "0"},
    {kText, "general.led1.goodReadTime", "0"},
    {kCheck, "general.led2.powerOnGreen", "0"},
    {kCheck, "general.led2.goodReadGreen", "1"},
    {kText, "general.led2.goodReadTime", "1"},
    {kText, "general.storage.idLength", "5"},
    {kText, "general.storage.readerId", ""},
    {kText, "general.storage.readerDescription", ""},
    {kCheck, "general.storage.includeDateTime", "1"},
    {kCheck, "general.storage.includeReaderId", "0"},
    {kCheck, "general.storage.includeReaderDescription", "0"},

    // wiegand: a 26-bit format 1, site in bits 2 to 9, ID in bits 10 to 25; formats 2 and 3 empty.
    {kText, "wiegand.format1.site.start", "02"},
    {kText, "wiegand.format1.site.length", "08"},
    {kText, "wiegand.format1.site.chars", "03"},
    {kText, "wiegand.format1.id.start", "10"},
    {kText, "wiegand.format1.id.length", "16"},
    {kText, "wiegand.format1.id.chars", "05"},
    {kText, "wiegand.format1.issue.start", "00"},
    {kText, "wiegand.format1.issue.length", "00"},
    {kText, "wiegand.format1.issue.chars", "00"},
    {kText, "wiegand.format1.totalBits", "26"},
    {kText, "wiegand.format2.*", "00"},
    {kText, "wiegand.format3.*", "00"},
    {kCheck, "wiegand.format*.lsb", "0"},
    // Const boxes first: the Const rule enables every Start field.
    {kCheck, "wiegand.mask*.const", "0"},
    {kText, "wiegand.mask*.start", "00"},
    {kText, "wiegand.mask*.lenValue", "000"},
    {kCheck, "wiegand.magstripe.*", "0"},
    {kText, "wiegand.magstripe.length", "00"},
    {kText, "wiegand.magstripe.separatorHex", "00"},

    // barcode: every box off (the disabled grid cells are not written and keep 0), then Code39
    // and I 2/5 on and "XB" on in every row; every Len, prefix, suffix and mask field zero.
    {Action::CheckIfEnabled, "barcode.*", "0"},
    {kCheck, "barcode.code39.enabled", "1"},
    {kCheck, "barcode.i2of5.enabled", "1"},
    {kCheck, "barcode.*.bars.enabled", "1"},
    {kText, "barcode.*.length", "00"},
    {kText, "barcode.*.bars.count", "04"},
    {kText, "barcode.*.prefix.*", "000"},
    {kText, "barcode.*.suffix.*", "000"},
    {kText, "barcode.mask*.start", "00"},
    {kText, "barcode.mask*.lenValue", "000"},
    {kText, "barcode.timeout", "2"},
    {kSelect, "barcode.priority.none"},
};

FieldKind kindOf(Action action) {
    switch (action) {
    case Action::Check:
    case Action::CheckIfEnabled:
        return FieldKind::Check;
    case Action::Text:
        return FieldKind::Text;
    case Action::Select:
        break;
    }
    return FieldKind::Option;
}

// One write of the defaults, its field resolved.
struct Write {
    Action action;
    QString field;
    QString value;
};

const QList<Write> &defaultWrites() {
    static const QList<Write> writes = [] {
        QList<Write> list;
        for (const Row &row : kDefaultRows) {
            const QString keys = QLatin1String(row.keys);
            const QStringList fields =
                keys.contains(u'*') ? fieldsMatching(keys, kindOf(row.action)) : QStringList{keys};
            for (const QString &field : fields)
                list.append({row.action, field, QLatin1String(row.value)});
        }
        return list;
    }();
    return writes;
}

void apply(ConfigModel &model, const Write &write) {
    switch (write.action) {
    case Action::Check:
        model.setCheck(write.field, write.value.toInt());
        break;
    case Action::CheckIfEnabled:
        if (model.isEnabled(write.field))
            model.setCheck(write.field, write.value.toInt());
        break;
    case Action::Text:
        model.setText(write.field, write.value);
        break;
    case Action::Select:
        model.select(write.field);
        break;
    }
}

} // namespace

void loadDefaults(ConfigModel &model) {
    for (const Write &write : defaultWrites())
        apply(model, write);
}

} // namespace varo::config
