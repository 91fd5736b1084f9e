#pragma once

#include "harness.h"

#include <chrono>

namespace varo::bench {

// How long the link takes to be "Connected" again after its device or peer returns, with
// automatic reconnect on.
struct ReplugTiming {
    double secondsToConnected = 0;     // from the device's return
    std::chrono::milliseconds step{0}; // the back-off step that was due when it returned
};

// Connects to a simulator of its own (TCP on 127.0.0.1, or a pseudo-terminal behind a stable
// symbolic link), unplugs it for `awayMs`, plugs it back and times the reconnect. Throws
// BenchError when the link does not come back.
ReplugTiming reconnectAfterReplug(Transport transport, int awayMs);

// CPU seconds this thread spends in `window` seconds with the Communications screen shown and
// the link disconnected.
double communicationsIdleCpu(double window);

} // namespace varo::bench
