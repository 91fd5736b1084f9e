#include "serialdevices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace varo::link {

namespace {

QString canonical(const QString &path) {
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
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
                        info.manufacturer(), usbIdOf(info), info.serialNumber(), systemPath});
    }
    std::sort(devices.begin(), devices.end(),
              [](const DetectedDevice &a, const DetectedDevice &b) { return a.path < b.path; });
    return devices;
}

QString serialNumberOfDevice(const QString &path) {
    const QString target = canonical(path);
    for (const DetectedDevice &device : detectedDevices()) {
        if (canonical(device.path) == target)
            return device.serialNumber;
    }
    return {};
}

QString deviceWithSerialNumber(const QString &serialNumber) {
    if (serialNumber.isEmpty())
        return {};
    for (const DetectedDevice &device : detectedDevices()) {
        if (device.serialNumber == serialNumber)
            return device.path;
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

QString explainSerialOpenError(const QString &path, QSerialPort::SerialPortError error,
                               const QString &systemText) {
    if (!QFileInfo::exists(path) || error == QSerialPort::DeviceNotFoundError) {
        return QStringLiteral("Serial device %1 not found. ").arg(path) + presentDevicesText();
    }
    if (!mayReadWrite(path)) {
        const QString group = deviceGroup(path);
        if (group.isEmpty())
            return QStringLiteral("Permission denied on %1: this user may not open it.").arg(path);
        return QStringLiteral("Permission denied on %1: the device belongs to group \"%2\". "
                              "Add your user to it with: sudo adduser $USER %2 "
                              "(then log out and in again).")
            .arg(path, group);
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

} // namespace varo::link
