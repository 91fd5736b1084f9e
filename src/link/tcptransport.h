#pragma once

#include "transport.h"

#include <QTcpSocket>

namespace varo::link {

// A TCP connection to the reader. Small writes go out at once: the low-delay option is set
// once the connection is established (Qt ignores it before).
class TcpTransport : public Transport {
    Q_OBJECT
public:
    TcpTransport(const QString &host, quint16 port, QObject *parent = nullptr);

    void open() override;
    bool isOpen() const override;
    bool write(const QByteArray &bytes) override;
    void close() override;
    bool flush() override;
    QString openTimedOutText() const override { return timedOutText(); }

private:
    // The failure in words a technician acts on: refused, unreachable, timed out, closed.
    QString explain(QAbstractSocket::SocketError error) const;
    ConnectFailure openFailure() const override { return m_openFailure; }
    QString timedOutText() const;

    QTcpSocket m_socket;
    QString m_host;
    quint16 m_port;
    bool m_failed = false;
    bool m_connected = false;
    ConnectFailure m_openFailure = ConnectFailure::Other;
};

} // namespace varo::link
