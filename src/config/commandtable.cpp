#include "commandtable.h"

#include "wiegandformats.h"

#include "configmodel.h"
#include "fieldcatalog.h"

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
    return fieldOf(QLatin1String(qualifiedKey));
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
    return fieldOf(QStringLiteral("general.") + QLatin1String(key));
}
QString bc(int j) {
    return fieldName(kBarcode, QStringLiteral("Check1"), j);
}
QString bText(const char *control, int i) {
    return fieldName(kBarcode, QLatin1String(control), i);
}
QString wText(const char *control, int i) {
    return fieldName(kWiegand, QLatin1String(control), i);
}

QString timeoutFor(const QByteArray &code) {
    return QStringLiteral("Error ") + QString::fromLatin1(code.mid(1));
}

CommandRow row(const char *code, QList<PayloadField> payload, ProgressList list,
               const QString &timeoutMessage = {}) {
    const QByteArray c(code);
    return {c, std::move(payload), list, timeoutMessage.isEmpty() ? timeoutFor(c) : timeoutMessage};
}

// Five prefix or suffix characters of one symbology row, three digits each.
QList<PayloadField> affixes(const char *control, int first) {
    QList<PayloadField> fields;
    for (int k = first; k < first + 5; ++k)
        fields.append(pad(3, QStringLiteral("00"), bText(control, k)));
    return fields;
}

// Barcode mask rows: Start as two digits, Len/Value as three.
QList<PayloadField> barcodeMasks(std::initializer_list<int> rows) {
    QList<PayloadField> fields;
    for (int i : rows) {
        fields.append(pad(2, QStringLiteral("0"), bText("Text5", i)));
        fields.append(pad(3, QStringLiteral("00"), bText("Text7", i)));
    }
    return fields;
}

QList<PayloadField> wiegandMasks(std::initializer_list<int> rows) {
    QList<PayloadField> fields;
    for (int i : rows) {
        fields.append(pad(2, QStringLiteral("00"), wText("Text2", i)));
        fields.append(pad(3, QStringLiteral("000"), wText("Text3", i)));
    }
    return fields;
}

// The Lsb check box with this number on the `wiegand` screen.
QString lsbBox(int number) {
    return QStringLiteral("wiegand.Check%1").arg(number);
}

// First command of a format block: Total Bits, then Site and ID as Start, Length, Lsb.
QList<PayloadField> formatBits(const FormatBlockPlace &f) {
    const QString n3 = QStringLiteral("000");
    const QString n2 = QStringLiteral("00");
    const FormatFieldPlace &site = f.fields[0];
    const FormatFieldPlace &id = f.fields[1];
    return {pad(3, n3, wText("Text1", f.total)),
            pad(3, n3, wText("Text1", site.start)),
            pad(2, n2, wText("Text1", site.length)),
            flag(lsbBox(site.lsb)),
            pad(3, n3, wText("Text1", id.start)),
            pad(2, n2, wText("Text1", id.length)),
            flag(lsbBox(id.lsb))};
}

// Second command: Issue as Start, Length, Lsb, then the Chars of Site, ID and Issue.
QList<PayloadField> formatIssueAndChars(const FormatBlockPlace &f) {
    const QString n3 = QStringLiteral("000");
    const QString n2 = QStringLiteral("00");
    const FormatFieldPlace &issue = f.fields[2];
    return {pad(3, n3, wText("Text1", issue.start)),
            pad(2, n2, wText("Text1", issue.length)),
            flag(lsbBox(issue.lsb)),
            pad(2, n2, wText("Text1", f.fields[0].chars)),
            pad(2, n2, wText("Text1", f.fields[1].chars)),
            pad(2, n2, wText("Text1", issue.chars))};
}

