#include "defaults.h"

#include "configmodel.h"
#include "fieldcatalog.h"

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

// How a row's index range names its fields.
enum class Naming {
    Single,    // the step's control is the full field name
    Key,       // the step's control is the field's key qualified by its screen
    Subscript, // screen.Control(i)
    Suffix     // screen.ControlI ("wiegand.Check4" to "wiegand.Check13")
};

struct Step {
    Action action;
    const char *control;
    const char *value = "";
};

// One row writes its steps for every index first..last (by `stride`), the steps of one index
// before the next index.
struct Row {
    Naming naming;
    QList<Step> steps;
    int first = 0;
    int last = 0;
    int stride = 1;
};

Row one(Action action, const char *field, const char *value = "") {
    return {Naming::Single, {{action, field, value}}};
}

Row key(Action action, const char *qualifiedKey, const char *value = "") {
    return {Naming::Key, {{action, qualifiedKey, value}}};
}

Row each(int first, int last, QList<Step> steps, int stride = 1) {
    return {Naming::Subscript, std::move(steps), first, last, stride};
}

Row numbered(int first, int last, Step step) {
    return {Naming::Suffix, {step}, first, last};
}

constexpr Action kCheck = Action::Check;
constexpr Action kText = Action::Text;
constexpr Action kSelect = Action::Select;

const QList<Row> &defaultRows() {
    static const QList<Row> rows = {
        // commports: both reader ports at 9600 baud, 8 bits, no parity.
        key(kSelect, "commports.rs232.baud.9600"),
        key(kSelect, "commports.rs232.parity.8none"),
        key(kSelect, "commports.rs422.baud.9600"),
        key(kSelect, "commports.rs422.parity.8none"),

        // general
        key(kCheck, "general.prox.enabled", "1"),
        key(kCheck, "general.prox.goodReadBeep", "1"),
        key(kCheck, "general.prox.masking", "0"),
        key(kCheck, "general.barcode.enabled", "1"),
        key(kCheck, "general.barcode.goodReadBeep", "1"),
        key(kCheck, "general.barcode.masking", "0"),
        key(kCheck, "general.magstripe.enabled", "1"),
        key(kCheck, "general.magstripe.goodReadBeep", "1"),
        key(kCheck, "general.magstripe.masking", "0"),
        key(kText, "general.speaker.goodReadTime", "7"),
        key(kText, "general.speaker.frequencyHex", "08C0"),
        key(kText, "general.speaker.dutyCycleOn", "01"),
        key(kText, "general.speaker.dutyCycleOff", "03"),
        key(kCheck, "general.speaker.startupTone", "0"),
        key(kCheck, "general.led1.powerOnRed", "1"),
        key(kCheck, "general.led1.badReadRed", "0"),
        key(kCheck, "general.led1.goodReadGreen", "0"),
        key(kText, "general.led1.goodReadTime", "0"),
        key(kCheck, "general.led2.powerOnGreen", "0"),
        key(kCheck, "general.led2.goodReadGreen", "1"),
        key(kText, "general.led2.goodReadTime", "1"),
        key(kText, "general.storage.idLength", "5"),
        key(kText, "general.storage.readerId", ""),
        key(kText, "general.storage.readerDescription", ""),
        key(kCheck, "general.storage.includeDateTime", "1"),
        key(kCheck, "general.storage.includeReaderId", "0"),
        key(kCheck, "general.storage.includeReaderDescription", "0"),

        // wiegand: a 26-bit format in block 1, site in bits 2 to 9, ID in bits 10 to 25.
        key(kText, "wiegand.format1.site.start", "02"),
        key(kText, "wiegand.format1.site.length", "08"),
        key(kText, "wiegand.format1.site.chars", "03"),
        key(kText, "wiegand.format1.id.start", "10"),
        key(kText, "wiegand.format1.id.length", "16"),
        key(kText, "wiegand.format1.id.chars", "05"),
        key(kText, "wiegand.format1.issue.start", "00"),
        key(kText, "wiegand.format1.issue.length", "00"),
        key(kText, "wiegand.format1.issue.chars", "00"),
        key(kText, "wiegand.format1.totalBits", "26"),
        each(10, 29, {{kText, "wiegand.Text1", "00"}}),
        // Lsb boxes
        numbered(1, 3, {kCheck, "wiegand.Check", "0"}),
        numbered(14, 16, {kCheck, "wiegand.Check", "0"}),
        numbered(22, 24, {kCheck, "wiegand.Check", "0"}),
        // Const boxes (the Const rule enables every Start field)
        numbered(4, 13, {kCheck, "wiegand.Check", "0"}),
        numbered(17, 21, {kCheck, "wiegand.Check", "0"}),
        each(0, 14, {{kText, "wiegand.Text2", "00"}, {kText, "wiegand.Text3", "000"}}),
        numbered(25, 30, {kCheck, "wiegand.Check", "0"}),
        key(kText, "wiegand.magstripe.length", "00"),
        key(kText, "wiegand.magstripe.separatorHex", "00"),

        // barcode: the disabled grid cells are not written and keep 0.
        each(0, 71, {{Action::CheckIfEnabled, "barcode.Check1", "0"}}),
        one(kCheck, "barcode.Check1(0)", "1"),
        one(kCheck, "barcode.Check1(8)", "1"),
        each(2, 66, {{kCheck, "barcode.Check1", "1"}}, 8), // XB of every row
        each(0, 8, {{kText, "barcode.Text1", "00"}}),
        each(0, 8, {{kText, "barcode.Text3", "04"}}),
        each(0, 44, {{kText, "barcode.Text2", "000"}, {kText, "barcode.Text4", "000"}}),
        each(0, 9,
             {{kCheck, "barcode.Check4", "0"},
              {kText, "barcode.Text5", "00"},
              {kText, "barcode.Text7", "000"}}),
        one(kText, "barcode.Text8(0)", "00"),
        one(kText, "barcode.Text8(1)", "00"),
        key(kText, "barcode.timeout", "2"),
        key(kCheck, "barcode.alphaDelete", "0"),
        key(kCheck, "barcode.cacUsid", "0"),
        key(kSelect, "barcode.priority.none"),
    };
    return rows;
}

void apply(ConfigModel &model, const Step &step, const QString &field) {
    const QString value = QLatin1String(step.value);
    switch (step.action) {
    case Action::Check:
        model.setCheck(field, value.toInt());
        break;
    case Action::CheckIfEnabled:
        if (model.isEnabled(field))
            model.setCheck(field, value.toInt());
        break;
    case Action::Text:
        model.setText(field, value);
        break;
    case Action::Select:
        model.select(field);
        break;
    }
}

} // namespace

void loadDefaults(ConfigModel &model) {
    for (const Row &row : defaultRows()) {
        if (row.naming == Naming::Single || row.naming == Naming::Key) {
            for (const Step &step : row.steps)
                apply(model, step,
                      row.naming == Naming::Key ? fieldOf(QLatin1String(step.control))
                                                : QLatin1String(step.control));
            continue;
        }
        for (int i = row.first; i <= row.last; i += row.stride) {
            for (const Step &step : row.steps) {
                const QString control = QLatin1String(step.control);
                const QString field = row.naming == Naming::Subscript
                                          ? QStringLiteral("%1(%2)").arg(control).arg(i)
                                          : control + QString::number(i);
                apply(model, step, field);
            }
        }
    }
}

} // namespace varo::config
