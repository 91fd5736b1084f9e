#pragma once

#include "cli/report.h"
#include "cli/request.h"
#include "cli/stoprequest.h"

#include <functional>

namespace varo::cli {

// Runs `request` (never Command::Ports) on its targets, at most request.jobs at once, on the
// caller's event loop. Returns at once. Each target's result goes to `reporter` (add(), and
// progress() while it runs) as that target finishes; `finished` is called exactly once, from
// the event loop and never from inside this call, after the last target has finished or, once
// `stop` was requested, after every open link has ended. One target's failure never stops the
// others. `reporter` and `stop` outlive the run.
void runCommand(const Request &request, Reporter &reporter, StopRequest &stop,
                std::function<void()> finished);

} // namespace varo::cli
