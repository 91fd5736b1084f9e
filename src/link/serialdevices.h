#pragma once

#include "connectfailure.h"

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
    QString usbPort;      // where it is plugged in ("1-2.4:1.0"); empty when not known
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
// The present device at `path` (a symbolic link is followed); empty fields when absent.
DetectedDevice deviceAt(const QString &path);

// Which device an automatic reconnect opens. The device is the one the link opened only when the
// USB serial number is the same AND either the path or the USB port is the same: cheap adapters
// share one serial number, and a serial number alone could bring the link back to another
// reader. Without a serial number the path decides, unless a device there now has one.
struct ReconnectChoice {
    QString path;    // the device to open; empty: open nothing now
    QString refusal; // non-empty: the choice is ambiguous and is left to the user, with why
};
ReconnectChoice chooseReconnectDevice(const DetectedDevice &original,
                                      const QList<DetectedDevice> &present);

// Why `path` could not be opened, in words a technician acts on: permission (see
// permissionHint()), busy (another program holds it), not found (with the devices that exist),
// or Qt's own text for anything else.
QString explainSerialOpenError(const QString &path, QSerialPort::SerialPortError error,
                               const QString &systemText);
// The kind of the same failure, told the same way as the message.
ConnectFailure serialOpenFailure(const QString &path, QSerialPort::SerialPortError error);

// The group that owns the device node at `path`; empty when it cannot be read.
QString deviceGroup(const QString &path);

// The groups meant for serial devices, whose members may open them ("dialout", "uucp").
bool isSerialDeviceGroup(const QString &group);
// Why `path` may not be opened: with a group meant for serial devices, the command that adds the
// user to it; otherwise (root, tty, shadow, ...) the node's owner, group and mode and the README
// section on device access, never a command that would give the user that group's rights.
QString permissionHint(const QString &path, const QString &owner, const QString &group, uint mode);

} // namespace varo::link
