#include "wiretrace.h"

#include <algorithm>
#include <array>

namespace varo::link {

Q_LOGGING_CATEGORY(lcWire, "varo.wire", QtWarningMsg)

namespace {

// Names of the control bytes 0x00 to 0x1F, as ASCII calls them.
constexpr std::array<const char *, 32> kControlNames = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

} // namespace

QString directionText(WireDirection direction) {
    return direction == WireDirection::ToReader ? QStringLiteral("to reader")
                                                : QStringLiteral("from reader");
}

QString wireHex(const QByteArray &bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString wirePrintable(const QByteArray &bytes) {
    // Built as Latin-1 in one buffer: a traced download formats every byte it sends, so this
    // costs a few instructions a byte and one allocation a chunk.
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    constexpr qsizetype kLongestName = 5; // "<NUL>", "<x80>"
    QByteArray text(bytes.size() * kLongestName, Qt::Uninitialized);
    char *out = text.data();
    for (const char c : bytes) {
        const auto byte = static_cast<quint8>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            *out++ = c;
            continue;
        }
        *out++ = '<';
        if (byte < kControlNames.size()) {
            for (const char *name = kControlNames[byte]; *name; ++name)
                *out++ = *name;
        } else if (byte == 0x7F) {
            out = std::copy_n("DEL", 3, out);
        } else {
            *out++ = 'x';
            *out++ = kHexDigits[byte >> 4];
            *out++ = kHexDigits[byte & 0x0F];
        }
        *out++ = '>';
    }
    text.truncate(out - text.constData());
    return QString::fromLatin1(text);
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
