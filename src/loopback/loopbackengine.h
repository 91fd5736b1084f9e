#pragma once

#include "link/operation.h"
#include "link/operationclaim.h"
#include "link/waittimeout.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>

namespace varo::link {
class ReaderLink;
}

namespace varo::loopback {

// Waits and size of a loopback test. Tests shorten them; the product keeps the defaults.
struct LoopbackTimings {
    std::chrono::milliseconds settleSerial{2000};
    std::chrono::milliseconds settleTcp{5000};
    std::chrono::milliseconds echoSerial{1000};
    std::chrono::milliseconds echoTcp{5000};
    int passes = 2000; // each pass sends the 256 byte values once
};

// The loopback test as a state machine on the link.
//
// Start sends 00 1B 0D 00 1B 0D, waits the full settle interval without looking at replies,
// drains the input (TCP: all of it; serial: all but one character), sends "*" and then every
// byte value 0..255, pass after pass, one byte in flight: the next byte goes out when the echo
// of the previous one has been judged. An echo is judged when exactly one byte waits; with
// more than one waiting the byte runs into its timeout. Results come as text lines.
//
// Event-driven: echoes are handled from ReaderLink::dataArrived, timeouts by one re-armed
// single-shot timer. While a test runs the link is held (operation "Loopback Test"); when the
// link is disconnected or breaks under it the test ends before its next byte.
class LoopbackEngine : public link::ReaderOperation {
    Q_OBJECT
public:
    enum class State { Idle, Settling, Echoing };
    Q_ENUM(State)

    static inline const QByteArray kStartSequence = QByteArrayLiteral("\x00\x1b\r\x00\x1b\r");
    static constexpr char kEchoCommand = '*';
    static constexpr int kSerialDisplayEvery = 1000;

    explicit LoopbackEngine(link::ReaderLink *link, QObject *parent = nullptr);
    ~LoopbackEngine() override;

    void setTimings(const LoopbackTimings &timings) { m_timings = timings; }
    const LoopbackTimings &timings() const { return m_timings; }

    link::Operation operation() const override { return link::Operation::Loopback; }
    // Refused as every ReaderOperation is (a second start while the test runs included).
    bool start() override;
    // The test ends before its next byte; a byte already sent is still waited for.
    void requestStop() { stopWith({link::ResultCode::Cancelled, {}}); }
    bool stop() override {
        requestStop();
        return true;
    }

    bool isRunning() const override { return m_state != State::Idle; }
    State state() const { return m_state; }
    qint32 charactersSent() const { return m_count; }

    // The "40" and "41" of " 65: bad echo, expected 40 received 41".
    static QString hex(quint8 value);

signals:
    void started();
    void lineAdded(const QString &line);
    // The characters-sent display is due: after every byte over TCP, every 1000th over serial.
    void countChanged(qint32 count);
    // finished(): Ok after all passes, Cancelled when stopped, NotConnected, or Disconnected /
    // LinkError (with the reason) when the link ended under it. data().echo counts the bytes sent
    // and the echoes that were wrong or missing.

private:
    void onSettled();
    void onTimeout();
    void onDataArrived();
    // Asks the test to end before its next byte with `result` (the first request wins).
    void stopWith(const link::OperationResult &result);
    // Sends bytes and judges echoes until a wait is due or the test ends.
    void pump();
    bool takeEcho();
    void sendNext();
    void finish();
    void countError(const QString &line);
    bool isTcp() const;
    QString writeFailedText() const;
    // Ends a running test at once after the link ended under it.
    void endNow();

    QPointer<link::ReaderLink> m_link;
    link::OperationClaim m_claim;
    link::OperationResult m_endResult;
    LoopbackTimings m_timings;
    QTimer m_timer; // the settling pause
    link::WaitTimeout m_echoTimeout;
    State m_state = State::Idle;
    bool m_stopRequested = false;
    bool m_pumping = false;
    bool m_tcp = false;
    qint32 m_count = 0;
    int m_pass = 0;
    int m_value = 0; // the next byte value to send
    char m_sent = 0; // the byte in flight
    bool m_awaitingEcho = false;
};

} // namespace varo::loopback
