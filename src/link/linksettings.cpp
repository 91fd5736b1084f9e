#include "linksettings.h"

#include <QtGlobal>

namespace varo::link {

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
