#include "sim/simtcpserver.h"

#include "sim/readersimulator.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

namespace varo::sim {

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
    if (m_client && m_client->state() == QAbstractSocket::ConnectedState) {
        m_client->write(bytes);
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
