#pragma once

#include <QString>
#include <QtGlobal>

namespace varo::cli {

// Descriptors varo-cli holds besides its links: standard streams, the event loop, the signal
// pair, the trace and report files.
constexpr int kFilesBesideLinks = 32;

// How many links a run may have open at once under an open-file limit.
struct LinkBudget {
    int links = 0;  // links open at once: the wanted number, or fewer where the limit is too low
    QString notice; // for the user when fewer than wanted fit; empty otherwise
};

// The links that fit when `wanted` are asked for and at most `limit` files may be open
// (-1: unlimited). Pure; see fitLinksToFileLimit() for the process's own limit.
LinkBudget linkBudget(int wanted, qint64 limit);

// Raises this process's open-file limit to the hard limit when `wanted` links need more than
// it allows now, and returns what fits then.
LinkBudget fitLinksToFileLimit(int wanted);

} // namespace varo::cli
