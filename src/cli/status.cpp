#include "cli/status.h"

namespace varo::cli {

QString statusName(Status status) {
    switch (status) {
    case Status::Ok:
        return QStringLiteral("ok");
    case Status::Changed:
        return QStringLiteral("changed");
    case Status::Unreachable:
        return QStringLiteral("unreachable");
    case Status::Failed:
        return QStringLiteral("failed");
    case Status::Skipped:
        return QStringLiteral("skipped");
    case Status::Interrupted:
        return QStringLiteral("interrupted");
    }
    return QStringLiteral("failed");
}

} // namespace varo::cli
