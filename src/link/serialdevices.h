#pragma once

#include <QList>
#include <QSerialPort>
#include <QString>

namespace varo::link {

// A serial device the system has now.
struct DetectedDevice {
    // The name to open: the stable "/dev/serial/by-id/usb-FTDI_..." name of a USB device
    // where the system gives one (it stays when ttyUSB0 comes back as ttyUSB1), else the
    // system's name ("/dev/ttyS0").
    QString path;
    QString description;  // "FT232R USB UART"
    QString manufacturer; // "FTDI"
    QString usbId;        // "0403:6001"; empty when not a USB device
    QString serialNumber; // the USB serial number; empty when unknown
    QString systemPath;   // the system's name, "/dev/ttyUSB0"

    bool operator==(const DetectedDevice &) const = default;
};

// The serial devices present now, sorted by path. Asks the system once per call; nothing polls.
QList<DetectedDevice> detectedDevices();

// Where the system keeps the stable names of serial devices.
inline const QString kStableDeviceFolder = QStringLiteral("/dev/serial/by-id");
// The stable name in `folder` that leads to the device at `path`; empty when there is none.
QString stableDevicePath(const QString &path, const QString &folder = kStableDeviceFolder);

// The USB serial number of the device at `path` (a symbolic link is followed); empty when the
// device is absent or has none.
QString serialNumberOfDevice(const QString &path);
// The path of the present device with USB serial number `serialNumber`; empty when none.
QString deviceWithSerialNumber(const QString &serialNumber);

// Why `path` could not be opened, in words a technician acts on: permission (with the device's
// group and the command that adds the user to it), busy (another program holds it), not found
// (with the devices that exist), or Qt's own text for anything else.
QString explainSerialOpenError(const QString &path, QSerialPort::SerialPortError error,
                               const QString &systemText);

// The group that owns the device node at `path`; empty when it cannot be read.
QString deviceGroup(const QString &path);

} // namespace varo::link
