#pragma once

#include <array>

namespace varo::config {

// Where one field (Site, ID or Issue) of a Wiegand format block lives on the `wiegand` screen:
// the Text1 indexes of its Start, Length and Chars, and the number of its Lsb check box.
struct FormatFieldPlace {
    int start;
    int length;
    int lsb;
    int chars;
};

// One of the three "Wie/Prox Format" blocks: its fields in the order Site, ID, Issue, and the
// Text1 index of its "Total Bits".
struct FormatBlockPlace {
    std::array<FormatFieldPlace, 3> fields;
    int total;
};

inline constexpr std::array<FormatBlockPlace, 3> kFormatBlocks = {{
    {{{{1, 4, 1, 6}, {0, 5, 2, 7}, {2, 8, 3, 9}}}, 3},
    {{{{10, 12, 14, 17}, {11, 13, 15, 18}, {14, 15, 16, 19}}}, 16},
    {{{{20, 22, 22, 27}, {21, 23, 23, 28}, {24, 25, 24, 29}}}, 26},
}};

} // namespace varo::config
