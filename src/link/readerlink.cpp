#include "readerlink.h"

#include <QMetaMethod>

#include <utility>

#include <algorithm>

#include "serialdevices.h"
#include "serialtransport.h"
#include "tcptransport.h"

namespace varo::link {

namespace {

const QString kNotOpen = QStringLiteral("The link to the reader is not open.");
const QString kWriteRefused = QStringLiteral("Writing to the reader failed.");

std::unique_ptr<Transport> makeTransport(const LinkSettings &settings) {
    if (settings.isTcp()) {
        const QString host = settings.host.trimmed();
        if (settings.tcpPort == 0 || host.isEmpty())
            return nullptr;
        return std::make_unique<TcpTransport>(host, settings.tcpPort);
    }
    return std::make_unique<SerialTransport>(settings.serialDevicePath(), settings.baudRate);
}

} // namespace

ReaderLink::ReaderLink(QObject *parent)
    : QObject(parent)
    , m_factory(makeTransport) {
    // Precise timers: a wait must never end before its full length.
    connect(&m_replyTimeout, &WaitTimeout::expired, this, &ReaderLink::onReplyTimeout);
    m_connectTimer.setTimerType(Qt::PreciseTimer);
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, &ReaderLink::onConnectTimeout);
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &ReaderLink::attemptReconnect);
}

ReaderLink::~ReaderLink() {
    m_replyCallback = nullptr;
    m_onLinkEnded = nullptr;
    if (m_transport) {
        m_transport->disconnect(this);
        m_transport->close();
    }
}

bool ReaderLink::isTransportOpen() const {
    return m_transport && m_transport->isOpen();
}

bool ReaderLink::connectReader(const LinkSettings &settings) {
    if (m_state != LinkState::Disconnected)
        return false;
    dropTransport();
    m_pending.clear();
    m_lastError.clear();
    m_connectError = {};
    m_settings = settings;
    // What tells the device apart when it comes back: its USB serial number, path and port.
    m_device = {};
    m_repeatedLoss = false;
    m_retryDelay = kFirstRetry;
    if (!m_settings.isTcp()) {
        m_device = deviceAt(m_settings.serialDevicePath());
        if (m_device.path.isEmpty())
            m_device.path = m_settings.serialDevicePath(); // not listed: known by its path
    }
    openTransport(m_settings);
    return true;
}

void ReaderLink::openTransport(const LinkSettings &settings) {
    std::unique_ptr<Transport> transport = m_factory(settings);
    if (!transport) {
        // An empty or invalid port or host: the attempt fails at once, like a refused one.
        if (settings.isTcp())
            failConnect(ConnectFailure::Other, QStringLiteral("No valid TCP address and port."));
        else
            failConnect(ConnectFailure::NoSuchDevice, QStringLiteral("No serial device chosen."));
        return;
    }
    m_transport = std::move(transport);
    Transport *t = m_transport.get();
    if (m_state != LinkState::Reconnecting)
        setState(LinkState::Connecting);
    connect(t, &Transport::dataReceived, this, &ReaderLink::onDataReceived);
    connect(t, &Transport::opened, this, &ReaderLink::onTransportOpened);
    connect(t, &Transport::failed, this, &ReaderLink::onTransportFailed);
    m_connectTimer.start(m_timings.connectWindow);
    t->open();
}

void ReaderLink::onTransportOpened() {
    if (m_state != LinkState::Connecting && m_state != LinkState::Reconnecting)
        return;
    const bool again = m_state == LinkState::Reconnecting;
    m_connectTimer.stop();
    m_openedAt.start();
    m_lastError.clear();
    m_connectError = {};
    setState(LinkState::Connected);
    if (again)
        emit reconnected();
    else
        emit connectFinished(true);
}

void ReaderLink::setAutoReconnect(bool on) {
    m_autoReconnect = on;
    if (!on && m_state == LinkState::Reconnecting) {
        // Turned off while trying: the link stays lost until the user disconnects.
        m_retryTimer.stop();
        dropTransport();
        setState(LinkState::Lost);
    }
}

