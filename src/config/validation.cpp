#include "validation.h"

#include "wiegandformats.h"

#include "configmodel.h"
#include "digitstable.h"
#include "fieldcatalog.h"
#include "fieldkeys.h"

#include <QList>

namespace varo::config {

namespace {

enum class Test {
    AnyEmpty,           // any of the fields is an empty field
    LengthWithoutStart, // fields: start, length; a length but start 0
    BeyondStream,       // fields: start, length, total; start + length - 1 > total
    MayNotFit,          // fields: length, chars; fewer chars than the largest value needs
    OutsideRange,       // the one field's value is below `low` or above `high`
    Above               // any field's value is above `high`
};

struct Check {
    Test test;
    QStringList fields;
    QString message;
    long long low = 0;
    long long high = 0;
};

bool isWarning(Test test) {
    return test == Test::MayNotFit;
}

// A field of the `general` screen by its descriptive key.
QString g(const char *key) {
    return QStringLiteral("general.") + QLatin1String(key);
}

// Start and Len/Value of every mask row of `screen`, row by row in catalog order.
QStringList maskRowFields(SetupScreen screen) {
    const QStringList starts =
        fieldsMatching(screenName(screen) + QStringLiteral(".mask*.start"), FieldKind::Text);
    const QStringList values =
        fieldsMatching(screenName(screen) + QStringLiteral(".mask*.lenValue"), FieldKind::Text);
    QStringList fields;
    for (qsizetype i = 0; i < starts.size() && i < values.size(); ++i)
        fields << starts.at(i) << values.at(i);
    return fields;
}

QList<Check> makeChecks() {
    QList<Check> checks;

    checks.append({Test::AnyEmpty,
                   fieldsMatching(QStringLiteral("wiegand.format*"), FieldKind::Text),
                   QStringLiteral("Error - Empty field in wiegand/prox formatting")});
    checks.append({Test::AnyEmpty, maskRowFields(SetupScreen::Wiegand),
                   QStringLiteral("Error - Empty field in wiegand/prox masking")});
    checks.append({Test::AnyEmpty,
                   {QStringLiteral("wiegand.magstripe.length")},
                   QStringLiteral("Error - Empty field - magstripe length")});
    checks.append({Test::AnyEmpty,
                   {QStringLiteral("wiegand.magstripe.separatorHex")},
                   QStringLiteral("Error - Empty field - magstripe sep char")});

    for (int f = 0; f < kFormatCount; ++f) {
        const FormatFields &format = formatFields()[f];
        const QString prefix = QStringLiteral("Error - Wie/prox format %1 - ").arg(f + 1);
        for (int i = 0; i < 3; ++i)
            checks.append({Test::LengthWithoutStart,
                           {format.parts[i].start, format.parts[i].length},
                           prefix + QLatin1String(kFormatParts[i]) +
                               QStringLiteral(" field has a length but specifies start of 0")});
        for (int i = 0; i < 3; ++i)
            checks.append({Test::BeyondStream,
                           {format.parts[i].start, format.parts[i].length, format.totalBits},
                           prefix + QLatin1String(kFormatParts[i]) +
                               QStringLiteral(" field goes beyond end of bit stream")});
    }
    for (int f = 0; f < kFormatCount; ++f) {
        for (int i = 0; i < 3; ++i)
            checks.append({Test::MayNotFit,
                           {formatFields()[f].parts[i].length, formatFields()[f].parts[i].chars},
                           QStringLiteral("Warning - Wie/prox format %1 - %2 bit length may not "
                                          "fit in character size")
                               .arg(f + 1)
                               .arg(QLatin1String(kFormatParts[i]))});
    }

    checks.append({Test::AnyEmpty, maskRowFields(SetupScreen::Barcode),
                   QStringLiteral("Error - Empty field in barcode masking")});
    checks.append({Test::AnyEmpty,
                   {QStringLiteral("barcode.mask1.length"), QStringLiteral("barcode.mask2.length")},
                   QStringLiteral("Error - Empty field in barcode masking length")});
    checks.append({Test::AnyEmpty,
                   {QStringLiteral("barcode.timeout")},
                   QStringLiteral("Error - Empty field in barcode timeout")});
    QStringList lengthBars;
    for (const char *symbology : kSymbologies)
        lengthBars << symbologyField(symbology, "length")
                   << symbologyField(symbology, "bars.count");
    checks.append({Test::AnyEmpty, lengthBars,
                   QStringLiteral("Error - Empty field in barcode length/#bars")});
    QStringList affixes;
    for (const char *symbology : kSymbologies) {
        for (int c = 1; c <= 5; ++c)
            affixes << affixField(symbology, "prefix", c) << affixField(symbology, "suffix", c);
    }
    checks.append(
        {Test::AnyEmpty, affixes, QStringLiteral("Error - Empty field in barcode prefix/suffix")});
    checks.append({Test::OutsideRange,
                   {QStringLiteral("barcode.timeout")},
                   QStringLiteral("Error - Barcode timeout must be between 2 and 15"),
                   2,
                   15});

    // The `general` screen: duty cycle, the two LED good read times, then the empty fields.
    checks.append({Test::Above,
                   {g("speaker.dutyCycleOn")},
                   QStringLiteral("Error - Relay time cannot be greater than 25"),
                   0,
                   25});
    checks.append({Test::Above,
                   {g("led1.goodReadTime"), g("led2.goodReadTime")},
                   QStringLiteral("Error - Led trigger time cannot be greater than 25"),
                   0,
                   25});
    checks.append({Test::AnyEmpty,
                   {g("storage.idLength"), g("led1.goodReadTime")},
                   QStringLiteral("Error - Empty field in speaker time")});
    checks.append({Test::AnyEmpty,
                   {g("speaker.frequencyHex"), g("led2.goodReadTime"), g("speaker.dutyCycleOn")},
                   QStringLiteral("Error - Empty field relay/rte settings")});
    return checks;
}

const QList<Check> &checks() {
    static const QList<Check> table = makeChecks();
    return table;
}

bool fails(const Check &check, const ConfigModel &model) {
    auto value = [&](int i) { return numericValue(model.text(check.fields.at(i))); };
    switch (check.test) {
    case Test::AnyEmpty:
        for (const QString &field : check.fields) {
            if (isEmptyField(model.text(field)))
                return true;
        }
        return false;
    case Test::LengthWithoutStart:
        return value(1) != 0 && value(0) == 0;
    case Test::BeyondStream:
        return value(0) + value(1) - 1 > value(2);
    case Test::MayNotFit: {
        // Beyond the table a length cannot be judged; it is reported rather than passed.
        const long long length = value(0);
        return length >= kDigitsTableSize - 1 || value(1) < digitsForBits(length);
    }
    case Test::OutsideRange:
        return value(0) < check.low || value(0) > check.high;
    case Test::Above:
        for (int i = 0; i < check.fields.size(); ++i) {
            if (value(i) > check.high)
                return true;
        }
        return false;
    }
    return false;
}

// The fields that make a failing check fail.
QStringList culprits(const Check &check, const ConfigModel &model) {
    QStringList fields;
    for (const QString &field : check.fields) {
        const bool guilty = check.test == Test::AnyEmpty ? isEmptyField(model.text(field))
                            : check.test == Test::Above
                                ? numericValue(model.text(field)) > check.high
                                : true;
        if (guilty)
            fields.append(field);
    }
    return fields;
}

} // namespace

long long numericValue(const QString &text) {
    constexpr long long kCap = 1'000'000'000'000LL; // far beyond any field; avoids overflow
    long long value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            break;
        if (value < kCap)
            value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

bool isEmptyField(const QString &text) {
    // Spaces are the only padding removed; any other character is content.
    for (QChar c : text) {
        if (c != u' ')
            return false;
    }
    return true;
}

ValidationResult validate(const ConfigModel &model) {
    ValidationResult result;
    for (const Check &check : checks()) {
        if (!fails(check, model))
            continue;
        result.lines.append(check.message);
        if (!isWarning(check.test)) {
            result.passed = false;
            break;
        }
    }
    return result;
}

QList<CheckFailure> checkAll(const ConfigModel &model) {
    QList<CheckFailure> failures;
    for (const Check &check : checks()) {
        if (fails(check, model))
            failures.append({check.message, culprits(check, model), isWarning(check.test)});
    }
    return failures;
}

} // namespace varo::config
