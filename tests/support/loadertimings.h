#pragma once

#include "flash/loadertimings.h"

#include <chrono>

// Loader waits short enough for tests: `reply` for every answer the loader awaits ("TK", "YK",
// "K", "B"), `pause` for each pause while the reader switches to its loader.
inline varo::flash::LoaderTimings
testLoaderTimings(std::chrono::milliseconds reply,
                  std::chrono::milliseconds pause = std::chrono::milliseconds(10)) {
    varo::flash::LoaderTimings timings;
    timings.replyTimeout = timings.boot2ReadyTimeout = reply;
    timings.tcpEntryPause = timings.serialEntryPause = timings.boot2SerialEntryPause = pause;
    return timings;
}
