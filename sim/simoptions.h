#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>

namespace varo::sim {

// Behaviour of the simulated reader, including fault modes. Every field can be changed between
// exchanges through ReaderSimulator::options(); counters are compared against what the simulator
// has seen since it was created (or since resetCounters()).
struct SimOptions {
    // --- Line mode replies ---
    QByteArray firmwareId{"VARO SIM V1.0"}; // answer to "V"
    QByteArray ackReply{"OK"};              // answer to X001..X102, "\\", "g", "h"
    QByteArray replyTerminator{"\r"};       // appended to every line reply
    QByteArray wakeupReply;                 // sent for each wake-up CR CR pair (empty = none)
    QByteArray garbageBeforeReply;          // sent before each reply

    // --- Line mode faults ---
    bool silent = false;          // never answer line commands
    QByteArray silentOnCode;      // no answer to commands starting with this text
    int silentAfterCommands = -1; // answer N line commands, then fall silent
    bool emptyReplies = false;    // answer every line command with a bare terminator
    int replyDelayMs = 0;         // delay before each reply
    int pieceSize = 0;            // 0 = one write; n = n-byte pieces
    int pieceGapMs = 0;           // gap between pieces
    int closeAfterCommands = -1;  // answer N line commands, then drop the link (0: at the first)
    qint64 streamWithoutCr = 0;   // >0: answer the next line command with that many
                                  // bytes and no terminator (then resets to 0)
    bool echoTyped = false;       // line mode: echo each received character

    // --- Reader state ---
    QDateTime clock{QDate(2010, 3, 5), QTime(14, 2, 33)}; // start value; advances in real time
    int totalSlots = 32000;                               // "z" fields
    int used = 5;
    int uploaded = 0;

    // --- Stored records ("l" upload) ---
    int recordCount = 5;           // generated records when `records` is empty
    QList<QByteArray> records;     // explicit records (override generation)
    int recordsBeforeSilence = -1; // answer "l" that many times, then fall silent
    int closeAfterRecords = -1;    // drop the link right after the Nth record

    // --- Loader faults ---
    // A loader fault ends the loader session: later bytes are line input until the next entry
    // sequence.
    bool noReadyReply = false; // no "TK"/"YK" after "B"/"w", and no blocks taken
    int silentAtBlock = -1;    // no answer to block K (counted from 1)
    int wrongAckAtBlock = -1;  // answer "N" to block K although it is valid
    bool noFinalB = false;     // no "B" at the end of the data
    int ackDelayMs = 0;        // delay before each loader answer

    // --- Loopback faults (echoed bytes counted from 1) ---
    qint64 dropEchoAt = -1;   // byte N is not echoed
    qint64 alterEchoAt = -1;  // byte N is echoed as value + 1
    qint64 doubleEchoAt = -1; // byte N is echoed twice

    // --- Pacing ---
    int lineRateBaud = 0; // 0 = unlimited; else baud/10 bytes per second
};

} // namespace varo::sim
