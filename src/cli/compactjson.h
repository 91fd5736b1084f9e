#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QStringView>

namespace varo::cli {

// `object` as one line of compact JSON, byte for byte what QJsonDocument::toJson(Compact)
// writes (keys in order, the same escapes and numbers), written straight from the values:
// Qt's writer converts the whole object to CBOR first, which made a stream of a thousand
// result lines cost more than the run that produced them.
QByteArray compactJson(const QJsonObject &object);

// Pieces of the same writer, for lines built straight from their fields.
void appendJsonString(QByteArray &out, QStringView text);
void appendJsonDouble(QByteArray &out, double number);
void appendJsonObject(QByteArray &out, const QJsonObject &object);

} // namespace varo::cli
