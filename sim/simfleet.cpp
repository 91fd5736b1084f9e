#include "sim/simfleet.h"

#include "sim/readersimulator.h"
#include "sim/simpty.h"
#include "sim/simtcpserver.h"

namespace varo::sim {

SimFleet::SimFleet(const SimOptions &options, int count, const QMap<int, FaultMode> &faults,
                   QObject *parent)
    : QObject(parent) {
    m_readers.resize(std::size_t(std::max(count, 0)));
    for (int i = 0; i < size(); ++i) {
        Reader &reader = m_readers[std::size_t(i)];
        SimOptions own = options;
        if (faults.contains(i)) {
            reader.fault = faults.value(i);
            applyFault(own, *reader.fault);
        }
        reader.sim = std::make_unique<ReaderSimulator>(own);
        reader.tcp = std::make_unique<SimTcpServer>(reader.sim.get());
    }
}

// Front ends go before the simulators they serve (member order of Reader).
SimFleet::~SimFleet() = default;

int SimFleet::size() const {
    return int(m_readers.size());
}

ReaderSimulator *SimFleet::reader(int index) const {
    return m_readers.at(std::size_t(index)).sim.get();
}

SimTcpServer *SimFleet::tcp(int index) const {
    return m_readers.at(std::size_t(index)).tcp.get();
}

SimPty *SimFleet::pty(int index) const {
    return m_readers.at(std::size_t(index)).pty.get();
}

std::optional<FaultMode> SimFleet::fault(int index) const {
    return m_readers.at(std::size_t(index)).fault;
}

bool SimFleet::refuses(int index) const {
    return fault(index) == FaultMode::Refuse;
}

bool SimFleet::listen(quint16 firstPort, QString *error) {
    for (int i = 0; i < size(); ++i) {
        const int port = firstPort == 0 ? 0 : firstPort + i;
        if (port > 65535 || !tcp(i)->listen(quint16(port))) {
            *error = QStringLiteral("cannot listen on 127.0.0.1:%1").arg(port);
            return false;
        }
    }
    // A refusing reader keeps its port number (to be reported) but closes the listener; only
    // once every reader holds its own port, or a later reader could be given the freed one.
    for (int i = 0; i < size(); ++i) {
        if (refuses(i)) {
            tcp(i)->unplug();
        }
    }
    return true;
}

bool SimFleet::openPtys(const QString &linkPath, QString *error) {
    for (int i = 0; i < size(); ++i) {
        if (refuses(i)) {
            continue;
        }
        Reader &reader = m_readers[std::size_t(i)];
        if (!reader.pty) {
            reader.pty = std::make_unique<SimPty>(reader.sim.get());
        }
        if (!linkPath.isEmpty() && !reader.pty->setLinkPath(perReaderPath(linkPath, i, size()))) {
            *error = QStringLiteral("cannot make the link %1: only a symbolic link to a "
                                    "pseudo-terminal may be there or at %1.new")
                         .arg(perReaderPath(linkPath, i, size()));
            return false;
        }
        if (!reader.pty->open()) {
            *error = QStringLiteral("cannot open a pseudo-terminal");
            return false;
        }
    }
    return true;
}

QString SimFleet::perReaderPath(const QString &path, int index, int count) {
    return count == 1 ? path : path + QLatin1Char('.') + QString::number(index);
}

void SimFleet::unplug() {
    for (int i = 0; i < size(); ++i) {
        unplug(i);
    }
}

bool SimFleet::replug() {
    bool ok = true;
    for (int i = 0; i < size(); ++i) {
        ok = replug(i) && ok;
    }
    return ok;
}

void SimFleet::unplug(int index) {
    if (refuses(index)) {
        return;
    }
    tcp(index)->unplug();
    if (SimPty *terminal = pty(index)) {
        terminal->closeMaster();
    }
    emit unplugged(index);
}

bool SimFleet::replug(int index) {
    if (refuses(index)) {
        return true;
    }
    SimTcpServer *server = tcp(index);
    SimPty *terminal = pty(index);
    const bool tcpGone = server->port() != 0 && !server->isListening();
    const bool ptyGone = terminal && !terminal->isOpen();
    if (!tcpGone && !ptyGone) {
        return true;
    }
    bool ok = !tcpGone || server->replug();
    ok = (!ptyGone || terminal->open()) && ok;
    emit replugged(index);
    return ok;
}

} // namespace varo::sim
