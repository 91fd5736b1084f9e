#pragma once

#include "sim/simfault.h"
#include "sim/simoptions.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace varo::sim {

class ReaderSimulator;
class SimPty;
class SimTcpServer;

// Several simulated readers in one process, each with its own state, recording and front ends.
// Reader i (from 0) listens on firstPort + i, or on any free port when firstPort is 0, and can
// have its own pseudo-terminal. A reader with the Refuse fault has its port closed (connections
// are refused) and no pseudo-terminal, even after replug(). Everything runs on the caller's
// event loop; nothing blocks.
class SimFleet : public QObject {
    Q_OBJECT

public:
    SimFleet(const SimOptions &options, int count, const QMap<int, FaultMode> &faults = {},
             QObject *parent = nullptr);
    ~SimFleet() override;

    int size() const;
    ReaderSimulator *reader(int index) const;
    SimTcpServer *tcp(int index) const;
    SimPty *pty(int index) const; // null until openPtys()
    std::optional<FaultMode> fault(int index) const;

    // false with `error` set when a port cannot be had; readers already listening stay so.
    bool listen(quint16 firstPort, QString *error);
    // One pseudo-terminal per reader; with linkPath set, a symbolic link to each slave
    // (perReaderPath()) that follows every re-creation.
    bool openPtys(const QString &linkPath, QString *error);

    // `path` itself for a single reader, else `path` + "." + index.
    static QString perReaderPath(const QString &path, int index, int count);

    // The readers vanish: listeners closed, clients aborted, pseudo-terminals closed and their
    // links removed. replug() brings them back on the same ports with new pseudo-terminals.
    void unplug();
    bool replug();
    void unplug(int index);
    bool replug(int index);

signals:
    void unplugged(int index);
    void replugged(int index); // pty(index)->slavePath() is the new device, if any

private:
    struct Reader {
        std::unique_ptr<ReaderSimulator> sim;
        std::unique_ptr<SimTcpServer> tcp;
        std::unique_ptr<SimPty> pty;
        std::optional<FaultMode> fault;
    };
    bool refuses(int index) const;

    std::vector<Reader> m_readers;
};

} // namespace varo::sim
