#include "cli/filelimit.h"

#include "common/openfiles.h"

#include <algorithm>

namespace varo::cli {

LinkBudget linkBudget(int wanted, qint64 limit) {
    if (limit < 0 || wanted + kFilesBesideLinks <= limit)
        return {wanted, {}};
    const int fit = int(std::max<qint64>(1, limit - kFilesBesideLinks));
    return {fit, QStringLiteral("varo-cli: this system lets a process open %1 files (ulimit -n); "
                                "working on %2 readers at once instead of %3.")
                     .arg(limit)
                     .arg(fit)
                     .arg(wanted)};
}

LinkBudget fitLinksToFileLimit(int wanted) {
    return linkBudget(wanted, common::raiseOpenFileLimit(qint64(wanted) + kFilesBesideLinks));
}

} // namespace varo::cli
