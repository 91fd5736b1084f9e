#include "labeltable.h"

#include <algorithm>

namespace varo::utilities {

namespace {

constexpr LabelEntry kLabels[] = {
    {0, "Get Firmware Identification", LabelRole::Button, Verb::ReadFirmwareId},
    {2, "Switch to Collection Mode", LabelRole::Button, Verb::SwitchMode, ReaderMode::Collection},
    {3, "Switch to Online Mode", LabelRole::Button, Verb::SwitchMode, ReaderMode::Online},
    {25, "Switch to Prox Dump Mode", LabelRole::Button, Verb::SwitchMode, ReaderMode::ProxDump},
    {6, "Get Reader Time", LabelRole::Button, Verb::ReadTime},
    {5, "Set Reader Time", LabelRole::Button, Verb::SetTime},
    {7, "Show Memory Usage", LabelRole::Button, Verb::ShowMemory},
    {9, "Clear Reader Memory", LabelRole::Button, Verb::ClearMemory},
    {12, "Restart", LabelRole::Button, Verb::Restart},
    {19, "Upload Stored Data", LabelRole::Button, Verb::Upload},
    {4, "Current Date/Time:", LabelRole::Clock, Verb::WakeUp},
    {10, "Total Slots", LabelRole::Heading, Verb::WakeUp},
    {11, "Used", LabelRole::Heading, Verb::WakeUp},
    {1, "Uploaded", LabelRole::Heading, Verb::WakeUp},
    {15, "00000", LabelRole::MemoryValue, Verb::WakeUp},
    {17, "00000", LabelRole::MemoryValue, Verb::WakeUp},
    {8, "00000", LabelRole::MemoryValue, Verb::WakeUp},
    {24, "Records Uploaded: xxxxx", LabelRole::StatusLine, Verb::WakeUp},
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
