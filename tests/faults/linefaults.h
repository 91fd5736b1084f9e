#pragma once

#include "faultrig.h"

#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

// Sets up `fault` on the rig before an operation starts. `dropAt` is the line command (counted
// from 1) at which the reader drops the link or starts its 10 MB flood; the caller arms the
// record-based drop of the upload itself.
inline void armFault(FaultRig &rig, Fault fault, int dropAt) {
    using namespace std::chrono_literals;
    auto &o = rig.sim.options();
    // Runs `action` when line command number `n` arrives, before the simulator answers it.
    auto atCommand = [&rig](int n, std::function<void()> action) {
        auto count = std::make_shared<int>(0);
        QObject::connect(&rig.sim, &varo::sim::ReaderSimulator::commandReceived, &rig.sim,
                         [count, n, action](const QByteArray &) {
                             if (++*count == n)
                                 action();
                         });
    };
    // Only the reply to command `dropAt` is delayed; the others come at once.
    auto delayOne = [&](int delayMs) {
        atCommand(dropAt, [&rig, delayMs] { rig.sim.options().replyDelayMs = delayMs; });
        atCommand(dropAt + 1, [&rig] { rig.sim.options().replyDelayMs = 0; });
    };
    switch (fault) {
    case Fault::DropByReader:
        o.closeAfterCommands = dropAt - 1;
        break;
    case Fault::DropWhileWaiting:
        rig.link.setTimings({2000ms, 2000ms});
        delayOne(300);
        atCommand(dropAt, [&rig] { QTimer::singleShot(50, &rig.sim, [&rig] { rig.drop(); }); });
        break;
    case Fault::Garbage:
        o.garbageBeforeReply = QByteArray("\x1b[2J#~\x01", 7);
        break;
    case Fault::SingleBytes:
        o.pieceSize = 1;
        o.pieceGapMs = 1;
        break;
    case Fault::JustInTime:
        rig.link.setTimings({500ms, 2000ms});
        delayOne(200);
        break;
    case Fault::TooLate:
        rig.link.setTimings({200ms, 2000ms});
        delayOne(450);
        break;
    case Fault::Flood:
        atCommand(dropAt, [&rig] { rig.sim.options().streamWithoutCr = 10 * 1024 * 1024; });
        break;
    case Fault::HighBytes:
        o.firmwareId = "VARO " + kOddText;
        o.ackReply = kOddText;
        break;
    }
}

inline bool dropsLink(Fault fault) {
    return fault == Fault::DropByReader || fault == Fault::DropWhileWaiting;
}

inline const char *faultName(Fault fault) {
    switch (fault) {
    case Fault::DropByReader:
        return "dropped by the reader";
    case Fault::DropWhileWaiting:
        return "dropped while a reply is due";
    case Fault::Garbage:
        return "garbage before replies";
    case Fault::SingleBytes:
        return "one-byte pieces";
    case Fault::JustInTime:
        return "reply just inside the timeout";
    case Fault::TooLate:
        return "reply just outside the timeout";
    case Fault::Flood:
        return "10 MB without CR";
    case Fault::HighBytes:
        return "NUL and high bytes";
    }
    return "?";
}

inline void addFaultRows(std::initializer_list<Fault> faults) {
    QTest::addColumn<FaultRig::Medium>("medium");
    QTest::addColumn<Fault>("fault");
    for (const auto &[medium, name] :
         {std::pair{FaultRig::Medium::Tcp, "tcp"}, std::pair{FaultRig::Medium::Pty, "pty"}}) {
        for (const Fault fault : faults)
            QTest::addRow("%s: %s", name, faultName(fault)) << medium << fault;
    }
}

// After a fault: the link is free, memory bounded, and (connected again when the reader
// dropped it) the reader answers normally.
inline bool recover(FaultRig &rig, Fault fault) {
    using namespace std::chrono_literals;
    if (rig.link.isBusy() || !rig.bounded())
        return false;
    rig.sim.options() = varo::sim::SimOptions{};
    rig.link.setTimings({1000ms, 2000ms});
    // Over TCP input nobody read is never discarded: a late reply or the rest of a flood would
    // be taken as the next reply. The technician's Disconnect/Connect clears it.
    const bool staleInput =
        rig.medium == FaultRig::Medium::Tcp && (fault == Fault::TooLate || fault == Fault::Flood);
    if (staleInput && !rig.settle())
        return false;
    if ((dropsLink(fault) || staleInput) && !rig.reconnect())
        return false;
    return rig.settle();
}
