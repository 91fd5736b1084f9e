#include "terminalsession.h"

#include "common/numbertext.h"
#include "link/readerlink.h"

namespace varo::terminal {

TerminalSession::TerminalSession(link::ReaderLink *link, QObject *parent)
    : QObject(parent)
    , m_link(link) {}

TerminalSession::~TerminalSession() = default;

QString TerminalSession::statusTextFor(const link::LinkSettings &settings) {
    if (settings.isTcp()) {
        return QStringLiteral("Connected to ") + settings.host.trimmed() +
               QStringLiteral(" Port ") + QString::number(settings.tcpPort);
    }
    // A device chosen from the detected list has no port number: name the device instead.
    if (!settings.serialDevice.isEmpty())
        return QStringLiteral("Connected to ") + settings.serialDevice;
    return QStringLiteral("Connected to comm port") + signedNumberText(settings.commPort);
}

bool TerminalSession::start() {
    if (!m_link || !m_link->isConnected())
        return false;
    if (m_link->isBroken()) {
        // Keys would go nowhere: the status line says why the terminal does not start.
        m_statusText = m_link->unusableReason();
        emit statusTextChanged(m_statusText);
        return false;
    }
    if (!m_running) {
        // A broken medium ends the terminal with the reason on its status line, so typing
        // does not go nowhere; the user's disconnect ends it too.
        m_claim = m_link->claim(link::Operation::Terminal, [this](const link::LinkEnd &linkEnd) {
            if (linkEnd.why == link::WaitEnd::Disconnected) {
                end({link::ResultCode::Disconnected,
                     link::statusText(link::LinkState::Disconnected)});
                return;
            }
            m_statusText = QStringLiteral("Link lost: ") + linkEnd.reason;
            emit statusTextChanged(m_statusText);
            end({link::ResultCode::LinkError, linkEnd.reason});
        });
        if (!m_claim)
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
    end(link::OperationResult::success());
}

void TerminalSession::end(const link::OperationResult &result) {
    if (!m_running)
        return;
    m_running = false;
    m_keys.focusLost();
    if (m_link)
        disconnect(m_link, &link::ReaderLink::dataArrived, this, &TerminalSession::receive);
    m_claim.release();
    emit runningChanged(false);
    emit finished(result);
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

} // namespace varo::terminal
