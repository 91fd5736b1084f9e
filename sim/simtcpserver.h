#pragma once

#include <QObject>
#include <QPointer>

#include "sim/readersimulator.h"

class QTcpServer;
class QTcpSocket;

namespace varo::sim {

class ReaderSimulator;

// Serves the simulator over TCP on 127.0.0.1 only. One client at a time: a new client replaces
// the previous one, and every connect or disconnect resets the simulator to line mode.
// unplug() and replug() play a converter that goes away and comes back on the same port.
class SimTcpServer : public QObject {
    Q_OBJECT

public:
    explicit SimTcpServer(ReaderSimulator *sim, QObject *parent = nullptr);
    ~SimTcpServer() override;

    bool listen(quint16 port = 0); // 0 = any free port
    quint16 port() const;          // of the last listen(), kept while unplugged
    bool hasClient() const;
    void closeClient(); // drops the current client, keeps listening
    bool isListening() const;
    // Stops listening and aborts the current client (its peer sees the connection reset), so
    // new connections are refused. replug() listens again on the port of the last listen().
    void unplug();
    bool replug();

signals:
    void clientConnected();
    void clientDisconnected();

private:
    void acceptClient();
    void write(const QByteArray &bytes);

    QPointer<ReaderSimulator> m_sim;
    QTcpServer *m_server;
    QPointer<QTcpSocket> m_client;
    quint16 m_port = 0;
};

} // namespace varo::sim
