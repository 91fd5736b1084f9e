#include "tcptransport.h"

namespace varo::link {

TcpTransport::TcpTransport(const QString &host, quint16 port, QObject *parent)
    : Transport(parent)
    , m_socket(this)
    , m_host(host)
    , m_port(port) {
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        emit opened();
    });
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] {
        const QByteArray bytes = m_socket.readAll();
        if (!bytes.isEmpty())
            emit dataReceived(bytes);
    });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_failed)
            return;
        m_failed = true;
        // Bytes that arrived before the peer went away still belong to the stream.
        if (const QByteArray rest = m_socket.readAll(); !rest.isEmpty())
            emit dataReceived(rest);
        const QString reason = m_socket.errorString();
        m_socket.abort();
        emit failed(reason);
    });
}

void TcpTransport::open() {
    m_failed = false;
    m_socket.connectToHost(m_host, m_port);
}

bool TcpTransport::isOpen() const {
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

bool TcpTransport::write(const QByteArray &bytes) {
    if (!isOpen())
        return false;
    return m_socket.write(bytes) == bytes.size();
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
