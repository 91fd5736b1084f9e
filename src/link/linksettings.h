#pragma once

#include <QString>

#include <chrono>

namespace varo::link {

enum class LinkMode { Serial, Tcp };

// Where the link stands. Lost: the medium broke while connected (peer closed, device vanished);
// the link stays Lost until the user disconnects. Reconnecting: the medium broke and the link
// tries to open the same device or peer again (automatic reconnect is on).
enum class LinkState { Disconnected, Connecting, Connected, Lost, Reconnecting };

// The status label text of a state: "Connected", "Disconnected" (also while connecting),
// "Link lost" and "Reconnecting".
QString statusText(LinkState state);

// How to reach the reader. The Communications screen builds one from its controls and passes it
// to ReaderLink::connectReader(); the open link keeps its copy until it is disconnected.
struct LinkSettings {
    LinkMode mode = LinkMode::Serial;
    int commPort = 2;     // serial port number, 1 to 8
    QString serialDevice; // explicit device path; when non-empty it is used instead of commPort's
    qint32 baudRate = 9600;
    QString host;        // TCP host name or address
    quint16 tcpPort = 0; // 0: no valid port (the connect fails)

    bool isTcp() const { return mode == LinkMode::Tcp; }
    // The device the serial link opens: serialDevice, or the mapping of commPort.
    QString serialDevicePath() const;

    bool operator==(const LinkSettings &) const = default;
};

// A TCP port as typed: digits 1 to 65535 (blanks around them allowed); 0 for anything else.
quint16 tcpPortFromText(const QString &text);

// Waits of the line protocol. Tests shorten them; the product keeps the defaults.
struct LinkTimings {
    std::chrono::milliseconds replyTimeout{5000};
    std::chrono::milliseconds connectWindow{3000};
};

// "9600,N,8,1" and its siblings: the serial line settings for a baud rate.
QString serialSettingsString(qint32 baudRate);

// Device that serial port number `port` opens. On Linux 1..8 map to /dev/ttyS0../dev/ttyS7 and
// the environment variable VARO_COM<n> (for example VARO_COM2=/dev/ttyUSB0) points a number
// at any other device; on Windows the number n opens COMn.
QString serialDeviceForPort(int port);

} // namespace varo::link
