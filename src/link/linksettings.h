#pragma once

#include <QString>

#include <chrono>

namespace varo::link {

// The choices of the Communications screen. The link reads them when it connects and, for the
// link mode, at every exchange.
struct LinkSettings {
    static constexpr int kTcp = 1;
    static constexpr int kSerial = 2;

    int mode = kSerial; // 1 = TCP; any other value is serial
    int commPort = 2;   // serial port number, 1 to 8
    qint32 baudRate = 9600;
    QString remoteHost;
    QString remotePort; // digits as typed; converted when connecting

    bool isTcp() const { return mode == kTcp; }
};

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