QList<CommandRow> makeTable() {
    constexpr ProgressList P1 = ProgressList::Picture1;
    constexpr ProgressList P2 = ProgressList::Picture2;
    const QString z1 = QStringLiteral("0");
    const QString z2 = QStringLiteral("00");
    const QString z3 = QStringLiteral("000");

    return {
        row("V", {}, P1, QStringLiteral("Error 000")),
        // Symbology rows: Enbl, CD, Transmit CD, SS, Dir, Len, bars, Pre, Suf (as each row has).
        row("X001",
            {flag(bc(0)), flag(bc(1)), flag(bc(3)), flag(bc(4)), flag(bc(5)),
             pad(2, z1, bText("Text1", 0)), bars(bc(2), bText("Text3", 0)), flag(bc(6)),
             flag(bc(7))},
            P1),
        row("X002",
            {flag(bc(16)), flag(bc(17)), flag(bc(19)), flag(bc(21)), pad(2, z1, bText("Text1", 2)),
             bars(bc(18), bText("Text3", 2)), flag(bc(22)), flag(bc(23))},
            P1),
        row("X003",
            {flag(bc(64)), flag(bc(65)), flag(bc(67)), flag(bc(69)), pad(2, z1, bText("Text1", 8)),
             bars(bc(66), bText("Text3", 8)), flag(bc(70)), flag(bc(71))},
            P1),
        row("X004",
            {flag(bc(8)), flag(bc(9)), flag(bc(11)), flag(bc(13)), pad(2, z1, bText("Text1", 1)),
             bars(bc(10), bText("Text3", 1)), flag(bc(14)), flag(bc(15))},
            P1),
        row("X005",
            {flag(bc(48)), flag(bc(53)), bars(bc(50), bText("Text3", 6)), flag(bc(54)),
             flag(bc(55))},
            P1),
        row("X006",
            {flag(bc(56)), flag(bc(61)), bars(bc(58), bText("Text3", 7)), flag(bc(62)),
             flag(bc(63))},
            P1, QStringLiteral("Error 048")),
        row("X007",
            {flag(bc(40)), flag(bc(41)), flag(bc(43)), flag(bc(45)), pad(2, z1, bText("Text1", 5)),
             bars(bc(42), bText("Text3", 5)), flag(bc(46)), flag(bc(47))},
            P1),
        row("X008",
            {flag(bc(32)), flag(bc(33)), flag(bc(35)), flag(bc(36)), flag(bc(37)),
             pad(2, z1, bText("Text1", 4)), bars(bc(34), bText("Text3", 4)), constant(z1),
             flag(bc(38)), flag(bc(39))},
            P1),
        row("X011",
            {choice(Choice::Led1), choice(Choice::Led2), pad(2, z1, g("led1.goodReadTime")),
             pad(2, z1, g("led2.goodReadTime"))},
            P1),
        row("X012",
            {flag(g("prox.enabled")), flag(g("barcode.enabled")), flag(g("magstripe.enabled"))},
            P1),
        // Prefix and suffix characters of rows 0, 1, 2, 4, 5, 6, 7, 8.
        row("X016", affixes("Text2", 0), P1),
        row("X017", affixes("Text4", 0), P1),
        row("X018", affixes("Text2", 5), P1),
        row("X019", affixes("Text4", 5), P1),
        row("X020", affixes("Text2", 10), P1),
        row("X021", affixes("Text4", 10), P1),
        row("X022", affixes("Text2", 20), P1),
        row("X023", affixes("Text4", 20), P1),
        row("X024", affixes("Text2", 25), P1),
        row("X025", affixes("Text4", 25), P1),
        row("X026", affixes("Text2", 30), P1),
        row("X027", affixes("Text4", 30), P1),
        row("X028", affixes("Text2", 35), P1),
        row("X029", affixes("Text4", 35), P1, QStringLiteral("Error 050")),
        row("X030", affixes("Text2", 40), P1),
        row("X031", affixes("Text4", 40), P1),
        // "Mask # 1" rows 0 to 4; "Mask # 2" rows 9 down to 5.
        row("X033", QList<PayloadField>{pad(2, z1, bText("Text8", 0))} + barcodeMasks({0, 1}), P1),
        row("X034", barcodeMasks({2, 3, 4}), P1),
        row("X035", QList<PayloadField>{pad(2, z1, bText("Text8", 1))} + barcodeMasks({9, 8}), P1),
        row("X036", barcodeMasks({7, 6, 5}), P1),
        row("X037",
            {pad(1, z1, field("barcode.timeout")), choice(Choice::Priority),
             flag(field("barcode.alphaDelete")), flag(g("barcode.masking")), constant(z1),
             flag(g("barcode.goodReadBeep")), flag(g("magstripe.masking"))},
            P1),
        row("X073",
            {constant(QStringLiteral("1")), flag(g("prox.masking")), flag(g("prox.goodReadBeep")),
             constant(z2)},
            P1),
        row("X074", formatBits(kFormatBlocks[0]), P1),
        row("X075", formatIssueAndChars(kFormatBlocks[0]), P1),
        row("X076", formatBits(kFormatBlocks[1]), P1),
        row("X077", formatIssueAndChars(kFormatBlocks[1]), P2),
        row("X078", formatBits(kFormatBlocks[2]), P2),
        row("X079", formatIssueAndChars(kFormatBlocks[2]), P2),
        row("X080", wiegandMasks({0, 1}), P2),
        row("X081", wiegandMasks({2, 3, 4}), P2),
        row("X082", wiegandMasks({5, 6}), P2),
        row("X083", wiegandMasks({7, 8, 9}), P2),
        row("X084", wiegandMasks({10, 11}), P2),
        row("X085", wiegandMasks({12, 13, 14}), P2),
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
}

QString choiceDigit(Choice which, const ConfigModel &model) {
    for (const ChoiceRule &rule : choiceRules(which)) {
        bool all = true;
        for (const QString &box : rule.allOn)
            all = all && model.isOn(box);
        if (all)
            return QString(QChar::fromLatin1(rule.digit));
    }
    return {};
}

QString fieldText(const PayloadField &field, const ConfigModel &model) {
    switch (field.kind) {
    case PayloadField::Kind::Flag:
        return model.check(field.field) == 1 ? QStringLiteral("1") : QStringLiteral("0");
    case PayloadField::Kind::Pad:
        return (field.text + model.text(field.field)).right(field.width);
    case PayloadField::Kind::Bars:
        return model.check(field.field) == 1 ? model.text(field.bars) : QStringLiteral("0");
    case PayloadField::Kind::Choice:
        return choiceDigit(field.choice, model);
    case PayloadField::Kind::Constant:
        break;
    }
    return field.text;
}

} // namespace

const QList<CommandRow> &commandTable() {
    static const QList<CommandRow> table = makeTable();
    return table;
}

QByteArray buildPayload(const CommandRow &row, const ConfigModel &model) {
    QString payload;
    for (const PayloadField &field : row.payload)
        payload += fieldText(field, model);
    // Setup texts are single-byte characters; anything else cannot travel on the link as is.
    return payload.toLatin1();
}

QByteArray buildCommand(const CommandRow &row, const ConfigModel &model) {
    return row.code + buildPayload(row, model);
}

} // namespace varo::config
