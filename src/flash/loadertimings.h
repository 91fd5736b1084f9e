#pragma once

#include <chrono>

namespace varo::flash {

// Every wait of the firmware loader. Tests shorten them; the product keeps these values.
struct LoaderTimings {
    // Each "TK", "K" and "B" the loader owes.
    std::chrono::milliseconds replyTimeout{10000};
    // "YK" of the bootloader extension loader on a serial link.
    std::chrono::milliseconds boot2ReadyTimeout{7000};
    // Pauses after the entry sequence, while the reader switches to its loader.
    std::chrono::milliseconds tcpEntryPause{3000};
    std::chrono::milliseconds serialEntryPause{2000};
    std::chrono::milliseconds boot2SerialEntryPause{1000};
};

} // namespace varo::flash
