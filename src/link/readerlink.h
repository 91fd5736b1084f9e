#pragma once

#include "connectfailure.h"
#include "linksettings.h"
#include "operation.h"
#include "operationclaim.h"
#include "replyframer.h"
#include "serialdevices.h"
#include "transport.h"
#include "waitend.h"
#include "waittimeout.h"
#include "wiretrace.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace varo::link {

// The one connection between the utility and a reader, over a serial port or TCP.
//
// Threading: everything runs on the thread that owns the object (the GUI thread). No call
// blocks: connectReader() reports through connectFinished(), readReply() through its callback.
// At most one reply wait is in flight; a second readReply() is refused.
//
// Settings: connectReader() takes the settings by value and the open link keeps them until it
// is disconnected. Framing (serial or TCP), device, host and port all follow the settings the
// link was opened with; what the screens choose meanwhile applies at the next connect only.
// settings() tells what the open link uses (for example the terminal's "Connected to ..." text).
//
// Waits end here, in one place: a pending readReply() callback learns why its wait ended
// (reply, timeout, disconnect by the user, link error with its reason), and the holder of the
// operation claim learns through its onLinkEnded callback when the link ends under it.
//
// Received bytes collect in a pending-input buffer, like a serial port's input buffer:
// the line protocol (readReply) takes its replies from it, and the character-level users
// (firmware loader, terminal, loopback test) read it through pendingCount()/takePending(),
// woken by dataArrived().
class ReaderLink : public QObject {
    Q_OBJECT
public:
    // A reply that grows beyond this without its CR ends the wait as a timeout would.
    static constexpr qsizetype kMaxReplyBytes = 64 * 1024;
    // Input nobody consumes is capped; the oldest bytes go first.
    static constexpr qsizetype kMaxPendingBytes = 1024 * 1024;

    using ReplyCallback = std::function<void(const ReplyResult &)>;
    using LinkEndedCallback = std::function<void(const LinkEnd &)>;
    using TransportFactory = std::function<std::unique_ptr<Transport>(const LinkSettings &)>;

    explicit ReaderLink(QObject *parent = nullptr);
    ~ReaderLink() override;

    // The settings the link was last opened with (read-only; pass new ones to connectReader()).
    const LinkSettings &settings() const { return m_settings; }
    void setTimings(const LinkTimings &timings) { m_timings = timings; }
    const LinkTimings &timings() const { return m_timings; }

    LinkState state() const { return m_state; }
    // The status label text of the state: "Connected", "Disconnected", "Link lost" or
    // "Reconnecting".
    QString status() const { return statusText(m_state); }
    // Whether the user's connection is open: Connected, or Lost/Reconnecting until the user
    // disconnects.
    bool isConnected() const {
        return m_state == LinkState::Connected || m_state == LinkState::Lost ||
               m_state == LinkState::Reconnecting;
    }
    // Whether the medium is broken under an open connection (Lost or Reconnecting).
    bool isBroken() const {
        return m_state == LinkState::Lost || m_state == LinkState::Reconnecting;
    }
    // Why an operation cannot start on the link now: empty when Connected; otherwise a message
    // for the user that names the reason (for example "The link to the reader is lost: ...").
    QString unusableReason() const;
    bool isConnecting() const { return m_state == LinkState::Connecting; }
    // Whether the medium itself is still open.
    bool isTransportOpen() const;
    // Why the last write could not be made, why the medium broke or why the last connect
    // failed (open errors in words a technician acts on); empty when none.
    QString lastError() const { return m_lastError; }
    // Why the last connect failed, as a kind next to the message; kind None after a success.
    ConnectError connectError() const { return m_connectError; }

    // connect_reader with `settings`. Returns false, doing nothing, when already connected (the
    // caller shows "Disconnect first before connecting") or while a connection attempt is
    // running. Serial connects at once; TCP reports within the connect window through
    // connectFinished(). An invalid port or empty host fails the attempt at once.
    bool connectReader(const LinkSettings &settings);
    // disconnect_reader. Returns false when already disconnected ("Already disconnected").
    // A pending reply wait ends with WaitEnd::Disconnected, the claim holder's onLinkEnded runs.
    bool disconnectReader();

    // send_command: writes `cmd` and one CR as one write. In serial mode pending input is
    // discarded first. Returns false (and sendFailed() becomes true) when the write fails.
    bool sendCommand(const QByteArray &cmd);
    // send_wakeup: CR CR (serial: two writes; TCP: one). Clears and sets sendFailed() like
    // sendCommand, so a failure left from an earlier operation does not linger.
    bool sendWakeup();
    bool sendFailed() const { return m_sendFailed; }

    // read_reply: waits up to the reply timeout for one CR-ended line; on a broken link the wait
    // ends at once with LinkError (nothing could answer). The callback runs once,
    // later (never inside this call), unless `context` is destroyed first or the wait is
    // cancelled. Returns false, doing nothing, when another wait is in flight.
    bool readReply(QObject *context, ReplyCallback callback);
    bool isWaitingForReply() const { return m_waiting; }
    // Abandons a reply wait without calling its callback (its owner is going away).
    void cancelReply();

    // Character-level access for the loader, the terminal and the loopback test. The bytes go
    // to the system at once where it takes them without waiting; what it cannot take yet is
    // queued and sent from the event loop, in order.
    bool writeRaw(const QByteArray &bytes);
    // Hands what the writes queued to the system now. Returns false when that fails.
    bool flush();
    qsizetype pendingCount() const { return m_pending.size(); }
    QByteArray takePending(qsizetype maxBytes = -1);
    void discardPending() { m_pending.clear(); }

