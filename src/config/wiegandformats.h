#pragma once

#include <QString>

#include <array>

namespace varo::config {

// The three "Wie/Prox Format" blocks of the `wiegand` screen, formats 1 to 3. Each places the
// parts Site, ID and Issue of a card number in the bit stream (Start, Length, Lsb) and gives their
// size in decimal characters (Chars); Total Bits is the length of the whole stream.
inline constexpr int kFormatCount = 3;

// The parts by their keys, in the order of the screen's rows.
inline constexpr std::array<const char *, 3> kFormatParts = {"site", "id", "issue"};

// The fields of one part, resolved from their keys ("wiegand.format2.id.length").
struct FormatPartFields {
    QString start;
    QString length;
    QString lsb;
    QString chars;
};

// The fields of one format: its parts in the order Site, ID, Issue, and its Total Bits.
struct FormatFields {
    std::array<FormatPartFields, 3> parts;
    QString totalBits;
};

// Formats 1 to 3 at indexes 0 to 2; resolved once.
const std::array<FormatFields, kFormatCount> &formatFields();

} // namespace varo::config
