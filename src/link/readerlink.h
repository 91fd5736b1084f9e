#pragma once

#include "linksettings.h"
#include "replyframer.h"
#include "transport.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

namespace varo::link {

// Outcome of one read_reply.
struct ReplyResult {
    QByteArray reply; // the line without its CR; on a timeout, what had been collected
    bool timedOut = false;
    QString linkError; // non-empty when the link broke while the reply was awaited

    bool ok() const { return !timedOut && linkError.isEmpty(); }
};

// The one connection between the utility and a reader, over a serial port or TCP.
//
// Threading: everything runs on the thread that owns the object (the GUI thread). No call
// blocks: connectReader() reports through connectFinished(), readReply() through its callback.
// At most one reply wait is in flight; a second readReply() is refused.
//
// Received bytes collect in a pending-input buffer, like a serial port's input buffer:
// the line protocol (readReply) takes its replies from it, and the character-level users
// (firmware loader, terminal, loopback test) read it through pendingCount()/takePending(),
// woken by dataArrived().
class ReaderLink : public QObject {
    Q_OBJECT
public:
    static inline const QString kConnected = QStringLiteral("Connected");
    static inline const QString kDisconnected = QStringLiteral("Disconnected");
    // A reply that grows beyond this without its CR ends the wait as a timeout would.
    static constexpr qsizetype kMaxReplyBytes = 64 * 1024;
    // Input nobody consumes is capped; the oldest bytes go first.
    static constexpr qsizetype kMaxPendingBytes = 1024 * 1024;

    using ReplyCallback = std::function<void(const ReplyResult &)>;
    using TransportFactory = std::function<std::unique_ptr<Transport>(const LinkSettings &)>;

    explicit ReaderLink(QObject *parent = nullptr);
    ~ReaderLink() override;

    LinkSettings &settings() { return m_settings; }
    const LinkSettings &settings() const { return m_settings; }
    void setTimings(const LinkTimings &timings) { m_timings = timings; }
    const LinkTimings &timings() const { return m_timings; }

    // "Connected" or "Disconnected": the connection state every screen consults.
    QString status() const { return m_connected ? kConnected : kDisconnected; }
    bool isConnected() const { return m_connected; }
    bool isConnecting() const { return m_connecting; }
    // Whether the medium itself is still open (it may have broken while the status stays
    // "Connected" until the user disconnects).
    bool isTransportOpen() const;

    // connect_reader. Returns false, doing nothing, when already connected (the caller shows
    // "Disconnect first before connecting") or while a connection attempt is running.
    // Serial connects at once; TCP reports within the connect window through connectFinished().
    bool connectReader();
    // disconnect_reader. Returns false when already disconnected ("Already disconnected").
    bool disconnectReader();

    // send_command: writes `cmd` and one CR as one write. In serial mode pending input is
    // discarded first. Returns false (and sendFailed() becomes true) when the write fails.
    bool sendCommand(const QByteArray &cmd);
    // send_wakeup: CR CR (serial: two writes; TCP: one). Clears and sets sendFailed() like
    // sendCommand, so a failure left from an earlier operation does not linger.
    bool sendWakeup();
    bool sendFailed() const { return m_sendFailed; }

    // read_reply: waits up to the reply timeout for one CR-ended line. The callback runs once,
    // later (never inside this call), unless `context` is destroyed first.
    // Returns false, doing nothing, when another wait is in flight.
    bool readReply(QObject *context, ReplyCallback callback);
    bool isWaitingForReply() const { return m_waiting; }
    // Abandons a reply wait without calling its callback.
    void cancelReply();

    // Character-level access for the loader, the terminal and the loopback test.
    bool writeRaw(const QByteArray &bytes);
    // Sends what the writes queued at once; called where an answer is awaited next.
    void flush() {
        if (m_transport)
            m_transport->flush();
    }
    qsizetype pendingCount() const { return m_pending.size(); }
    QByteArray takePending(qsizetype maxBytes = -1);
    void discardPending() { m_pending.clear(); }

    // One operation at a time on the link: an operation claims the link for its whole run and
    // releases it at its end; a second claim is refused.
    bool beginOperation(const QString &name);
    void endOperation(const QString &name);
    bool isBusy() const { return !m_operation.isEmpty(); }
    QString activeOperation() const { return m_operation; }

    // Tests and the simulator demo replace how transports are made.
    void setTransportFactory(TransportFactory factory) { m_factory = std::move(factory); }

signals:
    void statusChanged(const QString &status);
    void connectFinished(bool connected);
    void dataArrived();
    // The medium broke; `message` names the link error. The status stays as it is.
    void linkErrorOccurred(const QString &message);
    void busyChanged(bool busy);

private:
    void setConnected(bool connected);
    void onDataReceived(const QByteArray &bytes);
    void onTransportFailed(const QString &reason);
    void onConnectTimeout();
    void onReplyTimeout();
    void tryCompleteReply();
    void finishReply(ReplyResult result);
    void dropTransport();
    ReplyFramer::Mode framingMode() const;

    LinkSettings m_settings;
    LinkTimings m_timings;
    TransportFactory m_factory;
    std::unique_ptr<Transport> m_transport;
    bool m_connected = false;
    bool m_connecting = false;
    bool m_sendFailed = false;
    QByteArray m_pending;
    QTimer m_replyTimer;
    QTimer m_connectTimer;
    bool m_waiting = false;
    QPointer<QObject> m_replyContext;
    ReplyCallback m_replyCallback;
    QString m_operation;
};

} // namespace varo::link
