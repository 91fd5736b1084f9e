#pragma once

#include <QString>

namespace varo {

// A number in the readers' signed form: a blank where a minus sign would stand (" 5", "-3").
inline QString signedNumberText(qint64 value) {
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
}

} // namespace varo