    // One operation at a time on the link: an operation claims the link for its whole run and
    // the claim releases it when destroyed. Returns an empty claim when another operation holds
    // the link (activeOperation() names it). `onLinkEnded` runs when the link ends while the
    // claim is held: once when the medium breaks (LinkError with the reason) and once when the
    // user disconnects (Disconnected). A holder that ends at the first has released its claim
    // and hears nothing more.
    OperationClaim claim(Operation operation, LinkEndedCallback onLinkEnded = {});
    bool isBusy() const { return m_claimId != 0; }
    // The operation holding the link; empty when none.
    std::optional<Operation> activeOperation() const { return m_active; }
    // Its display name; empty when none.
    QString activeOperationName() const { return m_operation; }

    // Wire trace: every chunk received and every write (each is handed to the system as it is
    // made) is logged under lcWire (with traceName() in front) and emitted as wireTraffic()
    // while the category is on or something listens.
    void setTraceName(const QString &name) { m_traceName = name; }
    QString traceName() const { return m_traceName; }
    // Time since the link was last opened; the time base of the trace.
    qint64 elapsedSinceOpenNs() const {
        return m_openedAt.isValid() ? m_openedAt.nsecsElapsed() : 0;
    }

    // Automatic reconnect: after the medium breaks the link opens the same device (see
    // chooseReconnectDevice(): the same USB serial number and the same path or USB port) or TCP
    // peer again, first after kFirstRetry, then doubling up to kLongestRetry, until it succeeds
    // or the user disconnects. The state is Reconnecting meanwhile. When the device cannot be
    // told apart from another, nothing is opened: the state becomes Lost and reconnectRefused()
    // says why. The delay starts again from kFirstRetry only after the link stayed up for
    // kStableUptime: a peer that accepts and drops at once is retried ever more slowly, and its
    // drops count as one outage (isRepeatedLoss()). No operation resumes: the claims have ended
    // with the loss.
    static constexpr std::chrono::milliseconds kFirstRetry{500};
    static constexpr std::chrono::milliseconds kLongestRetry{5000};
    static constexpr std::chrono::seconds kStableUptime{10};
    void setAutoReconnect(bool on);
    bool autoReconnect() const { return m_autoReconnect; }
    // The delay before the next attempt while Reconnecting.
    std::chrono::milliseconds nextRetryDelay() const { return m_retryDelay; }
    // Whether the latest loss came before the link, reconnected, had stayed up for
    // kStableUptime: the same outage as the loss before it, already told.
    bool isRepeatedLoss() const { return m_repeatedLoss; }

    // Tests and the simulator demo replace how transports are made.
    void setTransportFactory(TransportFactory factory) { m_factory = std::move(factory); }

signals:
    void stateChanged(varo::link::LinkState state);
    void connectFinished(bool connected);
    void dataArrived();
    // The medium broke; `message` names the link error. The state becomes Lost (or
    // Reconnecting).
    void linkErrorOccurred(const QString &message);
    // The link opened its device or peer again after a loss.
    void reconnected();
    // The next reconnect attempt comes after `delay`.
    void reconnectScheduled(std::chrono::milliseconds delay);
    // Automatic reconnect stopped: `reason` says why the device was not opened again.
    void reconnectRefused(const QString &reason);
    void busyChanged(bool busy);
    // One chunk crossed the link (see setTraceName()). Emitted only while connected to.
    void wireTraffic(const varo::link::WireChunk &chunk);

private:
    friend class OperationClaim;

    void setState(LinkState state);
    void onDataReceived(const QByteArray &bytes);
    void trace(WireDirection direction, const QByteArray &bytes);
    void onTransportFailed(const QString &reason);
    void onConnectTimeout();
    // Ends a connect attempt that failed: the link is Disconnected, lastError() and
    // connectError() say why, connectFinished(false) is emitted.
    void failConnect(ConnectFailure kind, const QString &message);
    void onReplyTimeout();
    void tryCompleteReply();
    void finishReply(ReplyResult result);
    void endWaits(const LinkEnd &end);
    void dropTransport();
    void openTransport(const LinkSettings &settings);
    void onTransportOpened();
    void scheduleReconnect();
    void attemptReconnect();
    void releaseClaim(quint64 id);
    ReplyFramer::Mode framingMode() const;

    LinkSettings m_settings;
    LinkTimings m_timings;
    TransportFactory m_factory;
    std::unique_ptr<Transport> m_transport;
    LinkState m_state = LinkState::Disconnected;
    bool m_sendFailed = false;
    QString m_lastError;
    QByteArray m_pending;
    WaitTimeout m_replyTimeout;
    QTimer m_connectTimer;
    QTimer m_retryTimer;
    bool m_autoReconnect = false;
    std::chrono::milliseconds m_retryDelay = kFirstRetry;
    DetectedDevice m_device; // the serial device at connect: path, USB serial number and port
    bool m_repeatedLoss = false;
    bool m_waiting = false;
    QPointer<QObject> m_replyContext;
    ReplyCallback m_replyCallback;
    QString m_operation;
    std::optional<Operation> m_active;
    ConnectError m_connectError;
    quint64 m_claimId = 0;
    quint64 m_lastClaimId = 0;
    QString m_traceName;
    QElapsedTimer m_openedAt;
    LinkEndedCallback m_onLinkEnded;
    bool m_claimToldError = false;
    bool m_claimToldDisconnect = false;
};

} // namespace varo::link
