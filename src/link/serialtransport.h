#pragma once

#include "transport.h"

#include <QSerialPort>

namespace varo::link {

// A serial device (a COM port, a USB adapter or a pseudo-terminal), 8 data bits, no parity,
// one stop bit. On the first read or resource error the device is closed and failed() is
// emitted once: a vanished device would otherwise keep raising errors at full CPU.
class SerialTransport : public Transport {
    Q_OBJECT
public:
    SerialTransport(const QString &device, qint32 baudRate, QObject *parent = nullptr);

    void open() override;
    bool isOpen() const override;
    bool write(const QByteArray &bytes) override;
    void close() override;
    bool flush() override;
    ConnectFailure openFailure() const override { return m_openFailure; }

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    QString m_device;
    qint32 m_baudRate;
    ConnectFailure m_openFailure = ConnectFailure::Other;
};

} // namespace varo::link