void ReaderLink::scheduleReconnect() {
    m_retryTimer.start(m_retryDelay);
    emit reconnectScheduled(m_retryDelay);
}

void ReaderLink::attemptReconnect() {
    if (m_state != LinkState::Reconnecting)
        return;
    dropTransport();
    const std::chrono::milliseconds waited = m_retryDelay;
    m_retryDelay = std::min(m_retryDelay * 2, kLongestRetry);
    LinkSettings again = m_settings;
    if (!again.isTcp()) {
        const ReconnectChoice choice = chooseReconnectDevice(m_device, detectedDevices());
        if (!choice.refusal.isEmpty()) {
            m_lastError = choice.refusal;
            m_retryDelay = waited;
            setState(LinkState::Lost);
            emit reconnectRefused(choice.refusal);
            return;
        }
        if (choice.path.isEmpty()) {
            // The device is not back (or another one is where it was): wait for the next try.
            scheduleReconnect();
            return;
        }
        again.serialDevice = choice.path;
    }
    openTransport(again);
}

QString ReaderLink::unusableReason() const {
    switch (m_state) {
    case LinkState::Connected:
        return {};
    case LinkState::Lost:
        return QStringLiteral("The link to the reader is lost: %1 Disconnect and connect again.")
            .arg(m_lastError);
    case LinkState::Reconnecting:
        return QStringLiteral("The link to the reader is lost and is being reconnected: %1")
            .arg(m_lastError);
    case LinkState::Disconnected:
    case LinkState::Connecting:
        break;
    }
    return statusText(LinkState::Disconnected);
}

bool ReaderLink::disconnectReader() {
    if (!isConnected())
        return false;
    m_retryTimer.stop();
    dropTransport();
    m_pending.clear();
    m_retryDelay = kFirstRetry;
    m_lastError.clear();
    m_state = LinkState::Disconnected;
    endWaits({WaitEnd::Disconnected, {}});
    emit stateChanged(m_state);
    return true;
}

bool ReaderLink::sendCommand(const QByteArray &cmd) {
    m_sendFailed = false;
    if (!m_settings.isTcp())
        m_pending.clear();
    const bool written = writeRaw(cmd + '\r');
    // Only a write the system has taken counts as sent.
    m_sendFailed = !(written && flush());
    return !m_sendFailed;
}

bool ReaderLink::sendWakeup() {
    m_sendFailed = false;
    bool written = false;
    if (m_settings.isTcp()) {
        written = writeRaw(QByteArrayLiteral("\r\r"));
    } else {
        const bool first = writeRaw(QByteArrayLiteral("\r"));
        const bool second = writeRaw(QByteArrayLiteral("\r"));
        written = first && second;
    }
    m_sendFailed = !(written && flush());
    return !m_sendFailed;
}

bool ReaderLink::readReply(QObject *context, ReplyCallback callback) {
    if (m_waiting)
        return false;
    m_waiting = true;
    m_replyContext = context;
    m_replyCallback = std::move(callback);
    // On a broken link nothing can answer: the wait ends at the next event-loop pass.
    m_replyTimeout.start(isBroken() ? std::chrono::milliseconds(0) : m_timings.replyTimeout);
    // Bytes that arrived before the read began count as received at its first look.
    if (!m_pending.isEmpty())
        QMetaObject::invokeMethod(this, &ReaderLink::tryCompleteReply, Qt::QueuedConnection);
    return true;
}

void ReaderLink::cancelReply() {
    m_replyTimeout.cancel();
    m_waiting = false;
    m_replyCallback = nullptr;
    m_replyContext = nullptr;
}

bool ReaderLink::writeRaw(const QByteArray &bytes) {
    if (!m_transport || !m_transport->isOpen()) {
        if (m_lastError.isEmpty())
            m_lastError = kNotOpen;
        return false;
    }
    if (!m_transport->write(bytes)) {
        if (m_lastError.isEmpty())
            m_lastError = kWriteRefused;
        return false;
    }
    trace(WireDirection::ToReader, bytes);
    return true;
}

