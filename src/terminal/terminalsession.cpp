#include "terminalsession.h"

#include "common/numbertext.h"
#include "link/readerlink.h"

namespace varo::terminal {

TerminalSession::TerminalSession(link::ReaderLink *link, QObject *parent)
    : QObject(parent)
    , m_link(link) {
    if (m_link)
        connect(m_link, &link::ReaderLink::statusChanged, this, &TerminalSession::onStatusChanged);
}

TerminalSession::~TerminalSession() {
    if (m_running && m_link)
        m_link->endOperation(kOperation);
}

QString TerminalSession::statusTextFor(const link::LinkSettings &settings) {
    if (settings.isTcp()) {
        return QStringLiteral("Connected to ") + settings.remoteHost.trimmed() +
               QStringLiteral(" Port ") + settings.remotePort.trimmed();
    }
    return QStringLiteral("Connected to comm port") + signedNumberText(settings.commPort);
}

bool TerminalSession::start() {
    if (!m_link || !m_link->isConnected())
        return false;
    if (!m_running) {
        if (!m_link->beginOperation(kOperation))
            return false;
        connect(m_link, &link::ReaderLink::dataArrived, this, &TerminalSession::receive,
                Qt::UniqueConnection);
        m_running = true;
    }

    const link::LinkSettings &settings = m_link->settings();
    m_keys.setTcpMode(settings.isTcp());
    if (settings.isTcp())
        m_keys.setTcpFlag(true);
    m_grid.reset();
    m_statusText = statusTextFor(settings);
    emit statusTextChanged(m_statusText);
    emit runningChanged(true);
    emit gridChanged();
    // Input that was already waiting is shown like input arriving now.
    receive();
    return true;
}

void TerminalSession::stop() {
    if (!m_running)
        return;
    m_running = false;
    m_keys.focusLost();
    if (m_link) {
        disconnect(m_link, &link::ReaderLink::dataArrived, this, &TerminalSession::receive);
        m_link->endOperation(kOperation);
    }
    emit runningChanged(false);
}

bool TerminalSession::keyPress(int key, Qt::KeyboardModifiers modifiers, const QString &text,
                               bool autoRepeat) {
    if (!m_running)
        return false;
    if (m_link)
        m_keys.setTcpMode(m_link->settings().isTcp());
    const KeyOutcome outcome = m_keys.keyPress(key, modifiers, text, autoRepeat);
    type(outcome.bytes);
    return outcome.consumed;
}

bool TerminalSession::keyRelease(int key, Qt::KeyboardModifiers modifiers, bool autoRepeat) {
    if (!m_running)
        return false;
    const KeyOutcome outcome = m_keys.keyRelease(key, modifiers, autoRepeat);
    type(outcome.bytes);
    return outcome.consumed;
}

void TerminalSession::type(const QByteArray &bytes) {
    if (bytes.isEmpty())
        return;
    for (const char byte : bytes) {
        m_grid.put(std::uint8_t(byte), Ink::Typed);
        // Echoed whether or not the write succeeds; a closed link is not reported here.
        if (m_link)
            m_link->writeRaw(QByteArray(1, byte));
    }
    emit gridChanged();
}

void TerminalSession::clearScreen() {
    m_grid.reset();
    emit gridChanged();
}

void TerminalSession::receive() {
    if (!m_running || !m_link || m_link->pendingCount() == 0)
        return;
    const QByteArray bytes = m_link->takePending();
    for (const char byte : bytes)
        m_grid.put(std::uint8_t(byte), Ink::Received);
    emit gridChanged();
}

void TerminalSession::onStatusChanged(const QString &status) {
    if (status == link::ReaderLink::kDisconnected)
        stop();
}

} // namespace varo::terminal
