#include "wiretrace.h"

#include "common/controltext.h"

#include <algorithm>
#include <array>

namespace varo::link {

Q_LOGGING_CATEGORY(lcWire, "varo.wire", QtWarningMsg)

QString directionText(WireDirection direction) {
    return direction == WireDirection::ToReader ? QStringLiteral("to reader")
                                                : QStringLiteral("from reader");
}

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr qsizetype kLongestName = 5; // "<NUL>", "<x80>"

// Writes the printable form of `bytes` at `out` (at most kLongestName a byte) and returns the
// end. A traced download formats every byte it sends, so this costs a few instructions a byte.
char *putPrintable(const QByteArray &bytes, char *out) {
    for (const char c : bytes) {
        const auto byte = static_cast<quint8>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            *out++ = c;
            continue;
        }
        *out++ = '<';
        if (const char *name = controlName(byte)) {
            for (; *name; ++name)
                *out++ = *name;
        } else {
            *out++ = 'x';
            *out++ = kHexDigits[byte >> 4];
            *out++ = kHexDigits[byte & 0x0F];
        }
        *out++ = '>';
    }
    return out;
}

// "0D 0A 41" at `out`; returns the end.
char *putHex(const QByteArray &bytes, char *out) {
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<quint8>(bytes[i]);
        if (i > 0)
            *out++ = ' ';
        *out++ = kHexDigits[byte >> 4];
        *out++ = kHexDigits[byte & 0x0F];
    }
    return out;
}

// `value` right-aligned in `width` characters, at `out`; returns the end.
char *putNumber(qint64 value, int width, char *out) {
    char digits[24];
    int count = 0;
    const bool negative = value < 0;
    quint64 rest = negative ? quint64(-(value + 1)) + 1 : quint64(value);
    do {
        digits[count++] = char('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (negative)
        digits[count++] = '-';
    for (int pad = width - count; pad > 0; --pad)
        *out++ = ' ';
    while (count > 0)
        *out++ = digits[--count];
    return out;
}

} // namespace

QString wireHex(const QByteArray &bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString wirePrintable(const QByteArray &bytes) {
    QByteArray text(bytes.size() * kLongestName, Qt::Uninitialized);
    text.truncate(putPrintable(bytes, text.data()) - text.constData());
    return QString::fromLatin1(text);
}

void appendWireLogLine(QByteArray &line, const WireChunk &chunk, const QString &source) {
    if (!source.isEmpty()) {
        line += source.toUtf8();
        line += "  ";
    }
    // The time and direction columns, "    12.345 ms  to reader    ", built without the
    // locale: milliseconds with three decimals, rounded to the microsecond.
    const qint64 us =
        chunk.elapsedNs >= 0 ? (chunk.elapsedNs + 500) / 1000 : chunk.elapsedNs / 1000;
    char head[64];
    char *at = putNumber(us / 1000, 6, head);
    *at++ = '.';
    const qint64 fraction = us % 1000 < 0 ? -(us % 1000) : us % 1000;
    *at++ = char('0' + fraction / 100);
    *at++ = char('0' + fraction / 10 % 10);
    *at++ = char('0' + fraction % 10);
    at = std::copy_n(chunk.direction == WireDirection::ToReader ? " ms  to reader    "
                                                                : " ms  from reader  ",
                     18, at);
    line.append(head, at - head);
    if (!chunk.operation.isEmpty()) {
        line += '[';
        line += chunk.operation.toUtf8();
        line += "]  ";
    }
    // Length, hex and printable text written straight into the line.
    const qsizetype size = chunk.bytes.size();
    const qsizetype start = line.size();
    line.resize(start + 32 + size * (3 + kLongestName));
    char *out = putNumber(size, 0, line.data() + start);
    out = std::copy_n(" bytes  ", 8, out);
    out = putHex(chunk.bytes, out);
    *out++ = ' ';
    *out++ = ' ';
    out = putPrintable(chunk.bytes, out);
    line.truncate(out - line.constData());
}

QString wireLogLine(const WireChunk &chunk, const QString &source) {
    QByteArray line;
    appendWireLogLine(line, chunk, source);
    return QString::fromUtf8(line);
}

namespace {
WireLogSink g_wireLogSink = nullptr;
} // namespace

void setWireLogSink(WireLogSink sink) {
    g_wireLogSink = sink;
}

WireLogSink wireLogSink() {
    return g_wireLogSink;
}

} // namespace varo::link
