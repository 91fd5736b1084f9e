#include "commandtable.h"

#include "configmodel.h"
#include "fieldcatalog.h"
#include "fieldkeys.h"
#include "wiegandformats.h"

#include <optional>

namespace varo::config {

PayloadField flag(const QString &field) {
    PayloadField f;
    f.kind = PayloadField::Kind::Flag;
    f.field = field;
    return f;
}

PayloadField pad(int width, const QString &filler, const QString &field) {
    PayloadField f;
    f.kind = PayloadField::Kind::Pad;
    f.width = width;
    f.text = filler;
    f.field = field;
    return f;
}

PayloadField bars(const QString &xbBox, const QString &barsText) {
    PayloadField f;
    f.kind = PayloadField::Kind::Bars;
    f.field = xbBox;
    f.bars = barsText;
    return f;
}

PayloadField choice(Choice which) {
    PayloadField f;
    f.kind = PayloadField::Kind::Choice;
    f.choice = which;
    return f;
}

PayloadField constant(const QString &text) {
    PayloadField f;
    f.kind = PayloadField::Kind::Constant;
    f.text = text;
    return f;
}

namespace {

QString field(const char *qualifiedKey) {
    return QLatin1String(qualifiedKey);
}

} // namespace

const QList<ChoiceRule> &choiceRules(Choice which) {
    static const QList<ChoiceRule> kLed1 = {
        {{field("general.led1.badReadRed"), field("general.led1.goodReadGreen")}, '4'},
        {{field("general.led1.goodReadGreen")}, '3'},
        {{field("general.led1.badReadRed")}, '2'},
        {{field("general.led1.powerOnRed")}, '1'},
        {{}, '0'},
    };
    static const QList<ChoiceRule> kLed2 = {
        {{field("general.led2.goodReadGreen")}, '2'},
        {{field("general.led2.powerOnGreen")}, '1'},
        {{}, '0'},
    };
    // "Prioritiy": None, Small, Large. No rule matches when nothing is selected.
    static const QList<ChoiceRule> kPriority = {
        {{field("barcode.priority.none")}, '0'},
        {{field("barcode.priority.small")}, '1'},
        {{field("barcode.priority.large")}, '2'},
    };
    switch (which) {
    case Choice::Led1:
        return kLed1;
    case Choice::Led2:
        return kLed2;
    case Choice::Priority:
        break;
    }
    return kPriority;
}

namespace {

// A field of the `general` screen by its descriptive key.
QString g(const char *key) {
    return QStringLiteral("general.") + QLatin1String(key);
}

QString timeoutFor(const QByteArray &code) {
    return QStringLiteral("Error ") + QString::fromLatin1(code.mid(1));
}

CommandRow row(const char *code, QList<PayloadField> payload, ProgressList list,
               const QString &timeoutMessage = {}) {
    const QByteArray c(code);
    return {c, std::move(payload), list, timeoutMessage.isEmpty() ? timeoutFor(c) : timeoutMessage};
}

// What a symbology command sends of its row, cell by cell.
enum class Cell {
    Enabled,        // "Enbl"
    CheckDigit,     // "CD"
    SendCheckDigit, // Transmit "CD"
    SendStartStop,  // Transmit "SS"
    SendDirection,  // Transmit "Dir"
    Length,         // "Len", two digits
    Bars,           // "# Bars" when "XB" is checked
    Zero,           // a fixed "0"
    SendPrefix,     // Transmit "Pre"
    SendSuffix      // Transmit "Suf"
};

PayloadField cellField(const char *symbology, Cell cell) {
    auto field = [symbology](const char *column) { return symbologyField(symbology, column); };
    switch (cell) {
    case Cell::Enabled:
        return flag(field("enabled"));
    case Cell::CheckDigit:
        return flag(field("checkDigit"));
    case Cell::SendCheckDigit:
        return flag(field("transmit.checkDigit"));
    case Cell::SendStartStop:
        return flag(field("transmit.startStop"));
    case Cell::SendDirection:
        return flag(field("transmit.direction"));
    case Cell::Length:
        return pad(2, QStringLiteral("0"), field("length"));
    case Cell::Bars:
        return bars(field("bars.enabled"), field("bars.count"));
    case Cell::Zero:
        break;
    case Cell::SendPrefix:
        return flag(field("transmit.prefix"));
    case Cell::SendSuffix:
        return flag(field("transmit.suffix"));
    }
    return constant(QStringLiteral("0"));
}

struct SymbologyCommand {
    const char *code;
    const char *symbology;
    QList<Cell> cells;
    const char *timeoutMessage = nullptr; // nullptr: "Error " and the code's number
};

// The symbology commands in sending order. Rows without start/stop characters leave out "SS";
// the fixed-length ones also "CD" and "Len"; Codabar sends a fixed "0" before "Pre".
QList<SymbologyCommand> symbologyCommands() {
    using enum Cell;
    const QList<Cell> kFull = {Enabled, CheckDigit, SendCheckDigit, SendStartStop, SendDirection,
                               Length,  Bars,       SendPrefix,     SendSuffix};
    const QList<Cell> kNoStartStop = {Enabled, CheckDigit, SendCheckDigit, SendDirection,
                                      Length,  Bars,       SendPrefix,     SendSuffix};
    const QList<Cell> kFixedLength = {Enabled, SendDirection, Bars, SendPrefix, SendSuffix};
    const QList<Cell> kCodabar = {Enabled, CheckDigit, SendCheckDigit, SendStartStop, SendDirection,
                                  Length,  Bars,       Zero,           SendPrefix,    SendSuffix};
    return {
        {"X001", "code39", kFull},         {"X002", "s2of5", kNoStartStop},
        {"X003", "ind2of5", kNoStartStop}, {"X004", "i2of5", kNoStartStop},
        {"X005", "upca", kFixedLength},    {"X006", "ean13", kFixedLength, "Error 048"},
        {"X007", "code128", kNoStartStop}, {"X008", "codabar", kCodabar},
    };
}

CommandRow symbologyRow(const SymbologyCommand &command) {
    QList<PayloadField> payload;
    for (Cell cell : command.cells)
        payload.append(cellField(command.symbology, cell));
    return row(command.code, std::move(payload), ProgressList::Left,
               command.timeoutMessage ? QLatin1String(command.timeoutMessage) : QString());
}

// The five prefix or suffix characters of a symbology row, three digits each.
QList<PayloadField> affixes(const char *symbology, const char *affix) {
    QList<PayloadField> fields;
    for (int c = 1; c <= 5; ++c)
        fields.append(pad(3, QStringLiteral("00"), affixField(symbology, affix, c)));
    return fields;
}

// Barcode mask rows of one mask: Start as two digits, Len/Value as three.
QList<PayloadField> barcodeMasks(int mask, std::initializer_list<int> rows) {
    QList<PayloadField> fields;
    for (int r : rows) {
        fields.append(
            pad(2, QStringLiteral("0"), maskRowField(SetupScreen::Barcode, mask, r, "start")));
        fields.append(
            pad(3, QStringLiteral("00"), maskRowField(SetupScreen::Barcode, mask, r, "lenValue")));
    }
    return fields;
}

QList<PayloadField> barcodeMaskLength(int mask) {
    return {pad(2, QStringLiteral("0"), QStringLiteral("barcode.mask%1.length").arg(mask))};
}

QList<PayloadField> wiegandMasks(int mask, std::initializer_list<int> rows) {
    QList<PayloadField> fields;
    for (int r : rows) {
        fields.append(
            pad(2, QStringLiteral("00"), maskRowField(SetupScreen::Wiegand, mask, r, "start")));
        fields.append(
            pad(3, QStringLiteral("000"), maskRowField(SetupScreen::Wiegand, mask, r, "lenValue")));
    }
    return fields;
}

// First command of a format: Total Bits, then Site and ID as Start, Length, Lsb.
QList<PayloadField> formatBits(const FormatFields &f) {
    const QString n3 = QStringLiteral("000");
    const QString n2 = QStringLiteral("00");
    const FormatPartFields &site = f.parts[0];
    const FormatPartFields &id = f.parts[1];
    return {pad(3, n3, f.totalBits),
            pad(3, n3, site.start),
            pad(2, n2, site.length),
            flag(site.lsb),
            pad(3, n3, id.start),
            pad(2, n2, id.length),
            flag(id.lsb)};
}

// Second command: Issue as Start, Length, Lsb, then the Chars of Site, ID and Issue.
QList<PayloadField> formatIssueAndChars(const FormatFields &f) {
    const QString n3 = QStringLiteral("000");
    const QString n2 = QStringLiteral("00");
    const FormatPartFields &issue = f.parts[2];
    return {pad(3, n3, issue.start),      pad(2, n2, issue.length),     flag(issue.lsb),
            pad(2, n2, f.parts[0].chars), pad(2, n2, f.parts[1].chars), pad(2, n2, issue.chars)};
}

QList<CommandRow> makeTable() {
    constexpr ProgressList P1 = ProgressList::Left;
    constexpr ProgressList P2 = ProgressList::Right;
    const QString z1 = QStringLiteral("0");
    const QString z2 = QStringLiteral("00");
    const QString z3 = QStringLiteral("000");
    const std::array<FormatFields, kFormatCount> &formats = formatFields();

    QList<CommandRow> table = {row("V", {}, P1, QStringLiteral("Error 000"))};
    for (const SymbologyCommand &command : symbologyCommands())
        table.append(symbologyRow(command));
    table += {
        row("X011",
            {choice(Choice::Led1), choice(Choice::Led2), pad(2, z1, g("led1.goodReadTime")),
             pad(2, z1, g("led2.goodReadTime"))},
            P1),
        row("X012",
            {flag(g("prox.enabled")), flag(g("barcode.enabled")), flag(g("magstripe.enabled"))},
            P1),
        // Prefix and suffix characters of every shown symbology row, top to bottom.
        row("X016", affixes("code39", "prefix"), P1),
        row("X017", affixes("code39", "suffix"), P1),
        row("X018", affixes("i2of5", "prefix"), P1),
        row("X019", affixes("i2of5", "suffix"), P1),
        row("X020", affixes("s2of5", "prefix"), P1),
        row("X021", affixes("s2of5", "suffix"), P1),
        row("X022", affixes("codabar", "prefix"), P1),
        row("X023", affixes("codabar", "suffix"), P1),
        row("X024", affixes("code128", "prefix"), P1),
        row("X025", affixes("code128", "suffix"), P1),
        row("X026", affixes("upca", "prefix"), P1),
        row("X027", affixes("upca", "suffix"), P1),
        row("X028", affixes("ean13", "prefix"), P1),
        row("X029", affixes("ean13", "suffix"), P1, QStringLiteral("Error 050")),
        row("X030", affixes("ind2of5", "prefix"), P1),
        row("X031", affixes("ind2of5", "suffix"), P1),
        // "Mask # 1" and "Mask # 2": Length, then rows 1 and 2; then rows 3 to 5.
        row("X033", barcodeMaskLength(1) + barcodeMasks(1, {1, 2}), P1),
        row("X034", barcodeMasks(1, {3, 4, 5}), P1),
        row("X035", barcodeMaskLength(2) + barcodeMasks(2, {1, 2}), P1),
        row("X036", barcodeMasks(2, {3, 4, 5}), P1),
        row("X037",
            {pad(1, z1, field("barcode.timeout")), choice(Choice::Priority),
             flag(field("barcode.alphaDelete")), flag(g("barcode.masking")), constant(z1),
             flag(g("barcode.goodReadBeep")), flag(g("magstripe.masking"))},
            P1),
        row("X073",
            {constant(QStringLiteral("1")), flag(g("prox.masking")), flag(g("prox.goodReadBeep")),
             constant(z2)},
            P1),
        row("X074", formatBits(formats[0]), P1),
        row("X075", formatIssueAndChars(formats[0]), P1),
        row("X076", formatBits(formats[1]), P1),
        row("X077", formatIssueAndChars(formats[1]), P2),
        row("X078", formatBits(formats[2]), P2),
        row("X079", formatIssueAndChars(formats[2]), P2),
        // Wiegand masks 1 to 3: rows 1 and 2, then rows 3 to 5.
        row("X080", wiegandMasks(1, {1, 2}), P2),
        row("X081", wiegandMasks(1, {3, 4, 5}), P2),
        row("X082", wiegandMasks(2, {1, 2}), P2),
        row("X083", wiegandMasks(2, {3, 4, 5}), P2),
        row("X084", wiegandMasks(3, {1, 2}), P2),
        row("X085", wiegandMasks(3, {3, 4, 5}), P2),
        row("X095",
            {flag(g("speaker.startupTone")), pad(4, z3, g("speaker.frequencyHex")),
             pad(2, z2, g("speaker.goodReadTime"))},
            P2),
        row("X102", {pad(2, z2, g("speaker.dutyCycleOn")), pad(2, z2, g("speaker.dutyCycleOff"))},
            P2),
        row("\\",
            {pad(2, z2, g("storage.idLength")), flag(g("storage.includeDateTime")),
             flag(g("storage.includeReaderId")), flag(g("storage.includeReaderDescription"))},
            P2, QStringLiteral("Error \\ command")),
        row("g", {pad(5, QString(5, u' '), g("storage.readerId"))}, P2,
            QStringLiteral("Error g command")),
        row("h", {pad(10, QString(10, u' '), g("storage.readerDescription"))}, P2,
            QStringLiteral("Error h command")),
    };
    return table;
}

// Longer than any command's payload: one allocation a command.
constexpr qsizetype kPayloadReserve = 128;

// The digit of the first rule whose boxes are all on; nothing when none is.
std::optional<char> choiceDigit(Choice which, const ConfigModel &model) {
    for (const ChoiceRule &rule : choiceRules(which)) {
        bool all = true;
        for (const QString &box : rule.allOn)
            all = all && model.isOn(box);
        if (all)
            return rule.digit;
    }
    return std::nullopt;
}

// Appends one field's text to `payload`. A payload is built for every command of every run,
// so nothing here makes a temporary string.
void appendField(QString &payload, const PayloadField &field, const ConfigModel &model) {
    switch (field.kind) {
    case PayloadField::Kind::Flag:
        payload += model.check(field.field) == 1 ? u'1' : u'0';
        return;
    case PayloadField::Kind::Pad: {
        // The value right-aligned in `width` characters over the pad text: the last `width`
        // characters of pad + value.
        const QString &value = model.text(field.field);
        const qsizetype width = field.width;
        if (value.size() >= width) {
            payload += QStringView(value).right(width);
        } else {
            payload += QStringView(field.text).right(width - value.size());
            payload += value;
        }
        return;
    }
    case PayloadField::Kind::Bars:
        if (model.check(field.field) == 1)
            payload += model.text(field.bars);
        else
            payload += u'0';
        return;
    case PayloadField::Kind::Choice:
        if (const std::optional<char> digit = choiceDigit(field.choice, model))
            payload += QLatin1Char(*digit);
        return;
    case PayloadField::Kind::Constant:
        break;
    }
    payload += field.text;
}

} // namespace

const QList<CommandRow> &commandTable() {
    static const QList<CommandRow> table = makeTable();
    return table;
}

QByteArray buildPayload(const CommandRow &row, const ConfigModel &model) {
    QString payload;
    payload.reserve(kPayloadReserve);
    for (const PayloadField &field : row.payload)
        appendField(payload, field, model);
    // Setup texts are single-byte characters; anything else cannot travel on the link as is.
    return payload.toLatin1();
}

QByteArray buildCommand(const CommandRow &row, const ConfigModel &model) {
    return row.code + buildPayload(row, model);
}

} // namespace varo::config
