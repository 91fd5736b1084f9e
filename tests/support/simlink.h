#pragma once

#include "link/readerlink.h"
#include "sim/readersimulator.h"
#include "sim/simpty.h"
#include "sim/simtcpserver.h"

#include <QSignalSpy>
#include <QTest>

#include <chrono>
#include <memory>

// A ReaderLink connected to the simulated reader over TCP on 127.0.0.1 or over a
// pseudo-terminal, with a short reply timeout.
struct SimLink {
    enum class Medium { Tcp, Pty };
    static constexpr int kPtyPort = 7;

    explicit SimLink(std::chrono::milliseconds replyTimeout = std::chrono::milliseconds(300)) {
        link.setTimings({replyTimeout, std::chrono::milliseconds(2000)});
    }

    // Opens the medium and connects the link; false when either step fails.
    bool connect(Medium m) {
        medium = m;
        if (medium == Medium::Tcp) {
            tcp = std::make_unique<varo::sim::SimTcpServer>(&sim);
            if (!tcp->listen())
                return false;
            settings.mode = varo::link::LinkMode::Tcp;
            settings.host = QStringLiteral("127.0.0.1");
            settings.tcpPort = tcp->port();
        } else if (!openPty()) {
            return false;
        }
        return connectLink();
    }

    // A fresh pseudo-terminal that serial port kPtyPort points at.
    bool openPty() {
        pty = std::make_unique<varo::sim::SimPty>(&sim);
        if (!pty->open())
            return false;
        qputenv(QStringLiteral("VARO_COM%1").arg(kPtyPort).toLatin1(),
                pty->slavePath().toLocal8Bit());
        settings.mode = varo::link::LinkMode::Serial;
        settings.commPort = kPtyPort;
        return true;
    }

    bool connectLink() {
        QSignalSpy finished(&link, &varo::link::ReaderLink::connectFinished);
        if (!link.connectReader(settings))
            return false;
        if (!link.isConnected() && !finished.wait(3000))
            return false;
        if (!link.isConnected())
            return false;
        // TCP: the server sees the client before the first byte is sent.
        return !tcp || QTest::qWaitFor([this] { return tcp->hasClient(); }, 2000);
    }

    Medium medium = Medium::Tcp;
    // What the next connectLink() opens; filled in by connect() and openPty().
    varo::link::LinkSettings settings;
    varo::sim::ReaderSimulator sim;
    std::unique_ptr<varo::sim::SimTcpServer> tcp;
    std::unique_ptr<varo::sim::SimPty> pty;
    varo::link::ReaderLink link;
};

Q_DECLARE_METATYPE(SimLink::Medium)
