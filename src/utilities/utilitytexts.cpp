#include "utilitytexts.h"

#include "common/controltext.h"
#include "common/numbertext.h"

#include <QDir>

namespace varo::utilities {

QString uploadedText(qint64 count) {
    return QStringLiteral("Transactions uploaded: ") + signedNumberText(count);
}

QString completeText(qint64 count) {
    return QStringLiteral("Upload complete, ") + signedNumberText(count) +
           QStringLiteral(" transactions received ");
}

QString savedText(qint64 count) {
    return QStringLiteral("Upload stopped, ") + signedNumberText(count) +
           QStringLiteral(" transactions saved");
}

QString notSavedText(qint64 count) {
    return QStringLiteral("Upload file not saved: ") + signedNumberText(count) +
           QStringLiteral(" transactions received, none known to be safe on the disk");
}

QString tooManyRecordsText(qint64 limit) {
    return QStringLiteral("Upload stopped: the reader sent more than %1 records, more than a "
                          "reader holds; %1 transactions saved")
        .arg(limit);
}

QString fileErrorText(const QString &path, const QString &reason) {
    return QStringLiteral("Cannot write the upload file %1:\n%2")
        .arg(namedControls(QDir::toNativeSeparators(path)), reason);
}

QString clockText(const QDateTime &now) {
    return QStringLiteral("Current Date/Time: ") +
           now.toString(QStringLiteral("yyyy-MM-dd  HH:mm:ss"));
}

} // namespace varo::utilities
