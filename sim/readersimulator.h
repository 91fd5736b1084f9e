#pragma once

#include "sim/simoptions.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <memory>
#include <optional>

class QTimer;

namespace varo::sim {

class ReplyScheduler;

// Transport-agnostic simulated Varo reader. Front ends (SimTcpServer, SimPty, or a test) pass
// every byte received from the utility to feed() and write whatever bytesToSend() carries.
// Output with no delay, pieces or pacing is emitted synchronously from feed(); delays, pieces
// and line-rate pacing run on timers owned by the simulator, in order. Nothing blocks.
// Everything received is recorded for the lifetime of the object (clearReceived() forgets it).
class ReaderSimulator : public QObject {
    Q_OBJECT

public:
    enum class Mode {
        Line,          // CR-terminated commands
        LoaderCommand, // after the entry sequence: waiting for "B", "w" or "*"
        AwaitLoaderCommand = LoaderCommand,
        LoaderBlocks,  // length byte, data, checksum; 0x00 ends the data
        LoaderTrailer, // "B" mode: 44 trailer bytes and 8 date characters
        LoaderFill,    // after the final "B": 52-byte 0xFF fill passes
        Loopback       // every byte echoed
    };
    Q_ENUM(Mode)

    static constexpr int kTrailerSize = 44;
    static constexpr int kDateSize = 8;
    static constexpr int kFillPassSize = 52;
    static constexpr int kFlashBlockSize = 50;
    static constexpr int kBootBlockSize = 32;
    // Each client's input is bounded: a client that streams without end cannot grow the
    // simulator's memory. Beyond these the oldest recorded commands are forgotten, received()
    // keeps its first kMaxRecordedBytes, a line keeps its first kMaxLineBytes and the loader
    // keeps its first kMaxLoaderBytes of image data.
    static constexpr qsizetype kMaxRecordedBytes = 8 * 1024 * 1024;
    static constexpr qsizetype kMaxRecordedCommands = 100'000;
    static constexpr qsizetype kMaxLineBytes = 4096;
    static constexpr qsizetype kMaxLoaderBytes = 8 * 1024 * 1024;

    explicit ReaderSimulator(SimOptions options = {}, QObject *parent = nullptr);
    ~ReaderSimulator() override;

    SimOptions &options();
    const SimOptions &options() const;

    // Bytes from the utility.
    void feed(const QByteArray &bytes);

    // The link was closed or a new client connected: back to line mode, output not yet sent is
    // dropped. Recordings and counters are kept.
    void linkReset();

    // --- Recording ---
    QByteArray received() const;        // every byte received (see kMaxRecordedBytes)
    void clearReceived();               // forgets received bytes, commands and values
    QList<QByteArray> commands() const; // line commands without CR, wake-ups excluded
    int commandCount() const;           // line commands since creation / resetCounters()
    int wakeups() const;                // bare CRs received in line mode
    // Zeroes the counters that the fault options compare against (commands, "l" answers,
    // records sent), so a test can reconnect and start over.
    void resetCounters();
    // Payload of the last command with that code; empty when never received. Codes: "V",
    // "X001".."X102", "\\", "g", "h", "t", "+", "z", "lc", "lr", "l", "|5", "|1", "|2",
    // QByteArray("\0U1", 3) (reset), QByteArray("\0X", 2) (restart); any other command is
    // filed under its first character.
    QByteArray lastValue(const QByteArray &code) const;
    bool hasValue(const QByteArray &code) const;
    static QByteArray codeOf(const QByteArray &command);
    // One line per command "code payload" (non-printable bytes as <XX>), then the loader
    // and loopback results.
    QString report() const;
    bool writeReport(const QString &path) const;

