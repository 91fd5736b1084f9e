#pragma once

#include <QString>

#include <optional>

namespace varo::cli {

// One reader as named on the command line:
//   tcp:HOST:PORT         (IPv6 in brackets: tcp:[::1]:5757)
//   serial:DEVICE[@BAUD]  (a device path such as /dev/ttyUSB0)
//   serial:N[@BAUD]       (serial port number 1-8, mapped as the window maps it)
struct Target {
    enum class Kind { Tcp, SerialDevice, SerialPortNumber };

    static constexpr qint32 kDefaultBaud = 9600;

    Kind kind = Kind::Tcp;
    QString text; // as given (trimmed); names the target in every report
    QString host; // Tcp
    quint16 port = 0;
    QString device;                 // SerialDevice
    int portNumber = 0;             // SerialPortNumber
    qint32 baudRate = kDefaultBaud; // serial only

    bool isTcp() const { return kind == Kind::Tcp; }
    // Same key = same reader or device, whatever the spelling or baud rate.
    QString key() const;
};

struct TargetParse {
    std::optional<Target> target;
    QString error; // set when target is empty; says what is wrong and what is expected
};

TargetParse parseTarget(const QString &text);

// The baud rates the readers support: 9600, 19200, 38400, 57600, 115200.
bool isSupportedBaud(qint32 baud);

} // namespace varo::cli
