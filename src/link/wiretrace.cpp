#include "wiretrace.h"

#include "common/controltext.h"

namespace varo::link {

Q_LOGGING_CATEGORY(lcWire, "varo.wire", QtWarningMsg)

QString directionText(WireDirection direction) {
    return direction == WireDirection::ToReader ? QStringLiteral("to reader")
                                                : QStringLiteral("from reader");
}

QString wireHex(const QByteArray &bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString wirePrintable(const QByteArray &bytes) {
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<quint8>(c);
        if (const char *name = controlName(byte))
            text += u'<' + QLatin1String(name) + u'>';
        else if (byte > 0x7F)
            text += QStringLiteral("<x%1>").arg(
                QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0')));
        else
            text += QLatin1Char(c);
    }
    return text;
}

QString wireLogLine(const WireChunk &chunk, const QString &source) {
    QString line;
    if (!source.isEmpty())
        line += source + QStringLiteral("  ");
    line += QStringLiteral("%1 ms  %2  ")
                .arg(double(chunk.elapsedNs) / 1e6, 10, 'f', 3)
                .arg(directionText(chunk.direction), -11);
    if (!chunk.operation.isEmpty())
        line += u'[' + chunk.operation + QStringLiteral("]  ");
    line += QStringLiteral("%1 bytes  %2  %3")
                .arg(chunk.bytes.size())
                .arg(wireHex(chunk.bytes), wirePrintable(chunk.bytes));
    return line;
}

} // namespace varo::link
