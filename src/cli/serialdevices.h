#pragma once

#include "link/serialdevices.h"

#include <QJsonDocument>
#include <QList>
#include <QString>

namespace varo::cli {

// A serial device the system has now, as the ports command lists it (the link's catalogue).
using SerialDevice = link::DetectedDevice;

inline QList<SerialDevice> detectedSerialDevices() {
    return link::detectedDevices();
}
// One line per device: path, description, manufacturer, vid:pid, serial ("-" when unknown);
// "No serial devices found." for none.
QString formatSerialDevices(const QList<SerialDevice> &devices);
// {"devices": [{"path", "description", "manufacturer", "usbId", "serialNumber"}]}
QJsonDocument serialDevicesJson(const QList<SerialDevice> &devices);

} // namespace varo::cli
