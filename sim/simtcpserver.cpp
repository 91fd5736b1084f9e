#include "sim/simtcpserver.h"

#include "sim/readersimulator.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>
#include <sys/socket.h>

namespace varo::sim {

namespace {

// How much of `bytes` the socket `fd` took without blocking; 0 on an error, which the socket
// then reports when it sends the rest itself.
qsizetype sendWithoutWaiting(qintptr fd, const QByteArray &bytes) {
    qsizetype done = 0;
    while (fd >= 0 && done < bytes.size()) {
        const ssize_t sent = ::send(int(fd), bytes.constData() + done,
                                    std::size_t(bytes.size() - done), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            done += sent;
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    return done;
}

} // namespace

SimTcpServer::SimTcpServer(ReaderSimulator *sim, QObject *parent)
    : QObject(parent)
    , m_sim(sim)
    , m_server(new QTcpServer(this)) {
    connect(m_server, &QTcpServer::newConnection, this, &SimTcpServer::acceptClient);
    connect(m_sim, &ReaderSimulator::bytesToSend, this, &SimTcpServer::write);
    connect(m_sim, &ReaderSimulator::closeRequested, this, &SimTcpServer::closeClient);
}

SimTcpServer::~SimTcpServer() {
    if (m_client) {
        m_client->disconnect(this);
        m_client->abort();
    }
}

bool SimTcpServer::listen(quint16 port) {
    if (!m_server->listen(QHostAddress::LocalHost, port)) {
        return false;
    }
    m_port = m_server->serverPort();
    return true;
}

bool SimTcpServer::isListening() const {
    return m_server->isListening();
}

void SimTcpServer::unplug() {
    m_server->close();
    if (!m_client) {
        return;
    }
    QTcpSocket *socket = m_client;
    m_client = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    if (m_sim) {
        m_sim->linkReset();
    }
    emit clientDisconnected();
}

bool SimTcpServer::replug() {
    if (m_server->isListening()) {
        return true;
    }
    return m_port != 0 && m_server->listen(QHostAddress::LocalHost, m_port);
}

quint16 SimTcpServer::port() const {
    return m_port;
}

bool SimTcpServer::hasClient() const {
    return !m_client.isNull();
}

void SimTcpServer::acceptClient() {
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        if (m_client) {
            QTcpSocket *old = m_client;
            old->disconnect(this);
            old->abort();
            old->deleteLater();
        }
        m_client = socket;
        if (m_sim) {
            m_sim->linkReset();
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (socket == m_client && m_sim) {
                m_sim->feed(socket->readAll());
            }
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            socket->deleteLater();
            if (socket == m_client) {
                m_client = nullptr;
                if (m_sim) {
                    m_sim->linkReset();
                }
                emit clientDisconnected();
            }
        });
        emit clientConnected();
    }
}

void SimTcpServer::write(const QByteArray &bytes) {
    if (!m_client || m_client->state() != QAbstractSocket::ConnectedState) {
        return;
    }
    // Straight to the system while nothing waits in the socket's queue (so the order stays):
    // a queued write switches the socket's write notification on and off, and with a thousand
    // readers in one process each switch walks every reader's descriptor.
    qsizetype done = 0;
    if (m_client->bytesToWrite() == 0) {
        done = sendWithoutWaiting(m_client->socketDescriptor(), bytes);
    }
    if (done < bytes.size()) {
        m_client->write(bytes.sliced(done));
    }
}

void SimTcpServer::closeClient() {
    if (!m_client) {
        return;
    }
    QTcpSocket *socket = m_client;
    m_client = nullptr;
    socket->disconnect(this);
    if (m_sim) {
        m_sim->linkReset();
    }
    // Bytes already written (the last reply) still go out before the connection closes.
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
    }
    emit clientDisconnected();
}

} // namespace varo::sim
