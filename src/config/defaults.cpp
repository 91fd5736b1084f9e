#include "defaults.h"

#include "configmodel.h"

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
        one(kSelect, "commports.Option1(2)"),
        one(kSelect, "commports.Option5(1)"),
        one(kSelect, "commports.Option1(7)"),
        one(kSelect, "commports.Option5(2)"),

        // general
        one(kCheck, "general.Check9", "1"),
        one(kCheck, "general.Check5", "1"),
        one(kCheck, "general.Check8", "0"),
        one(kCheck, "general.Check12", "1"),
        one(kCheck, "general.Check10", "1"),
        one(kCheck, "general.Check11", "0"),
        one(kCheck, "general.Check4", "1"),
        one(kCheck, "general.Check2", "1"),
        one(kCheck, "general.Check3", "0"),
        one(kText, "general.Text5(6)", "7"),
        one(kText, "general.Text5(2)", "08C0"),
        one(kText, "general.Text5(4)", "01"),
        one(kText, "general.Text5(5)", "03"),
        one(kCheck, "general.Check13", "0"),
        one(kCheck, "general.Check6", "1"),
        one(kCheck, "general.Check15", "0"),
        one(kCheck, "general.Check16", "0"),
        one(kText, "general.Text5(1)", "0"),
        one(kCheck, "general.Check17", "0"),
        one(kCheck, "general.Check14", "1"),
        one(kText, "general.Text5(3)", "1"),
        one(kText, "general.Text5(0)", "5"),
        one(kText, "general.Text5(7)", ""),
        one(kText, "general.Text5(8)", ""),
        one(kCheck, "general.Check1", "1"),
        one(kCheck, "general.Check7", "0"),
        one(kCheck, "general.Check18", "0"),

        // wiegand: a 26-bit format in block 1, site in bits 2 to 9, ID in bits 10 to 25.
        one(kText, "wiegand.Text1(1)", "02"),
        one(kText, "wiegand.Text1(4)", "08"),
        one(kText, "wiegand.Text1(6)", "03"),
        one(kText, "wiegand.Text1(0)", "10"),
        one(kText, "wiegand.Text1(5)", "16"),
        one(kText, "wiegand.Text1(7)", "05"),
        one(kText, "wiegand.Text1(2)", "00"),
        one(kText, "wiegand.Text1(8)", "00"),
        one(kText, "wiegand.Text1(9)", "00"),
        one(kText, "wiegand.Text1(3)", "26"),
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
        one(kText, "wiegand.Text4", "00"),
        one(kText, "wiegand.Text5", "00"),

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
        one(kText, "barcode.Text6", "2"),
        one(kCheck, "barcode.Check2", "0"),
        one(kCheck, "barcode.Check3", "0"),
        one(kSelect, "barcode.Option1(2)"),
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
        if (row.naming == Naming::Single) {
            for (const Step &step : row.steps)
                apply(model, step, QLatin1String(step.control));
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
