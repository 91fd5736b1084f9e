#pragma once

#include "link/readerlink.h"
#include "link/transport.h"
#include "support/simlink.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>

// An in-process medium: records every write and delivers what the test (or its peer function)
// hands back. Replies from the peer are delivered on a later event-loop turn, as a real medium
// would.
class ScriptedTransport : public varo::link::Transport {
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
    QByteArray sent() const { return writes.join(); }

    QList<QByteArray> writes;
    Peer peer;

private:
    bool m_open = false;
};

// A connected ReaderLink on a ScriptedTransport.
struct ScriptedLink {
    explicit ScriptedLink(bool tcp) {
        link.settings().mode =
            tcp ? varo::link::LinkSettings::kTcp : varo::link::LinkSettings::kSerial;
        link.settings().commPort = 2;
        link.settings().remoteHost = QStringLiteral(" 127.0.0.1 ");
        link.settings().remotePort = QStringLiteral("4001 ");
        link.setTransportFactory([this](const varo::link::LinkSettings &) {
            auto t = std::make_unique<ScriptedTransport>();
            transport = t.get();
            return t;
        });
        link.connectReader();
    }

    varo::link::ReaderLink link;
    ScriptedTransport *transport = nullptr;
};

// A ReaderLink connected to the simulated reader over TCP on 127.0.0.1 or a pseudo-terminal.
using SimulatedReader = SimLink;
