#include "serialtransport.h"

#include "directwrite.h"
#include "serialdevices.h"

#include <cerrno>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif
#ifdef Q_OS_UNIX
#include <unistd.h>
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
    takeOverReads();
    emit opened();
}

void SerialTransport::takeOverReads() {
#ifdef Q_OS_UNIX
    // The port reads each arrival into a fresh 32 KiB buffer of its own, signals, and is read
    // again from there: a reply of a few bytes pays for all of that on every exchange. Here
    // the descriptor is read straight into the bytes handed on. The port's own read
    // notifier (a child of the port) is switched off for it; the port only switches it on
    // again when it is read through, which this transport never does. Where no such
    // notifier is found, the port's own reads stay.
    QSocketNotifier *portReads = nullptr;
    for (QSocketNotifier *notifier :
         m_port.findChildren<QSocketNotifier *>(Qt::FindDirectChildrenOnly)) {
        if (notifier->type() == QSocketNotifier::Read && notifier->socket() == m_port.handle())
            portReads = notifier;
    }
    if (!portReads)
        return;
    portReads->setEnabled(false);
    m_readNotifier = new QSocketNotifier(m_port.handle(), QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &SerialTransport::onReadable);
#endif
}

void SerialTransport::onReadable() {
#ifdef Q_OS_UNIX
    // What one wake-up brings at most; more stays readable and wakes the loop again.
    char chunk[16384];
    ssize_t got;
    do {
        got = ::read(int(m_port.handle()), chunk, sizeof chunk);
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
        emit dataReceived(QByteArray(chunk, got));
        return;
    }
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return;
    // Readable but nothing to read: the device hung up (unplugged, or the far end of a
    // pseudo-terminal closed); an error says why.
    fail(QStringLiteral("Serial device %1 stopped working (unplugged?): %2")
             .arg(m_device,
                  got < 0 ? qt_error_string(errno) : QStringLiteral("the device hung up")));
#endif
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
    if (m_readNotifier) {
        // Later: this may run inside the notifier's own signal (a hang-up).
        m_readNotifier->setEnabled(false);
        m_readNotifier->deleteLater();
        m_readNotifier = nullptr;
    }
    if (m_port.isOpen())
        m_port.close();
}

void SerialTransport::fail(const QString &why) {
    if (!m_port.isOpen())
        return;
    close();
    emit failed(why);
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
        fail(QStringLiteral("Serial device %1 stopped working (unplugged?): %2")
                 .arg(m_device, m_port.errorString()));
        break;
    default:
        break;
    }
}

} // namespace varo::link
