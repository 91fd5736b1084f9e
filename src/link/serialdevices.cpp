#include "serialdevices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QStringList>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace varo::link {

namespace {

QString canonical(const QString &path) {
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
}

// The USB interface the tty hangs off, from the device's place in sysfs
// (".../usb1/1-2/1-2.4/1-2.4:1.0/ttyUSB0" gives "1-2.4:1.0"); empty for other devices.
QString usbPortOf(const QString &path) {
#ifdef Q_OS_LINUX
    const QString name = QFileInfo(canonical(path)).fileName();
    const QString place =
        QFileInfo(QStringLiteral("/sys/class/tty/%1/device").arg(name)).canonicalFilePath();
    static const QRegularExpression kInterface(QStringLiteral("^\\d+-[\\d.]+:\\d+\\.\\d+$"));
    const QStringList parts = place.split(u'/', Qt::SkipEmptyParts);
    for (auto it = parts.crbegin(); it != parts.crend(); ++it) {
        if (kInterface.match(*it).hasMatch())
            return *it;
    }
#else
    Q_UNUSED(path);
#endif
    return {};
}

QString usbIdOf(const QSerialPortInfo &info) {
    if (!info.hasVendorIdentifier() || !info.hasProductIdentifier())
        return {};
    return QStringLiteral("%1:%2")
        .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
        .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
}

// Whether this process may read and write `path` (effective ids and capabilities).
bool mayReadWrite(const QString &path) {
#ifdef Q_OS_UNIX
    const QByteArray local = QFile::encodeName(path);
    return faccessat(AT_FDCWD, local.constData(), R_OK | W_OK, AT_EACCESS) == 0;
#else
    Q_UNUSED(path);
    return true;
#endif
}

QString presentDevicesText() {
    QStringList paths;
    for (const DetectedDevice &device : detectedDevices())
        paths << device.path;
    if (paths.isEmpty())
        return QStringLiteral("No serial devices are present: check the cable or adapter.");
    return QStringLiteral("Devices present: ") + paths.join(QStringLiteral(", ")) +
           QLatin1Char('.');
}

} // namespace

QString stableDevicePath(const QString &path, const QString &folder) {
    const QString target = canonical(path);
    const QFileInfoList names = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &name : names) {
        if (name.isSymLink() && name.canonicalFilePath() == target)
            return name.absoluteFilePath();
    }
    return {};
}

QList<DetectedDevice> detectedDevices() {
    QList<DetectedDevice> devices;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        const QString systemPath = info.systemLocation();
        const QString stable = stableDevicePath(systemPath);
        devices.append({stable.isEmpty() ? systemPath : stable, info.description(),
                        info.manufacturer(), usbIdOf(info), info.serialNumber(),
                        usbPortOf(systemPath), systemPath});
    }
    std::sort(devices.begin(), devices.end(),
              [](const DetectedDevice &a, const DetectedDevice &b) { return a.path < b.path; });
    return devices;
}

DetectedDevice deviceAt(const QString &path) {
    const QString target = canonical(path);
    for (const DetectedDevice &device : detectedDevices()) {
        if (canonical(device.path) == target)
            return device;
    }
    return {};
}

QString serialNumberOfDevice(const QString &path) {
    return deviceAt(path).serialNumber;
}

