#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace varo::config {

class ConfigModel;

// The two progress lists of the programming screen, left and right.
enum class ProgressList { Left, Right };

// Digits chosen from several boxes: the first rule whose boxes are all on gives the digit.
enum class Choice {
    Led1,    // "4", "3", "2", "1" or "0" from the three "Led 1" boxes
    Led2,    // "2", "1" or "0" from the two "Led 2" boxes
    Priority // "0", "1" or "2" from the barcode "Prioritiy" buttons; absent when none is selected
};

struct ChoiceRule {
    QStringList allOn; // boxes that must all be on; empty matches always
    char digit;
};
const QList<ChoiceRule> &choiceRules(Choice choice);

// One field of a command's payload.
struct PayloadField {
    enum class Kind {
        Flag,    // "1" when the box is checked, else "0"
        Pad,     // the last `width` characters of filler + text
        Bars,    // the # Bars text when the XB box is checked, else "0"
        Choice,  // a digit by the rules of `choice`
        Constant // `text` as it stands
    };
    Kind kind = Kind::Constant;
    QString field; // Flag, Pad: the field; Bars: the XB box
    QString bars;  // Bars: the # Bars text field
    int width = 0; // Pad
    QString text;  // Pad: the filler; Constant: the literal
    Choice choice = Choice::Led1;
};

PayloadField flag(const QString &field);
PayloadField pad(int width, const QString &filler, const QString &field);
PayloadField bars(const QString &xbBox, const QString &barsText);
PayloadField choice(Choice which);
PayloadField constant(const QString &text);

// One programming command: its code, payload recipe, progress list and the message printed when
// the reader does not answer in time.
struct CommandRow {
    QByteArray code;
    QList<PayloadField> payload;
    ProgressList list = ProgressList::Left;
    QString timeoutMessage;
};

// "V" and the 49 programming commands, in sending order.
const QList<CommandRow> &commandTable();

// The command text for `row` from the fields as they are now: the code, then the payload.
QByteArray buildCommand(const CommandRow &row, const ConfigModel &model);
QByteArray buildPayload(const CommandRow &row, const ConfigModel &model);

} // namespace varo::config
