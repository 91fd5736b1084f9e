#include "loopbackengine.h"

#include "common/numbertext.h"
#include "link/readerlink.h"

namespace varo::loopback {

LoopbackEngine::LoopbackEngine(link::ReaderLink *link, QObject *parent)
    : link::ReaderOperation(parent)
    , m_link(link) {
    m_timer.setSingleShot(true);
    // Timeouts are never cut short (a coarse timer may fire up to 5% early).
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_state == State::Settling)
            onSettled();
    });
    connect(&m_echoTimeout, &link::WaitTimeout::expired, this, [this] {
        if (m_state == State::Echoing)
            onTimeout();
    });
    if (m_link)
        connect(m_link, &link::ReaderLink::dataArrived, this, &LoopbackEngine::onDataArrived);
}

LoopbackEngine::~LoopbackEngine() = default;

QString LoopbackEngine::hex(quint8 value) {
    return QString::number(value, 16).toUpper();
}

bool LoopbackEngine::isTcp() const {
    return m_tcp;
}

bool LoopbackEngine::start() {
    if (!m_link)
        return false;
    if (isRunning()) {
        emit refused(m_link->activeOperationName());
        return false;
    }
    // A broken link would otherwise time out once per byte for hours.
    m_claim = m_link->claim(link::Operation::Loopback, [this](const link::LinkEnd &end) {
        stopWith(link::resultOf(end));
        endNow();
    });
    if (!m_claim) {
        emit refused(m_link->activeOperationName());
        return false;
    }
    m_data = {};
    m_data.echo = link::EchoCounts{};
    m_tcp = m_link->settings().isTcp();
    m_stopRequested = false;
    m_endResult = {};
    // Without a link every byte would only time out; the test ends before its first byte.
    if (!m_link->isConnected())
        stopWith({link::ResultCode::NotConnected, link::statusText(m_link->state())});
    m_count = 0;
    m_pass = 0;
    m_value = 0;
    m_awaitingEcho = false;
    emit started();
    if (m_link->isBroken()) {
        // The medium is gone: the test says so and ends without sending anything.
        stopWith({link::ResultCode::LinkError, m_link->unusableReason()});
        m_state = State::Echoing;
        finish();
        return true;
    }
    emit lineAdded(m_tcp ? QStringLiteral("Starting Loopback Test on tcp port")
                         : QStringLiteral("Starting Loopback Test on serial port"));
    m_link->writeRaw(kStartSequence);
    // Whatever the reader answers meanwhile is not looked at; the wait lasts its full interval.
    m_state = State::Settling;
    m_timer.start(m_tcp ? m_timings.settleTcp : m_timings.settleSerial);
    return true;
}

void LoopbackEngine::onSettled() {
    if (!m_link) {
        finish();
        return;
    }
    if (m_tcp) {
        m_link->discardPending();
    } else if (m_link->pendingCount() > 1) {
        // A serial drain reads while more than one character waits: one may stay behind.
        m_link->takePending(m_link->pendingCount() - 1);
    }
    if (!m_link->writeRaw(QByteArray(1, kEchoCommand)))
        stopWith({link::ResultCode::LinkError, writeFailedText()});
    m_count = 0;
    m_state = State::Echoing;
    pump();
}

void LoopbackEngine::onTimeout() {
    if (!m_awaitingEcho)
        return;
    m_awaitingEcho = false;
    countError(signedNumberText(m_count) + QStringLiteral(": timeout"));
    pump();
}

void LoopbackEngine::onDataArrived() {
    if (m_state == State::Echoing && m_awaitingEcho)
        pump();
}

void LoopbackEngine::stopWith(const link::OperationResult &result) {
    if (m_stopRequested)
        return;
    m_stopRequested = true;
    m_endResult = result;
}

void LoopbackEngine::pump() {
    // An echo delivered from inside writeRaw() is picked up by the loop below, not by recursion.
    if (m_pumping)
        return;
    m_pumping = true;
    while (m_state == State::Echoing) {
        if (m_awaitingEcho && !takeEcho())
            break;
        if (m_stopRequested || m_pass >= m_timings.passes || !m_link) {
            finish();
            break;
        }
        sendNext();
    }
    m_pumping = false;
}

bool LoopbackEngine::takeEcho() {
    // Nothing, or more than one byte, is no echo yet; the latter runs into the timeout.
    if (!m_link || m_link->pendingCount() != 1)
        return false;
    const char echo = m_link->takePending(1).at(0);
    m_awaitingEcho = false;
    m_echoTimeout.cancel();
    if (echo != m_sent) {
        countError(signedNumberText(m_count) + QStringLiteral(": bad echo, expected ") +
                   hex(quint8(m_sent)) + QStringLiteral(" received ") + hex(quint8(echo)));
    }
    return true;
}

void LoopbackEngine::sendNext() {
    ++m_count;
    m_data.echo->sent = m_count;
    if (m_tcp || m_count % kSerialDisplayEvery == 0) {
        emit countChanged(m_count);
        emit progressed();
    }
    m_sent = char(m_value);
    if (++m_value > 255) {
        m_value = 0;
        ++m_pass;
    }
    // The first byte that cannot be written ends the test: no echo can come back.
    if (!m_link->writeRaw(QByteArray(1, m_sent)) || !m_link->flush()) {
        stopWith({link::ResultCode::LinkError, writeFailedText()});
        return;
    }
    m_awaitingEcho = true;
    m_echoTimeout.start(m_tcp ? m_timings.echoTcp : m_timings.echoSerial);
}

QString LoopbackEngine::writeFailedText() const {
    const QString reason = m_link ? m_link->lastError() : QString();
    return QStringLiteral("Writing to the reader failed: ") + reason;
}

void LoopbackEngine::endNow() {
    // The link has ended: no echo and no settling can finish any more, so nothing waits for a
    // timeout. Inside pump() (the end came from a write) the loop itself ends the test.
    if (m_pumping || m_state == State::Idle)
        return;
    m_timer.stop();
    m_echoTimeout.cancel();
    m_awaitingEcho = false;
    m_state = State::Echoing;
    pump();
}

void LoopbackEngine::countError(const QString &line) {
    if (m_data.echo->errors++ == 0)
        m_data.echo->firstError = line;
    emit lineAdded(line);
}

void LoopbackEngine::finish() {
    m_timer.stop();
    m_echoTimeout.cancel();
    m_state = State::Idle;
    m_awaitingEcho = false;
    if (m_endResult.code == link::ResultCode::LinkError)
        emit lineAdded(QStringLiteral("Link error: ") + m_endResult.message);
    emit lineAdded(signedNumberText(m_count) + QStringLiteral(": end of test"));
    m_claim.release();
    const link::OperationResult result = std::exchange(m_endResult, {});
    m_stopRequested = false;
    m_data.echo->sent = m_count;
    emit finished(result);
}

} // namespace varo::loopback
