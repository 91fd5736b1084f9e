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
class SimTcpServer : public QObject {
    Q_OBJECT

public:
    explicit SimTcpServer(ReaderSimulator *sim, QObject *parent = nullptr);
    ~SimTcpServer() override;

    bool listen(quint16 port = 0); // 0 = any free port
    quint16 port() const;
    bool hasClient() const;
    void closeClient(); // drops the current client, keeps listening

signals:
    void clientConnected();
    void clientDisconnected();

private:
    void acceptClient();
    void write(const QByteArray &bytes);

    QPointer<ReaderSimulator> m_sim;
    QTcpServer *m_server;
    QPointer<QTcpSocket> m_client;
};

} // namespace varo::sim
