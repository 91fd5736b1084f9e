#include "linksettings.h"

#include <QtGlobal>

namespace varo::link {

QString statusText(LinkState state) {
    switch (state) {
    case LinkState::Connected:
        return QStringLiteral("Connected");
    case LinkState::Lost:
        return QStringLiteral("Link lost");
    case LinkState::Reconnecting:
        return QStringLiteral("Reconnecting");
    case LinkState::Disconnected:
    case LinkState::Connecting:
        break;
    }
    return QStringLiteral("Disconnected");
}

QString LinkSettings::serialDevicePath() const {
    return serialDevice.isEmpty() ? serialDeviceForPort(commPort) : serialDevice;
}

quint16 tcpPortFromText(const QString &text) {
    bool ok = false;
    const uint port = text.trimmed().toUInt(&ok);
    return ok && port <= 65535 ? quint16(port) : quint16(0);
}

QString serialSettingsString(qint32 baudRate) {
    return QStringLiteral("%1,N,8,1").arg(baudRate);
}

QString serialDeviceForPort(int port) {
    const QByteArray override = qgetenv(QStringLiteral("VARO_COM%1").arg(port).toLatin1());
    if (!override.isEmpty())
        return QString::fromLocal8Bit(override);
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

} // namespace varo::link
