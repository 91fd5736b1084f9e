#pragma once

#include "fieldcatalog.h"

#include <QString>
#include <QStringList>

#include <array>

namespace varo::config {

// The keys of groups of setup fields, for the code that reads or writes many of them (the
// commands, the checks, the defaults).

// The symbology rows of the `barcode` screen, top to bottom. The fourth row exists and has values
// but is never shown.
inline constexpr std::array<const char *, 9> kSymbologies = {
    "code39", "i2of5", "s2of5", "hiddenRow", "codabar", "code128", "upca", "ean13", "ind2of5"};

// A field of a symbology row: symbologyField("code39", "bars.count") is
// "barcode.code39.bars.count".
QString symbologyField(const char *symbology, const char *column);

// A prefix or suffix character (1 to 5) of a symbology row: affixField("upca", "suffix", 2) is
// "barcode.upca.suffix.2".
QString affixField(const char *symbology, const char *affix, int character);

// A field of a mask row: maskRowField(SetupScreen::Wiegand, 2, 3, "start") is
// "wiegand.mask2.row3.start".
QString maskRowField(SetupScreen screen, int mask, int row, const char *column);

// The fields of `kind` whose keys match `pattern`, in catalog order; '*' in the pattern
// stands for any run of characters ("wiegand.mask*.const").
QStringList fieldsMatching(const QString &pattern, FieldKind kind);

} // namespace varo::config
