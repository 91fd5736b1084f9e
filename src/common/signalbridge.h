#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace varo::common {

// SIGINT and SIGTERM as a Qt signal: the handler only writes the signal's number into a socket
// pair, and `received` is emitted from the event loop of the thread that made the bridge, never
// from the handler. SIGPIPE is ignored, so a closed pipe fails a write instead of ending the
// process. One bridge per process; when it is gone, SIGINT and SIGTERM act as by default again.
class SignalBridge : public QObject {
    Q_OBJECT

public:
    explicit SignalBridge(QObject *parent = nullptr);
    ~SignalBridge() override;

    // False when the socket pair could not be made (no signal will be reported).
    bool isInstalled() const { return m_notifier != nullptr; }

signals:
    // SIGINT or SIGTERM arrived; emitted once per signal.
    void received(int signalNumber);

private:
    void readSignal();

    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace varo::common
