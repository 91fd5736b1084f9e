#include "loaderformat.h"

#include <QDir>

namespace varo::flash {

quint8 blockChecksum(QByteArrayView data) {
    quint8 sum = 0;
    for (const char byte : data)
        sum ^= quint8(byte);
    return sum;
}

QByteArray downloadDate(QDate date) {
    return QStringLiteral("%1%2%3")
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(date.year(), 4, 10, QLatin1Char('0'))
        .toLatin1();
}

QString progressText(qint64 acknowledged, qint64 total) {
    const qint64 percent = total > 0 ? acknowledged * 100 / total : 0;
    return QStringLiteral("Downloading - %1 % complete").arg(percent, 2, 10, QLatin1Char('0'));
}

QString failureText(const QString &error, std::optional<int> errorCode) {
    if (!errorCode)
        return error;
    return QStringLiteral("%1, error code %2").arg(error).arg(*errorCode);
}

QString fileErrorText(const QString &path, const QString &reason) {
    return QStringLiteral("Cannot read %1\n%2").arg(QDir::toNativeSeparators(path), reason);
}

} // namespace varo::flash
