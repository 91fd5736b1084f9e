#pragma once

#include "connectfailure.h"

#include <QByteArray>
#include <QIODevice>
#include <QObject>
#include <QString>

#include <algorithm>

namespace varo::link {

// One byte stream to the reader, whatever the medium. Implementations deliver every received
// byte through dataReceived() in arrival order and report a broken medium once through failed().
class Transport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts opening the medium; the outcome comes as opened() or failed(), possibly before
    // open() returns.
    virtual void open() = 0;
    virtual bool isOpen() const = 0;
    // Writes `bytes`: to the system at once as far as it takes them without waiting, the rest
    // queued behind them. Returns false when the medium is closed or refuses the write.
    virtual bool write(const QByteArray &bytes) = 0;
    virtual void close() = 0;
    // Hands queued writes to the system now rather than at the next event-loop pass. Returns
    // false when the medium is closed or refused them (a broken medium also emits failed()).
    virtual bool flush() { return isOpen(); }
    // Why the open did not finish within the link's connect window.
    virtual QString openTimedOutText() const {
        return QStringLiteral("Opening the link timed out.");
    }
    // Why the last open failed (when failed() came before opened()).
    virtual ConnectFailure openFailure() const { return ConnectFailure::Other; }

signals:
    void opened();
    void dataReceived(const QByteArray &bytes);
    // The medium broke (peer closed, device vanished, read error). The transport is closed
    // when this is emitted.
    void failed(const QString &reason);
};

// What `device` holds, in an array of its own size. readAll() hands over the device's whole
// read buffer (32 or 64 KiB for a one-byte reply), which the next read then has to allocate
// again, and which anyone keeping the bytes keeps as well.
inline QByteArray readAvailable(QIODevice &device) {
    const qint64 size = device.bytesAvailable();
    if (size <= 0)
        return {};
    QByteArray bytes(size, Qt::Uninitialized);
    bytes.truncate(std::max<qint64>(0, device.read(bytes.data(), size)));
    return bytes;
}

} // namespace varo::link
