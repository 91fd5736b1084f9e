#pragma once

#include "link/readerlink.h"
#include "link/transport.h"

#include <QList>

#include <functional>
#include <memory>

// An in-process medium: records every write separately and delivers whatever the test feeds
// it. An optional peer function answers each write; its answer arrives on a later event-loop
// turn, as from a real medium.
class FakeTransport : public varo::link::Transport {
    Q_OBJECT
public:
    using Peer = std::function<QByteArray(const QByteArray &written)>;

    void open() override {
        m_open = true;
        emit opened();
    }
    bool isOpen() const override { return m_open; }
    bool write(const QByteArray &bytes) override {
        if (!m_open)
            return false;
        writes.append(bytes);
        emit written(bytes);
        if (peer) {
            const QByteArray answer = peer(bytes);
            if (!answer.isEmpty())
                QMetaObject::invokeMethod(
                    this, [this, answer] { emit dataReceived(answer); }, Qt::QueuedConnection);
        }
        return true;
    }
    void close() override { m_open = false; }

    void receive(const QByteArray &bytes) { emit dataReceived(bytes); }
    void breakDown(const QString &reason) {
        m_open = false;
        emit failed(reason);
    }
    QByteArray sent() const { return writes.join(); }

    QList<QByteArray> writes;
    Peer peer;

signals:
    void written(const QByteArray &bytes);

private:
    bool m_open = false;
};

// A connected ReaderLink whose transport is a FakeTransport.
struct FakeLink {
    explicit FakeLink(bool tcp, const QString &host = QStringLiteral("127.0.0.1"),
                      quint16 port = 1) {
        settings.mode = tcp ? varo::link::LinkMode::Tcp : varo::link::LinkMode::Serial;
        settings.commPort = 2;
        settings.host = host;
        settings.tcpPort = port;
        link.setTransportFactory([this](const varo::link::LinkSettings &) {
            auto t = std::make_unique<FakeTransport>();
            transport = t.get();
            return t;
        });
        link.connectReader(settings);
    }

    // Disconnects and connects again with the same settings on a fresh transport.
    void reconnect() {
        link.disconnectReader();
        link.connectReader(settings);
    }

    varo::link::LinkSettings settings;

    varo::link::ReaderLink link;
    FakeTransport *transport = nullptr;
};
