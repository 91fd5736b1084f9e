#include "settime.h"

namespace varo::utilities {

std::optional<int> parseHourOffset(const QString &hoursText) {
    if (hoursText.isEmpty())
        return 0;
    for (const QChar c : hoursText) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const int hours = hoursText.toInt(&ok);
    if (!ok)
        return std::nullopt;
    return hours;
}

QDateTime adjustedMoment(const QDateTime &now, int hours, Direction direction) {
    // Kept in UTC so that no zone rule moves a wall-clock time that falls into a DST gap.
    const QDateTime wall(now.date(), now.time(), Qt::UTC);
    if (hours == 0)
        return wall;
    const qint64 seconds = qint64(hours) * 3600 * (direction == Direction::Add ? 1 : -1);
    return wall.addSecs(seconds);
}

int weekdayDigit(const QDate &date) {
    return date.dayOfWeek();
}

QByteArray setTimeCommand(const QDateTime &moment) {
    const QString digits = moment.date().toString(QStringLiteral("yyyyMMdd")).mid(2) +
                           moment.time().toString(QStringLiteral("HHmmss")) +
                           QString::number(weekdayDigit(moment.date()));
    return '+' + digits.toLatin1();
}

} // namespace varo::utilities
