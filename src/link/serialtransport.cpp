#include "serialtransport.h"

#include "directwrite.h"
#include "serialdevices.h"

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace varo::link {

LowLatency requestLowLatency(int fd) {
#ifdef Q_OS_LINUX
    serial_struct serial{};
    if (fd < 0 || ::ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return LowLatency::Refused;
    if (serial.flags & ASYNC_LOW_LATENCY)
        return LowLatency::On;
    serial.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &serial) == 0 ? LowLatency::On : LowLatency::Refused;
#else
    Q_UNUSED(fd);
    return LowLatency::Refused;
#endif
}

SerialTransport::SerialTransport(const QString &device, qint32 baudRate, QObject *parent)
    : Transport(parent)
    , m_port(this)
    , m_device(device)
    , m_baudRate(baudRate) {
    connect(&m_port, &QSerialPort::readyRead, this, &SerialTransport::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialTransport::onError);
}

void SerialTransport::open() {
    m_port.setPortName(m_device);
    m_port.setBaudRate(m_baudRate);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_openFailure = serialOpenFailure(m_device, m_port.error());
        emit failed(explainSerialOpenError(m_device, m_port.error(), m_port.errorString()));
        return;
    }
    // USB adapters otherwise hold received bytes for up to 16 ms (the FTDI latency timer),
    // twice per exchange.
    m_lowLatency = requestLowLatency(int(m_port.handle()));
    emit opened();
}

bool SerialTransport::isOpen() const {
    return m_port.isOpen();
}

bool SerialTransport::write(const QByteArray &bytes) {
    if (!m_port.isOpen())
        return false;
    // Straight to the system while nothing waits in the port's queue, so the order stays.
    qsizetype done = 0;
    if (m_port.bytesToWrite() == 0)
        done = writeWithoutQueue(m_port.handle(), bytes, false);
    if (done == bytes.size())
        return true;
    const QByteArray rest = bytes.sliced(done);
    return m_port.write(rest) == rest.size();
}

bool SerialTransport::flush() {
    if (!m_port.isOpen())
        return false;
    m_port.flush();
    // A write error closes the port (onError) before flush() returns.
    return m_port.isOpen();
}

void SerialTransport::close() {
    if (m_port.isOpen())
        m_port.close();
}

void SerialTransport::onReadyRead() {
    const QByteArray bytes = readAvailable(m_port);
    if (!bytes.isEmpty())
        emit dataReceived(bytes);
}

void SerialTransport::onError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::ReadError:
    case QSerialPort::ResourceError:
    case QSerialPort::WriteError:
        if (m_port.isOpen()) {
            const QString reason =
                QStringLiteral("Serial device %1 stopped working (unplugged?): %2")
                    .arg(m_device, m_port.errorString());
            m_port.close();
            emit failed(reason);
        }
        break;
    default:
        break;
    }
}

} // namespace varo::link
