#pragma once

#include <QString>

namespace varo::link {

// Why opening the link failed, so that no caller has to read the message.
enum class ConnectFailure {
    None,
    Refused,          // the host answers but nothing listens on the port
    TimedOut,         // nothing answered within the connect window
    HostNotFound,     // the host name does not resolve
    NoSuchDevice,     // the serial device does not exist (or none was chosen)
    PermissionDenied, // this user may not open the device
    Busy,             // another program holds the device open
    Other,
};

// The kind and the message the technician is shown (the link's lastError()).
struct ConnectError {
    ConnectFailure kind = ConnectFailure::None;
    QString message;
};

} // namespace varo::link
