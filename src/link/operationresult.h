#pragma once

#include <QMetaType>
#include <QString>

namespace varo::link {

// How an operation on the reader ended.
enum class ResultCode {
    Ok,
    Busy,         // another operation held the link
    NotConnected, // the link was not connected
    Invalid,      // the input was refused before anything was sent
    Timeout,      // the reader did not answer in time
    WrongReply,   // the reader answered something else than expected
    LinkError,    // a write failed or the medium broke
    Disconnected, // the user disconnected the link during the operation
    FileError,    // a file could not be read or written
    Cancelled     // the user stopped the operation
};

// The end of every operation: a code and the message the user is shown (may be empty when the
// operation has already shown its texts). Every failure carries a non-Ok code.
struct OperationResult {
    ResultCode code = ResultCode::Ok;
    QString message;

    bool ok() const { return code == ResultCode::Ok; }

    static OperationResult success(const QString &message = {}) {
        return {ResultCode::Ok, message};
    }
    static OperationResult failure(ResultCode code, const QString &message) {
        return {code, message};
    }
};

} // namespace varo::link

Q_DECLARE_METATYPE(varo::link::OperationResult)
