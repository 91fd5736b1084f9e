#include "cli/serialdevices.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSerialPortInfo>
#include <QStringList>

#include <algorithm>

namespace varo::cli {

QList<SerialDevice> detectedSerialDevices() {
    QList<SerialDevice> devices;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        SerialDevice device;
        device.path = info.systemLocation();
        device.description = info.description();
        device.manufacturer = info.manufacturer();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            device.usbId = QStringLiteral("%1:%2")
                               .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                               .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
        }
        device.serialNumber = info.serialNumber();
        devices.append(device);
    }
    std::sort(devices.begin(), devices.end(),
              [](const SerialDevice &a, const SerialDevice &b) { return a.path < b.path; });
    return devices;
}

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
