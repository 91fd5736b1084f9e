#include "cli/tracelog.h"

#include "link/wiretrace.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace varo::cli {

namespace {

QtMessageHandler g_previous = nullptr;
char g_buffer[64 * 1024];

// "14:02:33.125 ": the local time of day, re-formatted only when the second changes.
void writeTimestamp() {
    static time_t lastSecond = -1;
    static char secondText[16] = {};
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec != lastSecond) {
        lastSecond = now.tv_sec;
        tm local{};
        ::localtime_r(&now.tv_sec, &local);
        std::strftime(secondText, sizeof secondText, "%H:%M:%S", &local);
    }
    std::fprintf(stderr, "%s.%03ld ", secondText, long(now.tv_nsec / 1000000));
}

// One wire line: straight from the chunk into stderr's buffer through one reused array.
void writeWireLine(const link::WireChunk &chunk, const QString &source) {
    static QByteArray line;
    line.resize(0);
    link::appendWireLogLine(line, chunk, source);
    line += '\n';
    writeTimestamp();
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
}

// Other messages go out after the trace lines before them.
void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    std::fflush(stderr);
    g_previous(type, context, message);
}

} // namespace

void installTraceLog() {
    // Block-buffered: the trace comes in bursts; everything else on stderr is flushed by its
    // writer, and the timer below bounds how long a trace line waits.
    std::setvbuf(stderr, g_buffer, _IOFBF, sizeof g_buffer);
    link::setWireLogSink(writeWireLine);
    g_previous = qInstallMessageHandler(handleMessage);
    auto *timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, [] { std::fflush(stderr); });
    timer->start(100);
    std::atexit([] { std::fflush(stderr); });
}

} // namespace varo::cli
