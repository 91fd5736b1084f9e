#pragma once

#include <QJsonDocument>
#include <QList>
#include <QString>

namespace varo::cli {

// A serial device the system has now, as the ports command lists it.
struct SerialDevice {
    QString path;
    QString description;
    QString manufacturer;
    QString usbId; // "0403:6001"; empty when not a USB device
    QString serialNumber;
};

QList<SerialDevice> detectedSerialDevices(); // sorted by path
// One line per device: path, description, manufacturer, vid:pid, serial ("-" when unknown);
// "No serial devices found." for none.
QString formatSerialDevices(const QList<SerialDevice> &devices);
// {"devices": [{"path", "description", "manufacturer", "usbId", "serialNumber"}]}
QJsonDocument serialDevicesJson(const QList<SerialDevice> &devices);

} // namespace varo::cli
