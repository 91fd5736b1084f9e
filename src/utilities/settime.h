#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace varo::utilities {

// The "Add"/"Subtract" choice beside the hours field. With neither chosen the hours are
// subtracted.
enum class Direction { None, Add, Subtract };

// The fields "Set Reader Time" reads at the moment of the click.
struct TimeAdjustment {
    QString hoursText;
    Direction direction = Direction::None;
};

// The largest hour offset "Set Reader Time" accepts.
inline constexpr int kMaxHourOffset = 24;

// The hours field as a number: empty counts as 0; anything but digits has no value.
std::optional<int> parseHourOffset(const QString &hoursText);

// The workstation moment moved by `hours` in the chosen direction. The arithmetic is on the
// wall-clock date and time (no daylight-saving shifts), carrying across days, months and years;
// only date() and time() of the result are meaningful.
QDateTime adjustedMoment(const QDateTime &now, int hours, Direction direction);

// 1 = Monday ... 7 = Sunday.
int weekdayDigit(const QDate &date);

// "+" YYMMDDhhmmss and the weekday digit: "+1003051402335" for Friday 2010-03-05 14:02:33.
QByteArray setTimeCommand(const QDateTime &moment);

} // namespace varo::utilities
