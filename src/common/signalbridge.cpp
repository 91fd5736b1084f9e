#include "signalbridge.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace varo::common {

namespace {

// Written by the handler, read by the bridge; -1 while no bridge exists.
volatile sig_atomic_t g_writeEnd = -1;
int g_readEnd = -1;

void onSignal(int signalNumber) {
    const int fd = g_writeEnd;
    if (fd < 0)
        return;
    const char byte = char(signalNumber);
    [[maybe_unused]] const auto written = ::write(fd, &byte, 1);
}

} // namespace

SignalBridge::SignalBridge(QObject *parent)
    : QObject(parent) {
    Q_ASSERT_X(g_readEnd < 0, "SignalBridge", "one bridge per process");
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0)
        return;
    g_readEnd = ends[0];
    g_writeEnd = ends[1];
    m_notifier = std::make_unique<QSocketNotifier>(g_readEnd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SignalBridge::readSignal);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

SignalBridge::~SignalBridge() {
    if (!m_notifier)
        return;
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    m_notifier.reset();
    const int writeEnd = g_writeEnd;
    g_writeEnd = -1;
    ::close(writeEnd);
    ::close(g_readEnd);
    g_readEnd = -1;
}

void SignalBridge::readSignal() {
    char byte = 0;
    if (::read(g_readEnd, &byte, 1) == 1)
        emit received(int(quint8(byte)));
}

} // namespace varo::common
