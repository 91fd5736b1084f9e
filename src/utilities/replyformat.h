#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace varo::utilities {

// Reader replies are single-byte text; every byte maps to one character.
QString replyText(const QByteArray &reply);

// The "t" reply YYMMDDhhmmss as "20YY-MM-DD hh:mm:ss". The century is always "20"; bytes
// beyond the twelfth are ignored and a shorter reply gives shorter pieces.
QString formatReaderTime(const QByteArray &reply);

// The "t" reply as a moment (UTC standing for the reader's zone-less wall clock): only twelve
// ASCII digits that form a real date and time in 2000-2099; anything else has no value.
std::optional<QDateTime> parseReaderTime(const QByteArray &reply);

// The "z" reply: three five-character fields, each shown as received (shorter when the
// reply is short).
struct MemoryUsage {
    QString totalSlots;
    QString used;
    QString uploaded;

    bool operator==(const MemoryUsage &) const = default;
};
MemoryUsage splitMemoryUsage(const QByteArray &reply);

} // namespace varo::utilities
