#include "cli/compactjson.h"

#include <QJsonArray>
#include <QLocale>
#include <QMetaType>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace varo::cli {

namespace {

void appendValue(QByteArray &out, const QJsonValue &value);

} // namespace

void appendJsonString(QByteArray &out, QStringView text) {
    constexpr char kHex[] = "0123456789abcdef";
    // Room for the worst ASCII case (\u00XX); text outside ASCII goes through toUtf8().
    const qsizetype start = out.size();
    out.resize(start + 2 + 6 * text.size());
    char *at = out.data() + start;
    *at++ = '"';
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u >= 0x80) {
            qsizetype end = i + 1;
            while (end < text.size() && text[end].unicode() >= 0x80)
                ++end;
            const QByteArray utf8 = text.sliced(i, end - i).toUtf8();
            const qsizetype written = at - out.constData();
            out.resize(written + utf8.size() + 2 + 6 * (text.size() - end));
            at = std::copy(utf8.cbegin(), utf8.cend(), out.data() + written);
            i = end - 1;
            continue;
        }
        if (u >= 0x20 && u != u'"' && u != u'\\') {
            *at++ = char(u);
            continue;
        }
        *at++ = '\\';
        switch (u) {
        case u'"':
            *at++ = '"';
            break;
        case u'\\':
            *at++ = '\\';
            break;
        case u'\b':
            *at++ = 'b';
            break;
        case u'\f':
            *at++ = 'f';
            break;
        case u'\n':
            *at++ = 'n';
            break;
        case u'\r':
            *at++ = 'r';
            break;
        case u'\t':
            *at++ = 't';
            break;
        default:
            *at++ = 'u';
            *at++ = '0';
            *at++ = '0';
            *at++ = kHex[u >> 4];
            *at++ = kHex[u & 0xF];
        }
    }
    *at++ = '"';
    out.truncate(at - out.constData());
}

void appendJsonDouble(QByteArray &out, double number) {
    if (std::isfinite(number))
        out += QByteArray::number(number, 'g', QLocale::FloatingPointShortest);
    else
        out += "null";
}

namespace {

void appendNumber(QByteArray &out, const QJsonValue &value) {
    // Whole numbers made from integers print as integers; doubles print shortest, as Qt does.
    const QVariant variant = value.toVariant();
    if (variant.typeId() == QMetaType::LongLong) {
        out += QByteArray::number(variant.toLongLong());
        return;
    }
    appendJsonDouble(out, value.toDouble());
}

} // namespace

void appendJsonObject(QByteArray &out, const QJsonObject &object) {
    out += '{';
    bool first = true;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!first)
            out += ',';
        first = false;
        appendJsonString(out, it.key());
        out += ':';
        appendValue(out, it.value());
    }
    out += '}';
}

namespace {

void appendValue(QByteArray &out, const QJsonValue &value) {
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        out += "null";
        break;
    case QJsonValue::Bool:
        out += value.toBool() ? "true" : "false";
        break;
    case QJsonValue::Double:
        appendNumber(out, value);
        break;
    case QJsonValue::String:
        appendJsonString(out, value.toString());
        break;
    case QJsonValue::Array: {
        out += '[';
        bool first = true;
        for (const QJsonValue &item : value.toArray()) {
            if (!first)
                out += ',';
            first = false;
            appendValue(out, item);
        }
        out += ']';
        break;
    }
    case QJsonValue::Object:
        appendJsonObject(out, value.toObject());
        break;
    }
}

} // namespace

QByteArray compactJson(const QJsonObject &object) {
    QByteArray out;
    out.reserve(512);
    appendJsonObject(out, object);
    return out;
}

} // namespace varo::cli