ReconnectChoice chooseReconnectDevice(const DetectedDevice &original,
                                      const QList<DetectedDevice> &present) {
    const auto samePath = [&](const DetectedDevice &d) { return d.path == original.path; };
    const auto samePort = [&](const DetectedDevice &d) {
        return !original.usbPort.isEmpty() && d.usbPort == original.usbPort;
    };
    if (original.serialNumber.isEmpty()) {
        for (const DetectedDevice &d : present) {
            // Another device now at the path, known by a serial number or another USB port.
            if (samePath(d) &&
                (!d.serialNumber.isEmpty() || (!original.usbPort.isEmpty() && !samePort(d))))
                return {};
        }
        // Also a path the system does not list (a pseudo-terminal, a link): it is tried.
        return {original.path, {}};
    }
    QList<const DetectedDevice *> matches;
    for (const DetectedDevice &d : present) {
        if (d.serialNumber != original.serialNumber)
            continue;
        if (samePath(d) && (original.usbPort.isEmpty() || samePort(d)))
            return {d.path, {}}; // the very device: same path and port
        if (samePath(d) || samePort(d))
            matches << &d;
    }
    if (matches.size() == 1)
        return {matches.first()->path, {}};
    if (matches.size() > 1) {
        QStringList paths;
        for (const DetectedDevice *d : std::as_const(matches))
            paths << d->path;
        return {{},
                QStringLiteral("Not reconnected: %1 devices with USB serial number \"%2\" could "
                               "be the reader (%3). Choose the device and connect again.")
                    .arg(matches.size())
                    .arg(original.serialNumber, paths.join(QStringLiteral(", ")))};
    }
    return {};
}

QString deviceGroup(const QString &path) {
#ifndef Q_OS_UNIX
    Q_UNUSED(path);
    return {};
#else
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    if (const group *owner = ::getgrgid(info.st_gid))
        return QString::fromLocal8Bit(owner->gr_name);
    return QString::number(info.st_gid);
#endif
}

bool isSerialDeviceGroup(const QString &group) {
    return group == QLatin1String("dialout") || group == QLatin1String("uucp");
}

QString permissionHint(const QString &path, const QString &owner, const QString &group, uint mode) {
    if (isSerialDeviceGroup(group)) {
        return QStringLiteral("Permission denied on %1: the device belongs to group \"%2\". "
                              "Add your user to it with: sudo adduser $USER %2 "
                              "(then log out and in again).")
            .arg(path, group);
    }
    return QStringLiteral("Permission denied on %1: it belongs to user \"%2\" and group \"%3\" "
                          "with mode %4, which is not a group for serial devices. See \"Device "
                          "access\" in the README.")
        .arg(path, owner, group,
             QString::number(mode & 07777, 8).rightJustified(4, QLatin1Char('0')));
}

QString explainSerialOpenError(const QString &path, QSerialPort::SerialPortError error,
                               const QString &systemText) {
    if (!QFileInfo::exists(path) || error == QSerialPort::DeviceNotFoundError) {
        return QStringLiteral("Serial device %1 not found. ").arg(path) + presentDevicesText();
    }
    if (!mayReadWrite(path)) {
#ifdef Q_OS_UNIX
        struct stat info {};
        if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
            const passwd *user = ::getpwuid(info.st_uid);
            const QString owner =
                user ? QString::fromLocal8Bit(user->pw_name) : QString::number(info.st_uid);
            return permissionHint(path, owner, deviceGroup(path), uint(info.st_mode));
        }
#endif
        return QStringLiteral("Permission denied on %1: this user may not open it.").arg(path);
    }
    if (error == QSerialPort::PermissionError || error == QSerialPort::OpenError) {
        // Readable and writable, yet refused: a lock file or an exclusive open of another
        // program (Qt reports both as a permission error).
        return QStringLiteral("Serial device %1 is busy: another program holds it open. "
                              "Close that program (terminal, modem manager) and connect again.")
            .arg(path);
    }
    return QStringLiteral("Cannot open serial device %1: %2").arg(path, systemText);
}

ConnectFailure serialOpenFailure(const QString &path, QSerialPort::SerialPortError error) {
    if (!QFileInfo::exists(path) || error == QSerialPort::DeviceNotFoundError)
        return ConnectFailure::NoSuchDevice;
    if (!mayReadWrite(path))
        return ConnectFailure::PermissionDenied;
    if (error == QSerialPort::PermissionError || error == QSerialPort::OpenError)
        return ConnectFailure::Busy;
    return ConnectFailure::Other;
}

} // namespace varo::link
