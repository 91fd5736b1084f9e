#pragma once

#include <span>
#include <string_view>

namespace varo::utilities {

// What a click on a member of the screen's label array does after the wake-up.
enum class Action {
    None,
    FirmwareId,
    ModeSwitch,
    GetTime,
    SetTime,
    MemoryUsage,
    ClearMemory,
    Restart,
    Upload
};

enum class LabelRole { Button, Clock, Heading, MemoryValue, StatusLine };

// One member of the label array `Label1`, told apart by index.
struct LabelEntry {
    int index;
    std::string_view caption; // design-time caption
    LabelRole role;
    Action action;
    std::string_view command; // sent after the wake-up; may begin with NUL
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
