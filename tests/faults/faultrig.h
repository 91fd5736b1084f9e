#pragma once

#include "link/readerlink.h"
#include "sim/readersimulator.h"
#include "sim/simpty.h"
#include "sim/simtcpserver.h"
#include "support/simlink.h"

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
struct FaultRig : SimLink {
    using SimLink::SimLink;

    // The reader drops the link: the TCP client is closed, or the pseudo-terminal vanishes.
    void drop() {
        if (tcp)
            tcp->closeClient();
        else
            pty->closeMaster();
    }

    // Disconnects (the link stays Lost after a drop) and connects again, with the
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

    // Waits until the simulator has sent everything it still owes and the bytes have landed;
    // false when it still owes some after 15 s.
    [[nodiscard]] bool settle() {
        const bool sent = waitUntil(
            [this] { return sim.pendingOutput() == 0 && (!pty || pty->bytesToWrite() == 0); },
            15000);
        QElapsedTimer quiet;
        quiet.start();
        waitUntil([&quiet] { return quiet.elapsed() >= 100; }, 1000);
        return sent;
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
        switch (result->end) {
        case varo::link::WaitEnd::Reply:
            break;
        case varo::link::WaitEnd::Timeout:
            return "<timeout>";
        case varo::link::WaitEnd::LinkError:
            return "<link error>";
        case varo::link::WaitEnd::Disconnected:
            return "<disconnected>";
        }
        return result->reply;
    }

    bool bounded() const { return link.pendingCount() <= varo::link::ReaderLink::kMaxPendingBytes; }
};

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
