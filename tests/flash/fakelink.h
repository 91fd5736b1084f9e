#pragma once

#include "link/readerlink.h"
#include "link/transport.h"

#include <QList>

// A transport that records every write separately and delivers whatever the test feeds it.
class FakeTransport : public varo::link::Transport {
    Q_OBJECT
public:
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

signals:
    void written(const QByteArray &bytes);

private:
    bool m_open = false;
};

// A connected ReaderLink whose transport is a FakeTransport.
struct FakeLink {
    explicit FakeLink(bool tcp) {
        link.settings().mode =
            tcp ? varo::link::LinkSettings::kTcp : varo::link::LinkSettings::kSerial;
        link.settings().remoteHost = QStringLiteral("127.0.0.1");
        link.settings().remotePort = QStringLiteral("1");
        link.setTransportFactory([this](const varo::link::LinkSettings &) {
            auto t = std::make_unique<FakeTransport>();
            transport = t.get();
            return t;
        });
        link.connectReader();
    }

    varo::link::ReaderLink link;
    FakeTransport *transport = nullptr;
};
