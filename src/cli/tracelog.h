#pragma once

namespace varo::cli {

// Sends the wire trace (the "varo.wire" logging category) to stderr, one line per chunk after
// the wall-clock time in milliseconds ("14:02:33.125 "). The lines skip Qt's message log and
// are buffered, written at least every 100 ms and at exit, so a 1 MiB download's tens of
// thousands of lines cost little; other messages keep Qt's handler. Call once, from the main
// thread, with the event loop about to run.
void installTraceLog();

} // namespace varo::cli
