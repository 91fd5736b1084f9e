#include "readerlink.h"

#include "serialtransport.h"
#include "tcptransport.h"

namespace varo::link {

namespace {

std::unique_ptr<Transport> makeTransport(const LinkSettings &settings) {
    if (settings.isTcp()) {
        bool ok = false;
        const uint port = settings.remotePort.trimmed().toUInt(&ok);
        if (!ok || port == 0 || port > 65535 || settings.remoteHost.trimmed().isEmpty())
            return nullptr;
        return std::make_unique<TcpTransport>(settings.remoteHost.trimmed(), quint16(port));
    }
    return std::make_unique<SerialTransport>(serialDeviceForPort(settings.commPort),
                                             settings.baudRate);
}

} // namespace

ReaderLink::ReaderLink(QObject *parent)
    : QObject(parent)
    , m_factory(makeTransport) {
    // Precise timers: a wait must never end before its full length.
    m_replyTimer.setTimerType(Qt::PreciseTimer);
    m_replyTimer.setSingleShot(true);
    connect(&m_replyTimer, &QTimer::timeout, this, &ReaderLink::onReplyTimeout);
    m_connectTimer.setTimerType(Qt::PreciseTimer);
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, &ReaderLink::onConnectTimeout);
}

ReaderLink::~ReaderLink() {
    m_replyCallback = nullptr;
    if (m_transport) {
        m_transport->disconnect(this);
        m_transport->close();
    }
}

bool ReaderLink::isTransportOpen() const {
    return m_transport && m_transport->isOpen();
}

bool ReaderLink::connectReader() {
    if (m_connected || m_connecting)
        return false;
    dropTransport();
    m_pending.clear();

    std::unique_ptr<Transport> transport = m_factory(m_settings);
    if (!transport) {
        // An empty or invalid port or host: the attempt fails at once, like a refused one.
        setConnected(false);
        emit connectFinished(false);
        return true;
    }
    m_transport = std::move(transport);
    Transport *t = m_transport.get();
    m_connecting = true;
    connect(t, &Transport::dataReceived, this, &ReaderLink::onDataReceived);
    connect(t, &Transport::opened, this, [this] {
        if (!m_connecting)
            return;
        m_connecting = false;
        m_connectTimer.stop();
        setConnected(true);
        emit connectFinished(true);
    });
    connect(t, &Transport::failed, this, &ReaderLink::onTransportFailed);
    m_connectTimer.start(m_timings.connectWindow);
    t->open();
    return true;
}

bool ReaderLink::disconnectReader() {
    if (!m_connected)
        return false;
    cancelReply();
    dropTransport();
    m_pending.clear();
    setConnected(false);
    return true;
}

bool ReaderLink::sendCommand(const QByteArray &cmd) {
    m_sendFailed = false;
    if (!m_settings.isTcp())
        m_pending.clear();
    m_sendFailed = !writeRaw(cmd + '\r');
    flush();
    return !m_sendFailed;
}

bool ReaderLink::sendWakeup() {
    m_sendFailed = false;
    if (m_settings.isTcp()) {
        m_sendFailed = !writeRaw(QByteArrayLiteral("\r\r"));
    } else {
        const bool first = writeRaw(QByteArrayLiteral("\r"));
        const bool second = writeRaw(QByteArrayLiteral("\r"));
        m_sendFailed = !(first && second);
    }
    flush();
    return !m_sendFailed;
}

bool ReaderLink::readReply(QObject *context, ReplyCallback callback) {
    if (m_waiting)
        return false;
    m_waiting = true;
    m_replyContext = context;
    m_replyCallback = std::move(callback);
    m_replyTimer.start(m_timings.replyTimeout);
    // Bytes that arrived before the read began count as received at its first look.
    if (!m_pending.isEmpty())
        QMetaObject::invokeMethod(this, &ReaderLink::tryCompleteReply, Qt::QueuedConnection);
    return true;
}

void ReaderLink::cancelReply() {
    m_replyTimer.stop();
    m_waiting = false;
    m_replyCallback = nullptr;
    m_replyContext = nullptr;
}

bool ReaderLink::writeRaw(const QByteArray &bytes) {
    if (!m_transport || !m_transport->isOpen())
        return false;
    return m_transport->write(bytes);
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

bool ReaderLink::beginOperation(const QString &name) {
    if (!m_operation.isEmpty())
        return false;
    m_operation = name;
    emit busyChanged(true);
    return true;
}

void ReaderLink::endOperation(const QString &name) {
    if (m_operation != name)
        return;
    m_operation.clear();
    emit busyChanged(false);
}

void ReaderLink::setConnected(bool connected) {
    const bool changed = m_connected != connected;
    m_connected = connected;
    if (changed || !connected)
        emit statusChanged(status());
}

void ReaderLink::onDataReceived(const QByteArray &bytes) {
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
            finishReply({reply->left(kMaxReplyBytes), true, {}});
        else
            finishReply({*reply, false, {}});
        return;
    }
    if (m_pending.size() > kMaxReplyBytes) {
        // A line without end: fail the exchange as a timeout would and drop the flood.
        QByteArray partial = m_pending.left(kMaxReplyBytes);
        m_pending.clear();
        finishReply({partial, true, {}});
    }
}

void ReaderLink::onReplyTimeout() {
    if (!m_waiting)
        return;
    // The partial text is handed over; with TCP framing it is all that was received.
    QByteArray partial = m_pending.left(kMaxReplyBytes);
    if (framingMode() == ReplyFramer::Mode::Tcp)
        m_pending.clear();
    finishReply({partial, true, {}});
}

void ReaderLink::finishReply(ReplyResult result) {
    m_replyTimer.stop();
    m_waiting = false;
    ReplyCallback callback = std::move(m_replyCallback);
    m_replyCallback = nullptr;
    QPointer<QObject> context = m_replyContext;
    m_replyContext = nullptr;
    if (callback && context)
        callback(result);
}

void ReaderLink::onTransportFailed(const QString &reason) {
    if (m_connecting) {
        m_connecting = false;
        m_connectTimer.stop();
        dropTransport();
        setConnected(false);
        emit connectFinished(false);
        return;
    }
    // The status stays "Connected" until the user disconnects; later writes fail.
    emit linkErrorOccurred(reason);
    if (m_waiting)
        finishReply({m_pending.left(kMaxReplyBytes), false, reason});
}

void ReaderLink::onConnectTimeout() {
    if (!m_connecting)
        return;
    m_connecting = false;
    dropTransport();
    setConnected(false);
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
