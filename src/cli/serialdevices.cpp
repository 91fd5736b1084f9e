#include "cli/serialdevices.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

namespace varo::cli {

QString formatSerialDevices(const QList<SerialDevice> &devices) {
    if (devices.isEmpty()) {
        return QStringLiteral("No serial devices found.\n");
    }
    const auto orDash = [](const QString &text) {
        return text.trimmed().isEmpty() ? QStringLiteral("-") : text.simplified();
    };
    QString text;
    for (const SerialDevice &device : devices) {
        text += QStringList{device.path, orDash(device.description), orDash(device.manufacturer),
                            orDash(device.usbId), orDash(device.serialNumber)}
                    .join(QStringLiteral("  ")) +
                QLatin1Char('\n');
    }
    return text;
}

QJsonDocument serialDevicesJson(const QList<SerialDevice> &devices) {
    QJsonArray list;
    for (const SerialDevice &device : devices) {
        list.append(QJsonObject{{QStringLiteral("path"), device.path},
                                {QStringLiteral("description"), device.description},
                                {QStringLiteral("manufacturer"), device.manufacturer},
                                {QStringLiteral("usbId"), device.usbId},
                                {QStringLiteral("serialNumber"), device.serialNumber}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("devices"), list}});
}

} // namespace varo::cli
