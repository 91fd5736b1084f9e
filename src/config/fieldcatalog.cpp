#include "fieldcatalog.h"

#include <QHash>
#include <QSet>

#include <utility>

namespace varo::config {

namespace {

const QString kGeneral = QStringLiteral("general");
const QString kWiegand = QStringLiteral("wiegand");
const QString kBarcode = QStringLiteral("barcode");
const QString kCommports = QStringLiteral("commports");

// The object name of a control of the original forms: "Check9" for index < 0, else the member of
// a control array, "Check1_17". The catalog is written by these names, screen by screen; the key
// tables give each its key.
QString objectName(const QString &control, int index = -1) {
    if (index < 0)
        return control;
    return QStringLiteral("%1_%2").arg(control).arg(index);
}

// The reader's serial ports: each option button at its control place and its key (the group
// is the key without its last part). The member indexes are shared across groups.
struct CommportsMember {
    const char *control;
    int index;
    const char *key;
};
constexpr CommportsMember kCommportsMembers[] = {
    {"Option1", 0, "rs232.baud.1200"},    {"Option2", 0, "rs232.baud.2400"},
    {"Option3", 0, "rs232.baud.4800"},    {"Option1", 2, "rs232.baud.9600"},
    {"Option2", 1, "rs232.baud.19200"},   {"Option3", 1, "rs232.baud.38400"},
    {"Option1", 3, "rs232.baud.57600"},   {"Option2", 2, "rs232.baud.115200"},
    {"Option5", 1, "rs232.parity.8none"}, {"Option1", 4, "rs232.parity.7even"},
    {"Option4", 1, "rs232.parity.7odd"},  {"Option1", 8, "rs422.baud.1200"},
    {"Option2", 5, "rs422.baud.2400"},    {"Option3", 3, "rs422.baud.4800"},
    {"Option1", 7, "rs422.baud.9600"},    {"Option2", 4, "rs422.baud.19200"},
    {"Option3", 2, "rs422.baud.38400"},   {"Option1", 6, "rs422.baud.57600"},
    {"Option2", 3, "rs422.baud.115200"},  {"Option5", 2, "rs422.parity.8none"},
    {"Option1", 5, "rs422.parity.7even"}, {"Option4", 2, "rs422.parity.7odd"},
};

class CatalogBuilder {
public:
    void check(const QString &screen, const QString &control, int index = -1) {
        add(screen, objectName(control, index), FieldKind::Check);
    }
    // Check boxes numbered by name rather than by index: Check1, Check2, ...
    void numberedChecks(const QString &screen, int first, int last) {
        for (int i = first; i <= last; ++i)
            check(screen, QStringLiteral("Check%1").arg(i));
    }
    void checks(const QString &screen, const QString &control, int first, int last) {
        for (int i = first; i <= last; ++i)
            check(screen, control, i);
    }
    void text(const QString &screen, const QString &control, int index, int maxLength,
              InputRule rule = InputRule::Digits) {
        FieldInfo &info = add(screen, objectName(control, index), FieldKind::Text);
        info.maxLength = maxLength;
        info.rule = rule;
    }
    void texts(const QString &screen, const QString &control, int first, int last, int maxLength) {
        for (int i = first; i <= last; ++i)
            text(screen, control, i, maxLength);
    }
    // An option button; its group follows from its key.
    void option(const QString &screen, const QString &control, int index) {
        add(screen, objectName(control, index), FieldKind::Option);
    }
    FieldInfo &last() { return m_fields.last().info; }
    // One field of a screen, known by its control's object name until the key tables name it.
    struct Built {
        QString screen;
        QString objectName;
        FieldInfo info;
    };
    // Every field in catalog order.
    QList<Built> take() { return std::move(m_fields); }

private:
    FieldInfo &add(const QString &screen, const QString &name, FieldKind kind) {
        FieldInfo info;
        info.kind = kind;
        m_fields.append({screen, name, info});
        return m_fields.last().info;
    }

