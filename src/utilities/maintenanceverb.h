#pragma once

#include "settime.h"

namespace varo::utilities {

// What MaintenanceCommands can do, one exchange (or the upload) each after the wake-up.
enum class Verb {
    ReadFirmwareId, // "V"
    ReadTime,       // "t"
    SetTime,        // "+YYMMDDhhmmssW" from the workstation clock and the adjustment
    SwitchMode,     // "|5" collection, "|1" online, "|2" prox dump
    ShowMemory,     // "z"
    ClearMemory,    // "lc", after the asker's Yes
    Restart,        // NUL "X", no reply awaited
    Upload,         // the UploadSession
    WakeUp,         // the wake-up alone (a click on a label that is no button)
};

enum class ReaderMode { Collection, Online, ProxDump };

// One verb and what it needs.
struct MaintenanceStep {
    Verb verb = Verb::ReadFirmwareId;
    TimeAdjustment adjustment{};              // SetTime
    ReaderMode mode = ReaderMode::Collection; // SwitchMode
};

} // namespace varo::utilities
