#pragma once

#include "maintenanceverb.h"

#include <span>
#include <string_view>

namespace varo::utilities {

enum class LabelRole { Button, Clock, Heading, MemoryValue, StatusLine };

// One member of the label array `Label1`, told apart by index.
struct LabelEntry {
    int index;
    std::string_view caption; // design-time caption
    LabelRole role;
    Verb verb; // what a click does (WakeUp for a label that is no button)
    ReaderMode mode = ReaderMode::Collection; // the mode a SwitchMode button chooses
};

// Memory usage rows: heading index and value index, top to bottom.
struct MemoryRow {
    int headingIndex;
    int valueIndex;
};
inline constexpr MemoryRow kMemoryRows[] = {{10, 15}, {11, 17}, {1, 8}};

inline constexpr int kClockIndex = 4;
inline constexpr int kStatusIndex = 24;

std::span<const LabelEntry> labelTable();
// nullptr for an index that is not a member of the array.
const LabelEntry *findLabel(int index);

} // namespace varo::utilities