void ReaderLink::trace(WireDirection direction, const QByteArray &bytes) {
    // Once per chunk: every write goes to the system as it is made, and every read comes as
    // one chunk. With nobody recording and the category off this is two checks and nothing
    // is built.
    static const QMetaMethod kWireTraffic = QMetaMethod::fromSignal(&ReaderLink::wireTraffic);
    const bool recorded = isSignalConnected(kWireTraffic);
    if (!recorded && !lcWire().isDebugEnabled())
        return;
    const WireChunk chunk{elapsedSinceOpenNs(), direction, m_operation, bytes};
    if (lcWire().isDebugEnabled()) {
        if (const WireLogSink sink = wireLogSink())
            sink(chunk, m_traceName);
        else
            qCDebug(lcWire).noquote() << wireLogLine(chunk, m_traceName);
    }
    if (recorded)
        emit wireTraffic(chunk);
}

bool ReaderLink::flush() {
    // The transport reports a write error through failed(), which may run inside flush().
    if (!m_transport || !m_transport->flush()) {
        if (m_lastError.isEmpty())
            m_lastError = kNotOpen;
        return false;
    }
    return true;
}

QByteArray ReaderLink::takePending(qsizetype maxBytes) {
    if (maxBytes < 0 || maxBytes >= m_pending.size()) {
        QByteArray all;
        all.swap(m_pending);
        return all;
    }
    QByteArray head = m_pending.left(maxBytes);
    m_pending.remove(0, maxBytes);
    return head;
}

OperationClaim ReaderLink::claim(Operation operation, LinkEndedCallback onLinkEnded) {
    if (m_claimId != 0)
        return {};
    m_claimId = ++m_lastClaimId;
    m_active = operation;
    m_operation = operationName(operation);
    m_onLinkEnded = std::move(onLinkEnded);
    m_claimToldError = false;
    m_claimToldDisconnect = false;
    emit busyChanged(true);
    return OperationClaim(this, m_claimId);
}

void ReaderLink::releaseClaim(quint64 id) {
    if (id == 0 || id != m_claimId)
        return;
    m_claimId = 0;
    m_active.reset();
    m_operation.clear();
    m_onLinkEnded = nullptr;
    emit busyChanged(false);
}

void ReaderLink::setState(LinkState state) {
    const bool changed = m_state != state;
    m_state = state;
    if (changed || state == LinkState::Disconnected)
        emit stateChanged(state);
}

void ReaderLink::onDataReceived(const QByteArray &bytes) {
    trace(WireDirection::FromReader, bytes);
    m_pending.append(bytes);
    if (m_waiting) {
        tryCompleteReply();
    } else if (m_pending.size() > kMaxPendingBytes) {
        m_pending.remove(0, m_pending.size() - kMaxPendingBytes);
    }
    emit dataArrived();
}

void ReaderLink::tryCompleteReply() {
    if (!m_waiting)
        return;
    const ReplyFramer framer(framingMode());
    if (std::optional<QByteArray> reply = framer.take(m_pending)) {
        // An overlong line fails as a timeout would, even when its CR has arrived.
        if (reply->size() > kMaxReplyBytes)
            finishReply({WaitEnd::Timeout, reply->left(kMaxReplyBytes), {}});
        else
            finishReply({WaitEnd::Reply, *reply, {}});
        return;
    }
    if (m_pending.size() > kMaxReplyBytes) {
        // A line without end: fail the exchange as a timeout would and drop the flood.
        QByteArray partial = m_pending.left(kMaxReplyBytes);
        m_pending.clear();
        finishReply({WaitEnd::Timeout, partial, {}});
    }
}

