#pragma once

#include "config/commandtable.h"

#include <QList>

namespace varo::config::test {

// What a reader receives from a run with every field at its default: code, payload, the list
// that shows the exchange and the message printed when the reader stays silent.
struct GoldenCommand {
    const char *code;
    const char *payload;
    ProgressList list;
    const char *timeoutMessage;
};

inline constexpr ProgressList P1 = ProgressList::Left;
inline constexpr ProgressList P2 = ProgressList::Right;

inline const QList<GoldenCommand> kDefaultCommands = {
    {"V", "", P1, "Error 000"},
    {"X001", "10000000400", P1, "Error 001"},
    {"X002", "0000000400", P1, "Error 002"},
    {"X003", "0000000400", P1, "Error 003"},
    {"X004", "1000000400", P1, "Error 004"},
    {"X005", "000400", P1, "Error 005"},
    {"X006", "000400", P1, "Error 048"},
    {"X007", "0000000400", P1, "Error 007"},
    {"X008", "000000004000", P1, "Error 008"},
    {"X011", "120001", P1, "Error 011"},
    {"X012", "111", P1, "Error 012"},
    {"X016", "000000000000000", P1, "Error 016"},
    {"X017", "000000000000000", P1, "Error 017"},
    {"X018", "000000000000000", P1, "Error 018"},
    {"X019", "000000000000000", P1, "Error 019"},
    {"X020", "000000000000000", P1, "Error 020"},
    {"X021", "000000000000000", P1, "Error 021"},
    {"X022", "000000000000000", P1, "Error 022"},
    {"X023", "000000000000000", P1, "Error 023"},
    {"X024", "000000000000000", P1, "Error 024"},
    {"X025", "000000000000000", P1, "Error 025"},
    {"X026", "000000000000000", P1, "Error 026"},
    {"X027", "000000000000000", P1, "Error 027"},
    {"X028", "000000000000000", P1, "Error 028"},
    {"X029", "000000000000000", P1, "Error 050"},
    {"X030", "000000000000000", P1, "Error 030"},
    {"X031", "000000000000000", P1, "Error 031"},
    {"X033", "000000000000", P1, "Error 033"},
    {"X034", "000000000000000", P1, "Error 034"},
    {"X035", "000000000000", P1, "Error 035"},
    {"X036", "000000000000000", P1, "Error 036"},
    {"X037", "2000010", P1, "Error 037"},
    {"X073", "10100", P1, "Error 073"},
    {"X074", "026002080010160", P1, "Error 074"},
    {"X075", "000000030500", P1, "Error 075"},
    {"X076", "000000000000000", P1, "Error 076"},
    {"X077", "000000000000", P2, "Error 077"},
    {"X078", "000000000000000", P2, "Error 078"},
    {"X079", "000000000000", P2, "Error 079"},
    {"X080", "0000000000", P2, "Error 080"},
    {"X081", "000000000000000", P2, "Error 081"},
    {"X082", "0000000000", P2, "Error 082"},
    {"X083", "000000000000000", P2, "Error 083"},
    {"X084", "0000000000", P2, "Error 084"},
    {"X085", "000000000000000", P2, "Error 085"},
    {"X095", "008C007", P2, "Error 095"},
    {"X102", "0103", P2, "Error 102"},
    {"\\", "05100", P2, "Error \\ command"},
    {"g", "     ", P2, "Error g command"},
    {"h", "          ", P2, "Error h command"},
};

inline QByteArray goldenCommandText(const GoldenCommand &golden) {
    return QByteArray(golden.code) + golden.payload;
}

} // namespace varo::config::test