    // --- Loader results (of the last loader session) ---
    QByteArray loaderCommand() const; // "B" or "w"; empty when none yet
    QByteArray loaderData() const;    // payload of accepted blocks, in order
    QByteArray loaderTrailer() const; // the 44 trailer bytes ("B" mode)
    QByteArray loaderDate() const;    // MMDDYYYY ("B" mode)
    int loaderBlocks() const;         // accepted blocks
    int rejectedBlocks() const;       // blocks answered "N" or left unanswered
    int fillPasses() const;           // 52-byte 0xFF passes after the final "B"
    bool loaderComplete() const;      // end marker (and trailer and date) received
    int entrySequences() const;       // entry sequences seen since creation

    // --- Reader state ---
    QDateTime readerClock() const;
    int remainingRecords() const; // records left for "l" before "END"
    Mode mode() const;

    // --- Loopback ---
    qint64 echoedBytes() const; // bytes received in the current/last echo session

    // Unsolicited text (terminal traffic): sends `text` once, paced at bytesPerSecond
    // (<= 0: all at once), then emits streamFinished(). stopStream() ends it early.
    void streamText(QByteArray text, int bytesPerSecond);
    void stopStream();
    bool streaming() const;

    // Output not yet emitted (delayed replies, pieces, pacing).
    qint64 pendingOutput() const;

signals:
    void bytesToSend(const QByteArray &bytes);
    void closeRequested();
    void bytesReceived(const QByteArray &bytes);
    void commandReceived(const QByteArray &command);
    void loaderFinished();
    void streamFinished();

private:
    void route(char byte);
    void flushHeldEntryBytes();
    void handleByte(char byte);
    void handleLineByte(char byte);
    void handleCommand(const QByteArray &command);
    std::optional<QByteArray> answerFor(const QByteArray &code, const QByteArray &payload);
    QByteArray setClock(const QByteArray &payload);
    std::optional<QByteArray> uploadNext(bool *closeAfter);
    void reply(const QByteArray &text);
    void handleLoaderCommand(char byte);
    void handleBlockByte(quint8 byte);
    void handleTrailerByte(char byte);
    void handleFillByte(char byte);
    void handleEchoByte(char byte);
    void loaderAnswer(const QByteArray &answer);
    void loaderFailed();
    void enterLoader();
    void streamTick();
    int recordTotal() const;
    QByteArray recordAt(int index) const;
    QDateTime now() const;

    SimOptions m_options;
    std::unique_ptr<ReplyScheduler> m_out;
    Mode m_mode = Mode::Line;
    quint64 m_linkGeneration = 0;

    QByteArray m_received;
    QList<QByteArray> m_commands;
    QList<QPair<QByteArray, QByteArray>> m_values; // (code, payload) in arrival order
    int m_commandCount = 0;
    int m_wakeups = 0;

    QByteArray m_line;
    int m_crRun = 0;
    QByteArray m_entryHeld; // held bytes that may start an entry sequence
    int m_entryTrack = 0;   // loopback: matched length, bytes not held
    QTimer *m_entryHoldTimer = nullptr;

    // Clock
    // The clock runs from m_clockBase; a change of options().clock is picked up when read.
    mutable QDateTime m_clockBase;
    mutable QDateTime m_clockOption;
    mutable QElapsedTimer m_clockTimer;

    // Records
    int m_uploadIndex = 0;
    int m_recordsSent = 0;
    int m_lAnswers = 0;
    bool m_recordsCleared = false;

    // Loader
    QByteArray m_loaderCommand;
    QByteArray m_loaderData;
    QByteArray m_loaderTrailer;
    QByteArray m_loaderDate;
    QByteArray m_block;
    int m_blockLength = -1; // -1: the next byte is a length byte
    int m_blocksSeen = 0;
    int m_loaderBlocks = 0;
    int m_rejectedBlocks = 0;
    int m_fillPasses = 0;
    int m_fillCount = 0;
    bool m_loaderComplete = false;
    int m_entrySequences = 0;

    // Loopback
    qint64 m_echoed = 0;

    // Stream
    QByteArray m_streamText;
    int m_streamRate = 0;
    qsizetype m_streamPos = 0;
    QElapsedTimer m_streamClock;
    QTimer *m_streamTimer = nullptr;
};

} // namespace varo::sim
