#include "simhost.h"

#include "sim/readersimulator.h"
#include "sim/simpty.h"
#include "sim/simtcpserver.h"

namespace varo::bench {

SimHost::SimHost(const sim::SimOptions &options) {
    m_thread.setObjectName(QStringLiteral("simulator"));
    m_thread.start();
    m_anchor = new QObject;
    m_anchor->moveToThread(&m_thread);
    // Everything the simulator owns is made on its thread, so its timers and notifiers run there.
    QMetaObject::invokeMethod(
        m_anchor,
        [this, &options] {
            m_sim = new sim::ReaderSimulator(options);
            m_server = new sim::SimTcpServer(m_sim);
            QObject::connect(m_server, &sim::SimTcpServer::clientConnected, m_server,
                             [this] { ++m_accepted; });
            if (m_server->listen(0))
                m_tcpPort = m_server->port();
            m_pty = new sim::SimPty(m_sim);
            if (m_pty->open())
                m_ptyPath = m_pty->slavePath();
        },
        Qt::BlockingQueuedConnection);
}

SimHost::~SimHost() {
    QMetaObject::invokeMethod(
        m_anchor,
        [this] {
            delete m_pty;
            delete m_server;
            delete m_sim;
            delete m_anchor;
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void SimHost::clearRecording() {
    call([](sim::ReaderSimulator &sim) {
        sim.clearReceived();
        sim.resetCounters();
    });
}

void SimHost::startNewLink() {
    call([](sim::ReaderSimulator &sim) { sim.linkReset(); });
}

QByteArray SimHost::received() {
    return call([](sim::ReaderSimulator &sim) { return sim.received(); });
}

} // namespace varo::bench