void ReaderLink::onReplyTimeout() {
    if (!m_waiting)
        return;
    if (isBroken()) {
        finishReply({WaitEnd::LinkError, m_pending.left(kMaxReplyBytes), m_lastError});
        return;
    }
    // The partial text is handed over and leaves the input with its exchange, so it cannot
    // turn up later as the start of another reply or in the terminal.
    QByteArray partial = m_pending.left(kMaxReplyBytes);
    m_pending.clear();
    finishReply({WaitEnd::Timeout, partial, {}});
}

void ReaderLink::finishReply(ReplyResult result) {
    m_replyTimeout.cancel();
    m_waiting = false;
    ReplyCallback callback = std::move(m_replyCallback);
    m_replyCallback = nullptr;
    QPointer<QObject> context = m_replyContext;
    m_replyContext = nullptr;
    if (callback && context)
        callback(result);
}

void ReaderLink::endWaits(const LinkEnd &end) {
    if (m_waiting) {
        finishReply({end.why, m_pending.left(kMaxReplyBytes),
                     end.why == WaitEnd::LinkError ? end.reason : QString()});
    }
    // Each kind of end is told once per claim: a link that broke and is then disconnected
    // by the user tells a holder that kept running (the terminal) of both.
    bool &told = end.why == WaitEnd::LinkError ? m_claimToldError : m_claimToldDisconnect;
    if (m_onLinkEnded && !told) {
        told = true;
        // A copy: the holder may release its claim (and so this callback) while it runs.
        const LinkEndedCallback onEnded = m_onLinkEnded;
        onEnded(end);
    }
}

void ReaderLink::onTransportFailed(const QString &reason) {
    if (m_state == LinkState::Reconnecting) {
        // The device or peer is not back yet.
        m_connectTimer.stop();
        dropTransport();
        scheduleReconnect();
        return;
    }
    if (m_state == LinkState::Connecting) {
        failConnect(m_transport ? m_transport->openFailure() : ConnectFailure::Other, reason);
        return;
    }
    // The link stays Lost until the user disconnects (or Reconnecting tries again); later
    // writes fail.
    if (m_state != LinkState::Connected)
        return;
    m_lastError = reason;
    // A link that went down again soon after a reconnect is the same outage: the back-off
    // goes on from where it was.
    m_repeatedLoss = m_openedAt.isValid() && m_openedAt.elapsed() < kStableUptime.count() * 1000 &&
                     m_retryDelay != kFirstRetry;
    if (!m_repeatedLoss)
        m_retryDelay = kFirstRetry;
    if (m_autoReconnect) {
        m_state = LinkState::Reconnecting;
        dropTransport();
    } else {
        m_state = LinkState::Lost;
    }
    // The status changes first, so whoever hears of the end already sees the broken link.
    emit stateChanged(m_state);
    if (m_state == LinkState::Reconnecting)
        scheduleReconnect();
    emit linkErrorOccurred(reason);
    endWaits({WaitEnd::LinkError, reason});
}

void ReaderLink::onConnectTimeout() {
    if (m_state == LinkState::Reconnecting) {
        dropTransport();
        scheduleReconnect();
        return;
    }
    if (m_state != LinkState::Connecting)
        return;
    failConnect(ConnectFailure::TimedOut,
                m_transport ? m_transport->openTimedOutText() : m_lastError);
}

void ReaderLink::failConnect(ConnectFailure kind, const QString &message) {
    m_connectTimer.stop();
    dropTransport();
    m_lastError = message;
    m_connectError = {kind, message};
    setState(LinkState::Disconnected);
    emit connectFinished(false);
}

void ReaderLink::dropTransport() {
    m_connectTimer.stop();
    if (!m_transport)
        return;
    m_transport->disconnect(this);
    m_transport->close();
    // Deleted later: this may run inside one of the transport's own signals.
    m_transport.release()->deleteLater();
}

ReplyFramer::Mode ReaderLink::framingMode() const {
    return m_settings.isTcp() ? ReplyFramer::Mode::Tcp : ReplyFramer::Mode::Serial;
}

} // namespace varo::link
