#include "fieldkeys.h"

#include <QRegularExpression>

namespace varo::config {

QString symbologyField(const char *symbology, const char *column) {
    return QStringLiteral("barcode.%1.%2").arg(QLatin1String(symbology), QLatin1String(column));
}

QString affixField(const char *symbology, const char *affix, int character) {
    return QStringLiteral("barcode.%1.%2.%3")
        .arg(QLatin1String(symbology), QLatin1String(affix))
        .arg(character);
}

QString maskRowField(SetupScreen screen, int mask, int row, const char *column) {
    return QStringLiteral("%1.mask%2.row%3.%4")
        .arg(screenName(screen))
        .arg(mask)
        .arg(row)
        .arg(QLatin1String(column));
}

QStringList fieldsMatching(const QString &pattern, FieldKind kind) {
    const QRegularExpression matcher(QRegularExpression::wildcardToRegularExpression(pattern));
    QStringList fields;
    for (const FieldInfo &info : fieldCatalog()) {
        if (info.kind == kind && matcher.match(info.key).hasMatch())
            fields.append(info.key);
    }
    Q_ASSERT_X(!fields.isEmpty(), "fieldsMatching", qPrintable(pattern));
    return fields;
}

} // namespace varo::config
