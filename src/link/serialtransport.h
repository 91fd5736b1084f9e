#pragma once

#include "transport.h"

#include <QSerialPort>
#include <QSocketNotifier>

namespace varo::link {

// How a serial device answered the request for low latency.
enum class LowLatency {
    On,     // the driver now delivers each received byte at once (or did already)
    Refused // the device has no such setting (a pseudo-terminal) or refused it; used as it is
};

// Asks the driver of the open serial device `fd` for low latency: the Linux serial flag that
// the FTDI and most USB-serial drivers turn into a 1 ms latency timer instead of 16 ms.
LowLatency requestLowLatency(int fd);

// A serial device (a COM port, a USB adapter or a pseudo-terminal), 8 data bits, no parity,
// one stop bit, at low latency where the driver offers it (requestLowLatency(); a refusal is
// silent). On the first read or resource error the device is closed and failed() is
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
    // What the driver said to the low-latency request at the last successful open.
    LowLatency lowLatency() const { return m_lowLatency; }
    // Whether received bytes are read from the descriptor here (takeOverReads()) rather than
    // through the port's read buffer.
    bool readsDirectly() const { return m_readNotifier != nullptr; }

private:
    void takeOverReads();
    void onReadable();
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void fail(const QString &why);

    QSerialPort m_port;
    // Reads the descriptor while open (a child of this transport); switched off before the
    // port closes its descriptor.
    QSocketNotifier *m_readNotifier = nullptr;
    QString m_device;
    qint32 m_baudRate;
    ConnectFailure m_openFailure = ConnectFailure::Other;
    LowLatency m_lowLatency = LowLatency::Refused;
};

} // namespace varo::link
