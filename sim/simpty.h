#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QSocketNotifier;
class QTimer;

namespace varo::sim {

class ReaderSimulator;

// Serves the simulator over a pseudo-terminal. The slave side is put in raw mode (no echo, no
// CR/LF translation, no flow control) before anyone opens it; the utility opens slavePath() as
// its serial device. The master is non-blocking: reads come through a notifier, writes are
// buffered and flushed when the master is writable. When the utility closes the slave the master
// reads EIO; the simulator then waits (retrying every 50 ms) for the slave to be opened again.
// With a link path set, a symbolic link there always points at the current slave: open()
// re-points it (each open() makes a new pseudo-terminal) and closeMaster() removes it, the way a
// USB adapter's device node comes and goes with the adapter.
class SimPty : public QObject {
    Q_OBJECT

public:
    explicit SimPty(ReaderSimulator *sim, QObject *parent = nullptr);
    ~SimPty() override;

    // The stable path for the slave. Only nothing or a symbolic link to a pseudo-terminal (one
    // this simulator made) may be there already, and at the path + ".new" it uses to re-point
    // the link; false when the link cannot be made (the pty, if open, stays open).
    bool setLinkPath(const QString &path);
    QString linkPath() const;
    bool open();
    QString slavePath() const;
    int masterFd() const; // -1 when closed
    bool isOpen() const;
    void closeMaster(); // the reader vanishes: the slave sees a hang-up
    qint64 bytesToWrite() const;

signals:
    void peerGone(); // the slave was closed (EIO on the master)

private:
    void readMaster();
    void flushWrites();
    void write(const QByteArray &bytes);
    void peerAbsent();
    bool pointLink();
    void removeLink();

    QPointer<ReaderSimulator> m_sim;
    int m_master = -1;
    QString m_slavePath;
    QString m_linkPath;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer *m_retryTimer = nullptr;
    QByteArray m_writeBuffer;
    // Unknown until the first read: output then waits in the slave's input queue.
    enum class Peer { Unknown, Present, Absent };
    Peer m_peer = Peer::Unknown;
};

} // namespace varo::sim
