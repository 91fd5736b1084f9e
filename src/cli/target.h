#pragma once

#include "link/linksettings.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace varo::cli {

// One reader as named on the command line, parsed once into the settings its link opens:
//   tcp:HOST:PORT         (IPv6 in brackets: tcp:[::1]:5757)
//   serial:DEVICE[@BAUD]  (a device path such as /dev/ttyUSB0)
//   serial:N[@BAUD]       (serial port number 1-8, mapped as the window maps it)
struct Target {
    static constexpr qint32 kDefaultBaud = 9600;

    QString text;                // as given (trimmed); names the target in every report
    link::LinkSettings settings; // serial: the device, or the port number when no device

    // Same key = same reader or device, whatever the spelling or baud rate.
    QString key() const;
    // Every name the reader is reached under: for TCP each address the host resolves to (a name
    // is looked up in the system's resolver; nothing is dialled) with the port, for a serial
    // device its canonical path. Two targets sharing one are the same reader.
    QStringList readerKeys() const;
};

struct TargetParse {
    std::optional<Target> target;
    QString error; // set when target is empty; says what is wrong and what is expected
};

TargetParse parseTarget(const QString &text);

// The baud rates the readers support: 9600, 19200, 38400, 57600, 115200.
bool isSupportedBaud(qint32 baud);

} // namespace varo::cli
