#include "controltext.h"

#include <array>

namespace varo {

namespace {

// Names of the control bytes 0x00 to 0x1F, as ASCII calls them.
constexpr std::array<const char *, 32> kControlNames = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

} // namespace

const char *controlName(quint8 byte) {
    if (byte < kControlNames.size())
        return kControlNames[byte];
    return byte == 0x7F ? "DEL" : nullptr;
}

QString namedControls(QStringView text, LineBreaks lineBreaks) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == u'\n' && lineBreaks == LineBreaks::Keep) {
            shown += c;
        } else if (const char *name = code < 0x80 ? controlName(quint8(code)) : nullptr) {
            shown += u'<' + QLatin1String(name) + u'>';
        } else if (code >= 0x80 && code <= 0x9F) {
            shown += QStringLiteral("<x%1>").arg(QString::number(int(code), 16).toUpper());
        } else {
            shown += c;
        }
    }
    return shown;
}

} // namespace varo
