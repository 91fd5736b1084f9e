#pragma once

#include "terminal/terminalgrid.h"
#include "terminal/terminalkeys.h"

#include "link/operationclaim.h"
#include "link/operationresult.h"

#include <QObject>
#include <QPointer>
#include <QString>

namespace varo::link {
class ReaderLink;
struct LinkSettings;
} // namespace varo::link

namespace varo::terminal {

// The raw character terminal without its widgets: received bytes are drawn red in arrival
// order as dataArrived() announces them, typed characters are drawn black and written as one
// byte each. While running it holds the link (operation "Terminal Mode"), so no line exchange
// interleaves with the terminal traffic; when the link is disconnected the terminal stops (a
// broken medium leaves it running: typing still draws). It uses no timer: an open terminal costs
// nothing while the line is quiet. The status text names the settings the open link was opened
// with.
class TerminalSession : public QObject {
    Q_OBJECT
public:
    explicit TerminalSession(link::ReaderLink *link, QObject *parent = nullptr);
    ~TerminalSession() override;

    // Terminal start: wipes the area, cursor to 1,1, sets the status text and, over TCP, the
    // terminal TCP flag. Returns false, changing nothing, when the link is not connected or
    // another operation holds it. Starting a running terminal restarts it.
    bool start();
    // Ends the terminal and releases the link; the drawn content stays.
    void stop();
    bool isRunning() const { return m_running; }

    // "Connected to comm port 2" or "Connected to 10.0.0.5 Port 4001", for the settings of
    // the open link.
    static QString statusTextFor(const link::LinkSettings &settings);
    QString statusText() const { return m_statusText; }

    bool tcpFlag() const { return m_keys.tcpFlag(); }

    // Key events of the drawing area. Return whether the event was used up. Keys do nothing
    // while the terminal is stopped.
    bool keyPress(int key, Qt::KeyboardModifiers modifiers, const QString &text,
                  bool autoRepeat = false);
    bool keyRelease(int key, Qt::KeyboardModifiers modifiers, bool autoRepeat = false);
    void focusLost() { m_keys.focusLost(); }

    // Draws each byte black and writes it to the link, one write per byte.
    void type(const QByteArray &bytes);
    // "Clear Screen": wipes the area and puts the cursor at 1,1; the link is not touched.
    void clearScreen();

    const TerminalGrid &grid() const { return m_grid; }
    const TerminalKeys &keys() const { return m_keys; }

signals:
    // The grid changed; emitted once per batch of characters, not per character.
    void gridChanged();
    void statusTextChanged(const QString &text);
    void runningChanged(bool running);
    // The terminal stopped: Ok when stopped by stop(), Disconnected when the link was
    // disconnected under it.
    void finished(const varo::link::OperationResult &result);

private:
    void receive();
    void end(const link::OperationResult &result);

    QPointer<link::ReaderLink> m_link;
    link::OperationClaim m_claim;
    TerminalGrid m_grid;
    TerminalKeys m_keys;
    QString m_statusText;
    bool m_running = false;
};

} // namespace varo::terminal
