#include "cli/target.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>

#include <netdb.h>
#include <sys/socket.h>

#include <array>

namespace varo::cli {

namespace {

constexpr std::array<qint32, 5> kBauds{9600, 19200, 38400, 57600, 115200};
constexpr int kHighestPortNumber = 8;

TargetParse failure(const QString &text, const QString &why) {
    return {std::nullopt, QStringLiteral("bad target \"%1\": %2").arg(text, why)};
}

bool allDigits(const QString &text) {
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar c : text) {
        if (!c.isDigit() || c.unicode() > 0x7f) {
            return false;
        }
    }
    return true;
}

TargetParse parseTcp(const QString &text, const QString &rest) {
    QString host;
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0 || rest.mid(close + 1, 1) != QLatin1String(":")) {
            return failure(text, QStringLiteral("expected tcp:[ADDRESS]:PORT"));
        }
        host = rest.mid(1, close - 1);
        portText = rest.mid(close + 2);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0) {
            return failure(text, QStringLiteral("expected tcp:HOST:PORT"));
        }
        host = rest.left(colon);
        portText = rest.mid(colon + 1);
        if (host.contains(QLatin1Char(':'))) {
            return failure(text, QStringLiteral("write an IPv6 address in brackets, as "
                                                "tcp:[::1]:PORT"));
        }
    }
    static const QRegularExpression hostPattern(QStringLiteral("^[A-Za-z0-9._:%-]+$"));
    if (host.isEmpty() || !hostPattern.match(host).hasMatch()) {
        return failure(text, QStringLiteral("the host is missing or not a host name or address"));
    }
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!allDigits(portText) || !ok || port < 1 || port > 65535) {
        return failure(text, QStringLiteral("the port must be a number from 1 to 65535"));
    }
    Target target;
    target.text = text;
    target.settings.mode = link::LinkMode::Tcp;
    target.settings.host = host;
    target.settings.tcpPort = quint16(port);
    return {target, {}};
}

TargetParse parseSerial(const QString &text, const QString &rest) {
    QString name = rest;
    qint32 baud = Target::kDefaultBaud;
    const qsizetype at = rest.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString baudText = rest.mid(at + 1);
        bool ok = false;
        baud = baudText.toInt(&ok);
        if (!allDigits(baudText) || !ok || !isSupportedBaud(baud)) {
            return failure(text, QStringLiteral("the baud rate must be 9600, 19200, 38400, 57600 "
                                                "or 115200"));
        }
        name = rest.left(at);
    }
    if (name.isEmpty()) {
        return failure(text, QStringLiteral("expected serial:DEVICE[@BAUD] or serial:N[@BAUD]"));
    }
    Target target;
    target.text = text;
    target.settings.mode = link::LinkMode::Serial;
    target.settings.baudRate = baud;
    if (allDigits(name)) {
        bool ok = false;
        const int number = name.toInt(&ok);
        if (!ok || number < 1 || number > kHighestPortNumber) {
            return failure(text, QStringLiteral("a serial port number must be 1 to 8 (or give a "
                                                "device path such as /dev/ttyUSB0)"));
        }
        target.settings.commPort = number;
        return {target, {}};
    }
    for (const QChar c : name) {
        if (c.isSpace() || c.category() == QChar::Other_Control) {
            return failure(text, QStringLiteral("the device path holds a space or control "
                                                "character"));
        }
    }
    target.settings.serialDevice = name;
    return {target, {}};
}

QString addressKey(const QHostAddress &address, quint16 port) {
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    const QHostAddress plain = mapped ? QHostAddress(ipv4) : address;
    return QStringLiteral("tcp %1 %2").arg(plain.toString()).arg(port);
}

// The addresses `host` stands for: itself when it is one, else the resolver's answer (empty
// when it has none; the connect reports that).
QList<QHostAddress> resolvedAddresses(const QString &host) {
    if (QHostAddress address; address.setAddress(host)) {
        return {address};
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    QList<QHostAddress> addresses;
    if (::getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &found) == 0) {
        for (const addrinfo *entry = found; entry; entry = entry->ai_next) {
            addresses.append(QHostAddress(entry->ai_addr));
        }
        ::freeaddrinfo(found);
    }
    return addresses;
}

} // namespace

QStringList Target::readerKeys() const {
    if (settings.isTcp()) {
        QStringList keys;
        for (const QHostAddress &address : resolvedAddresses(settings.host)) {
            keys.append(addressKey(address, settings.tcpPort));
        }
        keys.append(key());
        keys.removeDuplicates();
        return keys;
    }
    const QString path = settings.serialDevicePath();
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return {QStringLiteral("serial ") + (canonical.isEmpty() ? path : canonical)};
}

QString Target::key() const {
    if (settings.isTcp())
        return QStringLiteral("tcp %1 %2").arg(settings.host.toLower()).arg(settings.tcpPort);
    if (!settings.serialDevice.isEmpty())
        return QStringLiteral("serial ") + settings.serialDevice;
    return QStringLiteral("serial port %1").arg(settings.commPort);
}

bool isSupportedBaud(qint32 baud) {
    for (const qint32 supported : kBauds) {
        if (baud == supported) {
            return true;
        }
    }
    return false;
}

TargetParse parseTarget(const QString &given) {
    const QString text = given.trimmed();
    if (text.startsWith(QLatin1String("tcp:"))) {
        return parseTcp(text, text.mid(4));
    }
    if (text.startsWith(QLatin1String("serial:"))) {
        return parseSerial(text, text.mid(7));
    }
    return failure(text, QStringLiteral("use tcp:HOST:PORT, serial:DEVICE[@BAUD] or "
                                        "serial:N[@BAUD]"));
}

} // namespace varo::cli
