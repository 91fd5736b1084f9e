#include "replyformat.h"

#include <algorithm>

namespace varo::utilities {

namespace {

// Like BASIC's Mid$: a piece past the end is empty, one that runs over is cut short.
QString piece(const QByteArray &reply, qsizetype from, qsizetype length) {
    return replyText(reply.mid(from, length));
}

} // namespace

QString replyText(const QByteArray &reply) {
    return QString::fromLatin1(reply);
}

QString formatReaderTime(const QByteArray &reply) {
    return QStringLiteral("20") + piece(reply, 0, 2) + u'-' + piece(reply, 2, 2) + u'-' +
           piece(reply, 4, 2) + u' ' + piece(reply, 6, 2) + u':' + piece(reply, 8, 2) + u':' +
           piece(reply, 10, 2);
}

std::optional<QDateTime> parseReaderTime(const QByteArray &reply) {
    constexpr qsizetype kDigits = 12;
    if (reply.size() != kDigits ||
        !std::all_of(reply.begin(), reply.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const auto two = [&reply](qsizetype at) { return reply.mid(at, 2).toInt(); };
    const QDate date(2000 + two(0), two(2), two(4));
    const QTime time(two(6), two(8), two(10));
    if (!date.isValid() || !time.isValid()) {
        return std::nullopt;
    }
    return QDateTime(date, time, Qt::UTC);
}

MemoryUsage splitMemoryUsage(const QByteArray &reply) {
    return {piece(reply, 0, 5), piece(reply, 5, 5), piece(reply, 10, 5)};
}

} // namespace varo::utilities