    QList<Built> m_fields;
};

// The descriptive keys, screen by screen in layout order: (object name, key).
using KeyTable = QList<std::pair<QString, QString>>;

KeyTable generalKeys() {
    struct Entry {
        const char *control;
        const char *key;
    };
    static constexpr Entry kEntries[] = {
        {"Check9", "prox.enabled"},
        {"Check5", "prox.goodReadBeep"},
        {"Check8", "prox.masking"},
        {"Check12", "barcode.enabled"},
        {"Check10", "barcode.goodReadBeep"},
        {"Check11", "barcode.masking"},
        {"Check4", "magstripe.enabled"},
        {"Check2", "magstripe.goodReadBeep"},
        {"Check3", "magstripe.masking"},
        {"Text5_6", "speaker.goodReadTime"},
        {"Text5_2", "speaker.frequencyHex"},
        {"Text5_4", "speaker.dutyCycleOn"},
        {"Text5_5", "speaker.dutyCycleOff"},
        {"Check13", "speaker.startupTone"},
        {"Check6", "led1.powerOnRed"},
        {"Check15", "led1.badReadRed"},
        {"Check16", "led1.goodReadGreen"},
        {"Text5_1", "led1.goodReadTime"},
        {"Check17", "led2.powerOnGreen"},
        {"Check14", "led2.goodReadGreen"},
        {"Text5_3", "led2.goodReadTime"},
        {"Text5_0", "storage.idLength"},
        {"Check1", "storage.includeDateTime"},
        {"Check7", "storage.includeReaderId"},
        {"Check18", "storage.includeReaderDescription"},
        {"Text5_7", "storage.readerId"},
        {"Text5_8", "storage.readerDescription"},
    };
    KeyTable table;
    for (const Entry &e : kEntries)
        table.append({QLatin1String(e.control), QLatin1String(e.key)});
    return table;
}

// Where the parts Site, ID and Issue of a Wiegand format live on the `wiegand` screen: the Text1
// indexes of Start, Length and Chars, and the number of the Lsb check box.
struct FormatPartPlace {
    int start;
    int length;
    int lsb;
    int chars;
};
// Formats 1 to 3: the parts in the order Site, ID, Issue, and the Text1 index of "Total Bits".
struct FormatPlace {
    FormatPartPlace parts[3];
    int total;
};
constexpr FormatPlace kFormatPlaces[3] = {
    {{{1, 4, 1, 6}, {0, 5, 2, 7}, {2, 8, 3, 9}}, 3},
    {{{10, 12, 14, 17}, {11, 13, 15, 18}, {14, 15, 16, 19}}, 16},
    {{{20, 22, 22, 27}, {21, 23, 23, 28}, {24, 25, 24, 29}}, 26},
};

// Mask rows "Mask 1" to "Mask 5" of each block: the Const box numbers of the wiegand blocks.
constexpr int kWiegandConstBoxes[3][5] = {
    {4, 5, 6, 7, 8}, {13, 12, 11, 10, 9}, {21, 20, 19, 18, 17}};

KeyTable wiegandKeys() {
    KeyTable table;
    const QString t1 = QStringLiteral("Text1");
    constexpr const char *kParts[3] = {"site", "id", "issue"};
    for (int f = 0; f < 3; ++f) {
        const FormatPlace &block = kFormatPlaces[f];
        const QString format = QStringLiteral("format%1.").arg(f + 1);
        for (int i = 0; i < 3; ++i) {
            const FormatPartPlace &place = block.parts[i];
            const QString part = format + QLatin1String(kParts[i]) + u'.';
            table.append({objectName(t1, place.start), part + QStringLiteral("start")});
            table.append({objectName(t1, place.length), part + QStringLiteral("length")});
            table.append({objectName(QStringLiteral("Check%1").arg(place.lsb)),
                          part + QStringLiteral("lsb")});
            table.append({objectName(t1, place.chars), part + QStringLiteral("chars")});
        }
        table.append({objectName(t1, block.total), format + QStringLiteral("totalBits")});
    }
    for (int b = 0; b < 3; ++b) {
        for (int r = 0; r < 5; ++r) {
            const QString row = QStringLiteral("mask%1.row%2.").arg(b + 1).arg(r + 1);
            const int index = b * 5 + r;
            table.append({objectName(QStringLiteral("Check%1").arg(kWiegandConstBoxes[b][r])),
                          row + QStringLiteral("const")});
            table.append(
                {objectName(QStringLiteral("Text2"), index), row + QStringLiteral("start")});
            table.append(
                {objectName(QStringLiteral("Text3"), index), row + QStringLiteral("lenValue")});
        }
    }
    constexpr const char *kMagstripe[6] = {"cStart",     "track1Set",          "includeStartStop",
                                           "includeLrc", "directionIndicator", "alphaDelete"};
    for (int i = 0; i < 6; ++i)
        table.append({objectName(QStringLiteral("Check%1").arg(25 + i)),
                      QStringLiteral("magstripe.") + QLatin1String(kMagstripe[i])});
    table.append({objectName(QStringLiteral("Text4")), QStringLiteral("magstripe.length")});
    table.append({objectName(QStringLiteral("Text5")), QStringLiteral("magstripe.separatorHex")});
    return table;
}

KeyTable barcodeKeys() {
    KeyTable table;
    constexpr const char *kRows[9] = {"code39",  "i2of5", "s2of5", "hiddenRow", "codabar",
                                      "code128", "upca",  "ean13", "ind2of5"};
    // The grid's check boxes of a row by their offset from 8r, left to right.
    struct Column {
        int offset; // check box 8r + offset; -1 for the Len text, -2 for the # Bars text
        const char *key;
    };
    static constexpr Column kColumns[] = {
        {0, "enabled"},
        {1, "checkDigit"},
        {2, "bars.enabled"},
        {-1, "length"},
        {-2, "bars.count"},
        {3, "transmit.checkDigit"},
        {4, "transmit.startStop"},
        {5, "transmit.direction"},
        {6, "transmit.prefix"},
        {7, "transmit.suffix"},
    };
    for (int r = 0; r < 9; ++r) {
        const QString row = QLatin1String(kRows[r]) + u'.';
        for (const Column &c : kColumns) {
            QString field;
            if (c.offset == -1)
                field = objectName(QStringLiteral("Text1"), r);
            else if (c.offset == -2)
                field = objectName(QStringLiteral("Text3"), r);
            else
                field = objectName(QStringLiteral("Check1"), 8 * r + c.offset);
            table.append({field, row + QLatin1String(c.key)});
        }
        for (int k = 0; k < 5; ++k)
            table.append({objectName(QStringLiteral("Text2"), 5 * r + k),
                          row + QStringLiteral("prefix.%1").arg(k + 1)});
        for (int k = 0; k < 5; ++k)
            table.append({objectName(QStringLiteral("Text4"), 5 * r + k),
                          row + QStringLiteral("suffix.%1").arg(k + 1)});
    }
    // "Mask # 1" rows use Check4(0) to Check4(4); "Mask # 2" rows Check4(9) down to Check4(5).
    for (int m = 0; m < 2; ++m) {
        const QString mask = QStringLiteral("mask%1.").arg(m + 1);
        table.append({objectName(QStringLiteral("Text8"), m), mask + QStringLiteral("length")});
        for (int r = 0; r < 5; ++r) {
            const int i = m == 0 ? r : 9 - r;
            const QString row = mask + QStringLiteral("row%1.").arg(r + 1);
            table.append({objectName(QStringLiteral("Check4"), i), row + QStringLiteral("const")});
            table.append({objectName(QStringLiteral("Text5"), i), row + QStringLiteral("start")});
            table.append(
                {objectName(QStringLiteral("Text7"), i), row + QStringLiteral("lenValue")});
        }
    }
    table.append({objectName(QStringLiteral("Check2")), QStringLiteral("alphaDelete")});
    table.append({objectName(QStringLiteral("Check3")), QStringLiteral("cacUsid")});
    table.append({objectName(QStringLiteral("Text6")), QStringLiteral("timeout")});
    table.append({objectName(QStringLiteral("Option1"), 2), QStringLiteral("priority.none")});
    table.append({objectName(QStringLiteral("Option1"), 0), QStringLiteral("priority.small")});
    table.append({objectName(QStringLiteral("Option1"), 1), QStringLiteral("priority.large")});
    return table;
}

void addGeneral(CatalogBuilder &b) {
    b.numberedChecks(kGeneral, 1, 18);
    // Text5(0) to Text5(8): ID Length, Led 1 time, Frequency, Led 2 time, Duty Cycle On,
    // Duty Cycle Off, speaker Good Read Time, Reader ID, Reader Description.
    static constexpr int kMax[] = {2, 2, 4, 2, 2, 2, 2, 5, 10};
    for (int i = 0; i < 9; ++i)
        b.text(kGeneral, QStringLiteral("Text5"), i, kMax[i],
               i == 2 ? InputRule::Hex : InputRule::Digits);
}

void addWiegand(CatalogBuilder &b) {
    b.numberedChecks(kWiegand, 1, 30);
    // Start and Total Bits hold three digits, Length and Chars two.
    static const QSet<int> kThreeDigits = {0, 1, 2, 3, 10, 11, 14, 16, 20, 21, 24, 26};
    for (int i = 0; i < 30; ++i)
        b.text(kWiegand, QStringLiteral("Text1"), i, kThreeDigits.contains(i) ? 3 : 2);
    b.texts(kWiegand, QStringLiteral("Text2"), 0, 14, 2);
    b.texts(kWiegand, QStringLiteral("Text3"), 0, 14, 3);
    b.text(kWiegand, QStringLiteral("Text4"), -1, 2);
    b.text(kWiegand, QStringLiteral("Text5"), -1, 2, InputRule::Hex);
}

void addBarcode(CatalogBuilder &b) {
    static const QSet<int> kDisabledChecks = {12, 17, 19, 20, 33, 35, 44, 49,
                                              51, 52, 57, 59, 60, 65, 67, 68};
    constexpr int kHiddenRow = 3;
    for (int j = 0; j < 72; ++j) {
        b.check(kBarcode, QStringLiteral("Check1"), j);
        b.last().disabled = kDisabledChecks.contains(j);
        b.last().hidden = j / 8 == kHiddenRow;
    }
    for (int r = 0; r < 9; ++r) {
        b.text(kBarcode, QStringLiteral("Text1"), r, 2);
        b.last().disabled = r == 6 || r == 7; // "Upca" and "Ean13" have no Len
        b.last().hidden = r == kHiddenRow;
    }
    for (int r = 0; r < 9; ++r) {
        b.text(kBarcode, QStringLiteral("Text3"), r, r == kHiddenRow ? 2 : 1);
        b.last().hidden = r == kHiddenRow;
    }
    for (const QString &control : {QStringLiteral("Text2"), QStringLiteral("Text4")}) {
        for (int k = 0; k < 45; ++k) {
            b.text(kBarcode, control, k, 3);
            b.last().hidden = k / 5 == kHiddenRow;
        }
    }
    b.checks(kBarcode, QStringLiteral("Check4"), 0, 9);
    b.texts(kBarcode, QStringLiteral("Text5"), 0, 9, 2);
    b.texts(kBarcode, QStringLiteral("Text7"), 0, 9, 3);
    b.texts(kBarcode, QStringLiteral("Text8"), 0, 1, 2);
    b.check(kBarcode, QStringLiteral("Check2"));
    b.check(kBarcode, QStringLiteral("Check3"));
    b.text(kBarcode, QStringLiteral("Text6"), -1, 1);
    for (int i : {2, 0, 1})
        b.option(kBarcode, QStringLiteral("Option1"), i);
}

void addCommports(CatalogBuilder &b) {
    for (const CommportsMember &m : kCommportsMembers)
        b.option(kCommports, QLatin1String(m.control), m.index);
}

KeyTable commportsKeys() {
    KeyTable table;
    for (const CommportsMember &m : kCommportsMembers)
        table.append({objectName(QLatin1String(m.control), m.index), QLatin1String(m.key)});
    return table;
}

KeyTable keyTable(SetupScreen screen) {
    switch (screen) {
    case SetupScreen::General:
        return generalKeys();
    case SetupScreen::Wiegand:
        return wiegandKeys();
    case SetupScreen::Barcode:
        return barcodeKeys();
    case SetupScreen::Commports:
        return commportsKeys();
    }
    return {};
}

// Screen name -> object name -> the field's key.
const QHash<QString, QHash<QString, QString>> &keysByControl() {
    static const QHash<QString, QHash<QString, QString>> table = [] {
        QHash<QString, QHash<QString, QString>> keys;
        for (SetupScreen screen : kSetupScreens) {
            const QString name = screenName(screen);
            for (const auto &[control, key] : keyTable(screen))
                keys[name].insert(control, name + u'.' + key);
        }
        return keys;
    }();
    return table;
}

QString keyOfControl(const QString &screen, const QString &control) {
    const QString key = keysByControl().value(screen).value(control);
    Q_ASSERT_X(!key.isEmpty(), "fieldCatalog", qPrintable(screen + u' ' + control));
    return key;
}

} // namespace

QString screenName(SetupScreen screen) {
    switch (screen) {
    case SetupScreen::General:
        return kGeneral;
    case SetupScreen::Wiegand:
        return kWiegand;
    case SetupScreen::Barcode:
        return kBarcode;
    case SetupScreen::Commports:
        return kCommports;
    }
    return {};
}

std::optional<SetupScreen> screenNamed(const QString &name) {
    for (SetupScreen screen : kSetupScreens) {
        if (screenName(screen) == name)
            return screen;
    }
    return std::nullopt;
}

const QList<FieldInfo> &fieldCatalog() {
    static const QList<FieldInfo> catalog = [] {
        CatalogBuilder b;
        addGeneral(b);
        addWiegand(b);
        addBarcode(b);
        addCommports(b);
        QList<FieldInfo> fields;
        for (const CatalogBuilder::Built &built : b.take()) {
            FieldInfo info = built.info;
            info.key = keyOfControl(built.screen, built.objectName);
            info.screen = *screenNamed(built.screen);
            info.objectName = built.objectName;
            if (info.kind == FieldKind::Option)
                info.group = info.key.section(u'.', 0, -2);
            fields.append(info);
        }
        return fields;
    }();
    return catalog;
}

const QStringList &fieldsInLayoutOrder(SetupScreen screen) {
    static const QHash<SetupScreen, QStringList> orders = [] {
        QHash<SetupScreen, QStringList> table;
        for (SetupScreen s : kSetupScreens) {
            for (const auto &entry : keyTable(s))
                table[s].append(screenName(s) + u'.' + entry.second);
        }
        return table;
    }();
    return *orders.constFind(screen);
}

const QList<ConstPair> &constPairs() {
    static const QList<ConstPair> pairs = [] {
        QList<ConstPair> list;
        // Wiegand blocks: Mask 1 to Mask 5 of each block, Start fields Text2(0) to Text2(14).
        for (int i = 0; i < 15; ++i)
            list.append({keyOfControl(kWiegand, QStringLiteral("Check%1").arg(
                                                    kWiegandConstBoxes[i / 5][i % 5])),
                         keyOfControl(kWiegand, objectName(QStringLiteral("Text2"), i))});
        for (int i = 0; i < 10; ++i)
            list.append({keyOfControl(kBarcode, objectName(QStringLiteral("Check4"), i)),
                         keyOfControl(kBarcode, objectName(QStringLiteral("Text5"), i))});
        return list;
    }();
    return pairs;
}

} // namespace varo::config
