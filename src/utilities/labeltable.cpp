#include "labeltable.h"

#include <algorithm>

namespace varo::utilities {

namespace {

using namespace std::string_view_literals;

constexpr LabelEntry kLabels[] = {
    {0, "Get Firmware Identification", LabelRole::Button, Action::FirmwareId, "V"},
    {2, "Switch to Collection Mode", LabelRole::Button, Action::ModeSwitch, "|5"},
    {3, "Switch to Online Mode", LabelRole::Button, Action::ModeSwitch, "|1"},
    {25, "Switch to Prox Dump Mode", LabelRole::Button, Action::ModeSwitch, "|2"},
    {6, "Get Reader Time", LabelRole::Button, Action::GetTime, "t"},
    {5, "Set Reader Time", LabelRole::Button, Action::SetTime, {}},
    {7, "Show Memory Usage", LabelRole::Button, Action::MemoryUsage, "z"},
    {9, "Clear Reader Memory", LabelRole::Button, Action::ClearMemory, "lc"},
    {12, "Restart", LabelRole::Button, Action::Restart, "\0X"sv},
    {19, "Upload Stored Data", LabelRole::Button, Action::Upload, {}},
    {4, "Current Date/Time:", LabelRole::Clock, Action::None, {}},
    {10, "Total Slots", LabelRole::Heading, Action::None, {}},
    {11, "Used", LabelRole::Heading, Action::None, {}},
    {1, "Uploaded", LabelRole::Heading, Action::None, {}},
    {15, "00000", LabelRole::MemoryValue, Action::None, {}},
    {17, "00000", LabelRole::MemoryValue, Action::None, {}},
    {8, "00000", LabelRole::MemoryValue, Action::None, {}},
    {24, "Records Uploaded: xxxxx", LabelRole::StatusLine, Action::None, {}},
};

} // namespace

std::span<const LabelEntry> labelTable() {
    return kLabels;
}

const LabelEntry *findLabel(int index) {
    const auto it = std::ranges::find(kLabels, index, &LabelEntry::index);
    return it == std::end(kLabels) ? nullptr : &*it;
}

} // namespace varo::utilities
