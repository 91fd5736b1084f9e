#include "utilitytexts.h"

#include <QDir>

namespace varo::utilities {

QString signedNumber(qint64 value) {
    return (value < 0 ? QStringLiteral("-") : QStringLiteral(" ")) + QString::number(qAbs(value));
}

QString uploadedText(qint64 count) {
    return QStringLiteral("Transactions uploaded: ") + signedNumber(count);
}

QString completeText(qint64 count) {
    return QStringLiteral("Upload complete, ") + signedNumber(count) +
           QStringLiteral(" transactions received ");
}

QString savedText(qint64 count) {
    return QStringLiteral("Upload stopped, ") + signedNumber(count) +
           QStringLiteral(" transactions saved");
}

QString fileErrorText(const QString &path, const QString &reason) {
    return QStringLiteral("Cannot write the upload file %1:\n%2")
        .arg(QDir::toNativeSeparators(path), reason);
}

QString clockText(const QDateTime &now) {
    return QStringLiteral("Current Date/Time: ") +
           now.toString(QStringLiteral("yyyy-MM-dd  HH:mm:ss"));
}

} // namespace varo::utilities
