#pragma once

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace varo::common {

// The open-file limits of this process: `soft` is what applies, `hard` the most it may be
// raised to. Both are -1 where unlimited or unknown.
struct OpenFileLimit {
    qint64 soft = -1;
    qint64 hard = -1;
};

inline OpenFileLimit openFileLimit() {
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return {};
    const auto value = [](rlim_t v) { return v == RLIM_INFINITY ? qint64(-1) : qint64(v); };
    return {value(limit.rlim_cur), value(limit.rlim_max)};
#else
    return {};
#endif
}

// Raises the soft open-file limit towards the hard one when fewer than `needed` descriptors
// may be open: to the hard limit, or to `needed` where the hard limit is unlimited. Returns
// the soft limit that applies afterwards (-1: unlimited).
inline qint64 raiseOpenFileLimit(qint64 needed) {
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= rlim_t(needed))
        return limit.rlim_cur == RLIM_INFINITY ? -1 : qint64(limit.rlim_cur);
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? rlim_t(needed) : limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) != 0)
        return qint64(limit.rlim_cur);
    return qint64(raised.rlim_cur);
#else
    Q_UNUSED(needed);
    return -1;
#endif
}

} // namespace varo::common
