#include "replyformat.h"

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

MemoryUsage splitMemoryUsage(const QByteArray &reply) {
    return {piece(reply, 0, 5), piece(reply, 5, 5), piece(reply, 10, 5)};
}

} // namespace varo::utilities
