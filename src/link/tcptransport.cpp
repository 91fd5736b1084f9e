#include "tcptransport.h"

#include "directwrite.h"

namespace varo::link {

namespace {

ConnectFailure openFailureOf(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return ConnectFailure::Refused;
    case QAbstractSocket::HostNotFoundError:
        return ConnectFailure::HostNotFound;
    case QAbstractSocket::SocketTimeoutError:
        return ConnectFailure::TimedOut;
    default:
        return ConnectFailure::Other;
    }
}

} // namespace

TcpTransport::TcpTransport(const QString &host, quint16 port, QObject *parent)
    : Transport(parent)
    , m_socket(this)
    , m_host(host)
    , m_port(port) {
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        m_connected = true;
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        emit opened();
    });
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] {
        const QByteArray bytes = readAvailable(m_socket);
        if (!bytes.isEmpty())
            emit dataReceived(bytes);
    });
    connect(&m_socket, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) {
                if (m_failed)
                    return;
                m_failed = true;
                // Bytes that arrived before the peer went away still belong to the stream.
                if (const QByteArray rest = readAvailable(m_socket); !rest.isEmpty())
                    emit dataReceived(rest);
                const QString reason = explain(error);
                if (!m_connected)
                    m_openFailure = openFailureOf(error);
                m_socket.abort();
                emit failed(reason);
            });
}

QString TcpTransport::explain(QAbstractSocket::SocketError error) const {
    const QString peer = QStringLiteral("%1:%2").arg(m_host).arg(m_port);
    if (m_connected) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            return QStringLiteral("The reader at %1 closed the connection.").arg(peer);
        return QStringLiteral("The connection to %1 broke: %2").arg(peer, m_socket.errorString());
    }
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("Connection to %1 refused: the host answers but nothing listens on "
                              "that port. Check the port number and that the converter's TCP "
                              "server is on.")
            .arg(peer);
    case QAbstractSocket::NetworkError:
        return QStringLiteral("%1 is unreachable from this computer: check the address, the "
                              "cable and the network settings.")
            .arg(peer);
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("Host %1 not found: check the address.").arg(m_host);
    case QAbstractSocket::SocketTimeoutError:
        return timedOutText();
    default:
        return QStringLiteral("Cannot connect to %1: %2").arg(peer, m_socket.errorString());
    }
}

QString TcpTransport::timedOutText() const {
    return QStringLiteral("Connecting to %1:%2 timed out: nothing answered. Check that the "
                          "reader is powered and the address is right.")
        .arg(m_host)
        .arg(m_port);
}

void TcpTransport::open() {
    m_failed = false;
    m_connected = false;
    m_socket.connectToHost(m_host, m_port);
}

bool TcpTransport::isOpen() const {
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

bool TcpTransport::write(const QByteArray &bytes) {
    if (!isOpen())
        return false;
    // Straight to the system while nothing waits in the socket's queue, so the order stays.
    qsizetype done = 0;
    if (m_socket.bytesToWrite() == 0)
        done = writeWithoutQueue(m_socket.socketDescriptor(), bytes, true);
    if (done == bytes.size())
        return true;
    const QByteArray rest = bytes.sliced(done);
    return m_socket.write(rest) == rest.size();
}

bool TcpTransport::flush() {
    if (!isOpen())
        return false;
    m_socket.flush();
    // A write error aborts the socket before flush() returns.
    return isOpen();
}

void TcpTransport::close() {
    m_socket.abort();
}

} // namespace varo::link
