#pragma once

#include <array>
#include <cstdint>

namespace varo::config {

// Entry n (1 to 64): the number of decimal characters needed for the largest n-bit value,
// 2^n - 1. Entries 0 and 65 are 0.
inline constexpr int kDigitsTableSize = 66;

constexpr std::array<int, kDigitsTableSize> makeDigitsTable() {
    std::array<int, kDigitsTableSize> table{};
    for (int n = 1; n <= 64; ++n) {
        std::uint64_t largest = n == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
        int digits = 0;
        for (; largest != 0; largest /= 10)
            ++digits;
        table[n] = digits;
    }
    return table;
}

inline constexpr std::array<int, kDigitsTableSize> kDigitsTable = makeDigitsTable();

// The table entry for a bit length; 0 outside the table.
constexpr int digitsForBits(long long bits) {
    return bits >= 0 && bits < kDigitsTableSize ? kDigitsTable[bits] : 0;
}

} // namespace varo::config
