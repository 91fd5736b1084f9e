#include "cli/compactjson.h"

#include <QJsonArray>
#include <QLocale>
#include <QMetaType>
#include <QVariant>

#include <cmath>

namespace varo::cli {

namespace {

void appendValue(QByteArray &out, const QJsonValue &value);

void appendString(QByteArray &out, QStringView text) {
    constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    qsizetype runStart = -1; // start of a run of characters outside ASCII
    const auto endRun = [&](qsizetype at) {
        if (runStart >= 0) {
            out += text.sliced(runStart, at - runStart).toUtf8();
            runStart = -1;
        }
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u >= 0x80) {
            if (runStart < 0)
                runStart = i;
            continue;
        }
        endRun(i);
        if (u >= 0x20 && u != u'"' && u != u'\\') {
            out += char(u);
            continue;
        }
        out += '\\';
        switch (u) {
        case u'"':
            out += '"';
            break;
        case u'\\':
            out += '\\';
            break;
        case u'\b':
            out += 'b';
            break;
        case u'\f':
            out += 'f';
            break;
        case u'\n':
            out += 'n';
            break;
        case u'\r':
            out += 'r';
            break;
        case u'\t':
            out += 't';
            break;
        default:
            out += "u00";
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        }
    }
    endRun(text.size());
    out += '"';
}

void appendNumber(QByteArray &out, const QJsonValue &value) {
    // Whole numbers made from integers print as integers; doubles print shortest, as Qt does.
    const QVariant variant = value.toVariant();
    if (variant.typeId() == QMetaType::LongLong) {
        out += QByteArray::number(variant.toLongLong());
        return;
    }
    const double number = value.toDouble();
    if (std::isfinite(number))
        out += QByteArray::number(number, 'g', QLocale::FloatingPointShortest);
    else
        out += "null";
}

void appendObject(QByteArray &out, const QJsonObject &object) {
    out += '{';
    bool first = true;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!first)
            out += ',';
        first = false;
        appendString(out, it.key());
        out += ':';
        appendValue(out, it.value());
    }
    out += '}';
}

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
        appendString(out, value.toString());
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
        appendObject(out, value.toObject());
        break;
    }
}

} // namespace

QByteArray compactJson(const QJsonObject &object) {
    QByteArray out;
    out.reserve(512);
    appendObject(out, object);
    return out;
}

} // namespace varo::cli
