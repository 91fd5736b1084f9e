#include "fieldcatalog.h"

#include <QSet>

namespace varo::config {

namespace {

class CatalogBuilder {
public:
    void check(const QString &screen, const QString &control, int index = -1) {
        m_fields.append(make(fieldName(screen, control, index), FieldKind::Check));
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
        FieldInfo info = make(fieldName(screen, control, index), FieldKind::Text);
        info.maxLength = maxLength;
        info.rule = rule;
        m_fields.append(info);
    }
    void texts(const QString &screen, const QString &control, int first, int last, int maxLength) {
        for (int i = first; i <= last; ++i)
            text(screen, control, i, maxLength);
    }
    void option(const QString &screen, const QString &control, int index, const QString &group) {
        FieldInfo info = make(fieldName(screen, control, index), FieldKind::Option);
        info.group = fieldName(screen, group);
        m_fields.append(info);
    }
    FieldInfo &last() { return m_fields.last(); }
    FieldInfo *find(const QString &name) {
        for (FieldInfo &info : m_fields) {
            if (info.name == name)
                return &info;
        }
        return nullptr;
    }
    QList<FieldInfo> take() { return std::move(m_fields); }

private:
    static FieldInfo make(const QString &name, FieldKind kind) {
        FieldInfo info;
        info.name = name;
        info.kind = kind;
        return info;
    }

    QList<FieldInfo> m_fields;
};

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
        b.option(kBarcode, QStringLiteral("Option1"), i, QStringLiteral("Priority"));
}

void addCommports(CatalogBuilder &b) {
    struct Member {
        const char *control;
        int index;
        const char *group;
    };
    // The member indexes are shared across groups; the group follows from this table.
    static constexpr Member kMembers[] = {
        {"Option1", 0, "RS232Baud"},   {"Option2", 0, "RS232Baud"},   {"Option3", 0, "RS232Baud"},
        {"Option1", 2, "RS232Baud"},   {"Option2", 1, "RS232Baud"},   {"Option3", 1, "RS232Baud"},
        {"Option1", 3, "RS232Baud"},   {"Option2", 2, "RS232Baud"},   {"Option5", 1, "RS232Parity"},
        {"Option1", 4, "RS232Parity"}, {"Option4", 1, "RS232Parity"}, {"Option1", 8, "RS422Baud"},
        {"Option2", 5, "RS422Baud"},   {"Option3", 3, "RS422Baud"},   {"Option1", 7, "RS422Baud"},
        {"Option2", 4, "RS422Baud"},   {"Option3", 2, "RS422Baud"},   {"Option1", 6, "RS422Baud"},
        {"Option2", 3, "RS422Baud"},   {"Option5", 2, "RS422Parity"}, {"Option1", 5, "RS422Parity"},
        {"Option4", 2, "RS422Parity"},
    };
    for (const Member &m : kMembers)
        b.option(kCommports, QLatin1String(m.control), m.index, QLatin1String(m.group));
}

} // namespace

QString fieldName(const QString &screen, const QString &control, int index) {
    if (index < 0)
        return screen + u'.' + control;
    return QStringLiteral("%1.%2(%3)").arg(screen, control).arg(index);
}

QString screenOf(const QString &field) {
    return field.section(u'.', 0, 0);
}

QString objectNameOf(const QString &field) {
    QString control = field.section(u'.', 1);
    if (control.endsWith(u')')) {
        control.chop(1);
        control.replace(u'(', u'_');
    }
    return control;
}

const QList<FieldInfo> &fieldCatalog() {
    static const QList<FieldInfo> catalog = [] {
        CatalogBuilder b;
        addGeneral(b);
        addWiegand(b);
        addBarcode(b);
        addCommports(b);
        return b.take();
    }();
    return catalog;
}

const QList<ConstPair> &constPairs() {
    static const QList<ConstPair> pairs = [] {
        QList<ConstPair> list;
        // Wiegand blocks: Mask 1 to Mask 5 of each block, Start fields Text2(0) to Text2(14).
        static constexpr int kWiegandConst[15] = {4,  5, 6,  7,  8,  13, 12, 11,
                                                  10, 9, 21, 20, 19, 18, 17};
        for (int i = 0; i < 15; ++i)
            list.append({fieldName(kWiegand, QStringLiteral("Check%1").arg(kWiegandConst[i])),
                         fieldName(kWiegand, QStringLiteral("Text2"), i)});
        for (int i = 0; i < 10; ++i)
            list.append({fieldName(kBarcode, QStringLiteral("Check4"), i),
                         fieldName(kBarcode, QStringLiteral("Text5"), i)});
        return list;
    }();
    return pairs;
}

} // namespace varo::config
