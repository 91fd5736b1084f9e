#pragma once

#include "link/readerlink.h"
#include "sim/readersimulator.h"
#include "sim/simpty.h"
#include "sim/simtcpserver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>

// Runs a real event loop until `done` holds or `timeoutMs` passes; unlike QTest::qWaitFor it
// does not nap between looks, so bulk traffic flows at full speed.
template <typename Predicate> bool waitUntil(Predicate done, int timeoutMs) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    look.start(2);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// A ReaderLink on the simulated reader, over TCP on 127.0.0.1 or a pseudo-terminal, that the
// reader can drop and the test can connect again.
struct FaultRig {
    enum class Medium { Tcp, Pty };
    static constexpr int kPtyPort = 8;

    explicit FaultRig(std::chrono::milliseconds replyTimeout = std::chrono::milliseconds(300)) {
        link.setTimings({replyTimeout, std::chrono::milliseconds(2000)});
    }

    bool connect(Medium m) {
        medium = m;
        if (medium == Medium::Tcp) {
            tcp = std::make_unique<varo::sim::SimTcpServer>(&sim);
            if (!tcp->listen())
                return false;
            link.settings().mode = varo::link::LinkSettings::kTcp;
            link.settings().remoteHost = QStringLiteral("127.0.0.1");
            link.settings().remotePort = QString::number(tcp->port());
        } else if (!openPty()) {
            return false;
        }
        return connectLink();
    }

    // The reader drops the link: the TCP client is closed, or the pseudo-terminal vanishes.
    void drop() {
        if (tcp)
            tcp->closeClient();
        else
            pty->closeMaster();
    }

    // Disconnects (the status stays "Connected" after a drop) and connects again, with the
    // simulator's fault triggers disarmed.
    bool reconnect() {
        sim.options().closeAfterCommands = -1;
        sim.options().closeAfterRecords = -1;
        sim.resetCounters();
        if (pty && pty->isOpen()) {
            // The reader notices the closed line (and leaves any special mode) before the
            // utility opens it again.
            QSignalSpy gone(pty.get(), &varo::sim::SimPty::peerGone);
            link.disconnectReader();
            if (gone.isEmpty() && !gone.wait(2000))
                return false;
        } else {
            link.disconnectReader();
        }
        if (pty && !pty->isOpen() && !openPty())
            return false;
        return connectLink();
    }

    // Waits until the simulator has sent everything it still owes and the bytes have landed.
    void settle() {
        const bool sent = waitUntil(
            [this] { return sim.pendingOutput() == 0 && (!pty || pty->bytesToWrite() == 0); },
            15000);
        Q_UNUSED(sent);
        QElapsedTimer quiet;
        quiet.start();
        waitUntil([&quiet] { return quiet.elapsed() >= 100; }, 1000);
    }

    // One "V" exchange: the reply, or a marker naming how it failed.
    QByteArray exchangeV() {
        if (!link.sendCommand("V"))
            return "<send failed>";
        std::optional<varo::link::ReplyResult> result;
        QObject context;
        if (!link.readReply(&context, [&](const varo::link::ReplyResult &r) { result = r; }))
            return "<refused>";
        if (!waitUntil([&] { return result.has_value(); }, 5000))
            return "<no callback>";
        if (result->timedOut)
            return "<timeout>";
        if (!result->linkError.isEmpty())
            return "<link error>";
        return result->reply;
    }

    bool bounded() const { return link.pendingCount() <= varo::link::ReaderLink::kMaxPendingBytes; }

    Medium medium = Medium::Tcp;
    varo::sim::ReaderSimulator sim;
    std::unique_ptr<varo::sim::SimTcpServer> tcp;
    std::unique_ptr<varo::sim::SimPty> pty;
    varo::link::ReaderLink link;

private:
    bool openPty() {
        pty = std::make_unique<varo::sim::SimPty>(&sim);
        if (!pty->open())
            return false;
        qputenv("VARO_COM8", pty->slavePath().toLocal8Bit());
        link.settings().mode = varo::link::LinkSettings::kSerial;
        link.settings().commPort = kPtyPort;
        return true;
    }

    bool connectLink() {
        QSignalSpy finished(&link, &varo::link::ReaderLink::connectFinished);
        if (!link.connectReader())
            return false;
        if (!link.isConnected() && !finished.wait(3000))
            return false;
        if (!link.isConnected())
            return false;
        return !tcp || QTest::qWaitFor([this] { return tcp->hasClient(); }, 2000);
    }
};

Q_DECLARE_METATYPE(FaultRig::Medium)

// The faults every line operation meets.
enum class Fault {
    DropByReader,     // the simulator closes the link after a number of commands or records
    DropWhileWaiting, // the test closes the link while a delayed reply is on its way
    Garbage,          // bytes before every reply
    SingleBytes,      // every reply in one-byte pieces
    JustInTime,       // the reply comes at about half the reply timeout
    TooLate,          // the reply comes after the reply timeout
    Flood,            // 10 MB without a CR
    HighBytes         // NUL, bytes above 127 and markup in replies
};
Q_DECLARE_METATYPE(Fault)

inline const QByteArray kOddText = QByteArray("<b>\x00\x80\xff&amp;\x7f", 11);
