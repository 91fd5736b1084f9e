#include "scenarios.h"

#include "simhost.h"

#include "config/commandtable.h"
#include "config/configmodel.h"
#include "config/defaults.h"
#include "config/programrun.h"
#include "config/progresslog.h"
#include "flash/firmwareloader.h"
#include "flash/loaderformat.h"
#include "link/readerlink.h"
#include "loopback/loopbackengine.h"
#include "sim/readersimulator.h"
#include "terminal/terminalscreen.h"
#include "terminal/terminalsession.h"
#include "trace/tracewindow.h"
#include "utilities/uploadsession.h"

#include <QFile>
#include <QStringList>

#include <cstdio>
#include <memory>

namespace varo::bench {

namespace {

using namespace std::chrono_literals;

// The reader needs no time to switch modes; both clients pause this long where the utility's
// product timings would pause for seconds, so the pauses do not drown the traffic.
constexpr std::chrono::milliseconds kModePause{20};
constexpr std::chrono::milliseconds kProgramTimeout{60s};
constexpr std::chrono::milliseconds kLongTimeout{600s};
constexpr qsizetype kTrailerLength = 44;
const QDate kDownloadDate(2010, 3, 5);

// The trace window on `link`, shown (so recording and painting its rows), when `traced`.
std::unique_ptr<trace::TraceWindow> openTrace(link::ReaderLink &link, bool traced) {
    if (!traced)
        return nullptr;
    auto window = std::make_unique<trace::TraceWindow>(&link);
    window->show();
    // Open already when the timing starts: its first layout and paint are not the traffic's.
    runEventsFor(300ms);
    return window;
}

QByteArray nul() {
    return QByteArray(1, '\0');
}

void check(bool condition, const std::string &what) {
    if (!condition)
        throw BenchError(what);
}

// Wall and thread CPU time from its making to stop(); `runs` divides both.
struct Stopwatch {
    double wall = wallSeconds();
    double cpu = threadCpuSeconds();
    Run stop(int runs = 1) const {
        const double cpuNow = threadCpuSeconds();
        return {(wallSeconds() - wall) / runs, (cpuNow - cpu) / runs, {}};
    }
};

} // namespace

// --- Programming run ----------------------------------------------------------------------

Run programUtility(SimHost &host, Transport transport, int runs, const QString &ptyPath) {
    link::ReaderLink link;
    connectLink(link, host, transport, ptyPath);
    config::ConfigModel model;
    config::loadDefaults(model);
    config::ProgressLog log;
    config::ProgramRun run(&link, &model, &log);
    link::OperationResult outcome;
    QObject::connect(&run, &config::ProgramRun::finished, &run,
                     [&outcome](const link::OperationResult &r) { outcome = r; });
    SignalWait done(&run, &config::ProgramRun::finished);

    const Stopwatch clock;
    for (int i = 0; i < runs; ++i) {
        outcome = {link::ResultCode::Invalid, {}};
        check(run.start(), "the programming run did not start");
        done.wait(kProgramTimeout, "the programming run did not end");
        check(outcome.ok(), "the programming run did not complete: " +
                                log.text(config::ProgressList::Right).right(200).toStdString());
    }
    Run result = clock.stop(runs);
    result.wire = host.received();
    link.disconnectReader();
    return result;
}

Run programBaseline(SimHost &host, Transport transport, int runs, const QString &ptyPath) {
    config::ConfigModel model;
    config::loadDefaults(model);
    QList<QByteArray> commands;
    for (const config::CommandRow &row : config::commandTable())
        commands.append(config::buildCommand(row, model) + '\r');

    RawClient client = connectBaseline(host, transport, ptyPath);
    const Stopwatch clock;
    for (int i = 0; i < runs; ++i) {
        client.writeAll(QByteArrayLiteral("\r\r"));
        for (const QByteArray &command : std::as_const(commands)) {
            client.writeAll(command);
            client.readLine();
        }
    }
    Run result = clock.stop(runs);
    result.wire = host.received();
    return result;
}

// --- Loopback test ------------------------------------------------------------------------

Run loopbackUtility(SimHost &host, Transport transport, int passes, const QString &ptyPath) {
    link::ReaderLink link;
    connectLink(link, host, transport, ptyPath);
    loopback::LoopbackEngine engine(&link);
    loopback::LoopbackTimings timings;
    timings.settleSerial = kModePause;
    timings.settleTcp = kModePause;
    timings.passes = passes;
    engine.setTimings(timings);
    QStringList lines;
    QObject::connect(&engine, &loopback::LoopbackEngine::lineAdded, &engine,
                     [&lines](const QString &line) { lines.append(line); });
    SignalWait done(&engine, &loopback::LoopbackEngine::finished);

    const Stopwatch clock;
    check(engine.start(), "the loopback test did not start");
    done.wait(kLongTimeout, "the loopback test did not end");
    Run result = clock.stop();
    result.wire = host.received();
    check(engine.charactersSent() == passes * 256 && lines.size() == 2,
          "the loopback test reported: " + lines.mid(1, 3).join(u'|').toStdString());
    link.disconnectReader();
    return result;
}

Run loopbackBaseline(SimHost &host, Transport transport, int passes, const QString &ptyPath) {
    RawClient client = connectBaseline(host, transport, ptyPath);
    const Stopwatch clock;
    client.writeAll(loopback::LoopbackEngine::kStartSequence);
    sleepFor(kModePause);
    client.drain(client.isTcp() ? 0 : 1);
    client.writeByte(loopback::LoopbackEngine::kEchoCommand);
    for (int pass = 0; pass < passes; ++pass) {
        for (int value = 0; value < 256; ++value) {
            client.writeByte(char(value));
            const char got = client.readByte();
            if (got != char(value))
                throw BenchError("bad echo: pass " + std::to_string(pass) + ", sent " +
                                 std::to_string(value) + ", got " +
                                 std::to_string(int(quint8(got))));
        }
    }
    Run result = clock.stop();
    result.wire = host.received();
    return result;
}

// --- Firmware download --------------------------------------------------------------------

bool writeImage(const QString &path, qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 0x2545F491u;
    for (qsizetype i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = char(state >> 24);
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == size;
}

namespace {

QByteArray readFile(const QString &path) {
    QFile file(path);
    check(file.open(QIODevice::ReadOnly), "cannot read the image");
    return file.readAll();
}

void checkLoaderResult(SimHost &host, const QByteArray &image) {
    const auto [complete, data] = host.call([](sim::ReaderSimulator &sim) {
        return std::pair(sim.loaderComplete(), sim.loaderData());
    });
    check(complete && data == image.left(image.size() - kTrailerLength),
          "the simulator did not receive the whole image");
}

} // namespace

namespace {

Run firmwareRun(SimHost &host, Transport transport, const QString &path, const QString &ptyPath,
                bool traced) {
    const QByteArray image = readFile(path);
    link::ReaderLink link;
    connectLink(link, host, transport, ptyPath);
    const std::unique_ptr<trace::TraceWindow> traceWindow = openTrace(link, traced);
    flash::FirmwareLoader loader(&link);
    flash::LoaderTimings timings;
    timings.tcpEntryPause = kModePause;
    timings.serialEntryPause = kModePause;
    loader.setTimings(timings);
    loader.setClock([] { return kDownloadDate; });
    QString message;
    QObject::connect(&loader, &flash::FirmwareLoader::finished, &loader,
                     [&message](const link::OperationResult &r) { message = r.message; });
    SignalWait done(&loader, &flash::FirmwareLoader::finished);

    const Stopwatch clock;
    check(loader.start(flash::LoaderProfile::firmware(transport == Transport::Tcp), path),
          "the download did not start");
    done.wait(kLongTimeout, "the download did not end");
    Run result = clock.stop();
    result.wire = host.received();
    check(message == flash::texts::kComplete, "the download ended with: " + message.toStdString());
    checkLoaderResult(host, image);
    link.disconnectReader();
    return result;
}

} // namespace

Run firmwareUtility(SimHost &host, Transport transport, const QString &path,
                    const QString &ptyPath) {
    return firmwareRun(host, transport, path, ptyPath, false);
}

Run firmwareUtilityTraced(SimHost &host, Transport transport, const QString &path) {
    return firmwareRun(host, transport, path, {}, true);
}

Run firmwareBaseline(SimHost &host, Transport transport, const QString &path,
                     const QString &ptyPath) {
    const QByteArray image = readFile(path);
    const QByteArray data = image.left(image.size() - kTrailerLength);
    const QByteArray tail =
        nul() + image.right(kTrailerLength) + flash::downloadDate(kDownloadDate);
    constexpr qsizetype kBlock = 50;

    RawClient client = connectBaseline(host, transport, ptyPath);
    const Stopwatch clock;
    client.writeAll(flash::kEntrySequence);
    sleepFor(kModePause);
    client.drain(client.isTcp() ? 0 : 1);
    client.writeByte('B');
    client.expect(QByteArrayLiteral("TK"));
    QByteArray block;
    block.reserve(kBlock + 2);
    for (qsizetype at = 0; at < data.size(); at += kBlock) {
        const QByteArrayView chunk =
            QByteArrayView(data).sliced(at, qMin(kBlock, data.size() - at));
        block.resize(0);
        block.append(char(chunk.size()));
        block.append(chunk);
        block.append(char(flash::blockChecksum(chunk)));
        client.writeAll(block);
        if (client.readByte() != flash::kBlockAck)
            throw BenchError("block not acknowledged");
    }
    client.writeAll(tail);
    if (client.readByte() != flash::kCompletionReply)
        throw BenchError("no final B");
    Run result = clock.stop();
    result.wire = host.received();
    checkLoaderResult(host, image);
    return result;
}

// --- Stored transaction upload -------------------------------------------------------------

Run uploadUtility(SimHost &host, Transport transport, const QString &path, int records) {
    link::ReaderLink link;
    connectLink(link, host, transport);
    utilities::UploadSession session(&link);
    session.setFileChooser(
        [path](const utilities::UploadSession::FileChosen &chosen) { chosen(path); });
    QString status;
    QObject::connect(&session, &utilities::UploadSession::statusTextChanged, &session,
                     [&status](const QString &text) { status = text; });
    SignalWait done(&session, &utilities::UploadSession::finished);

    const Stopwatch clock;
    link.sendWakeup();
    check(session.start(), "the upload did not start");
    done.wait(kLongTimeout, "the upload did not end");
    Run result = clock.stop();
    result.wire = host.received();
    check(session.recordCount() == records, "the upload ended after " +
                                                std::to_string(session.recordCount()) +
                                                " records: " + status.toStdString());
    link.disconnectReader();
    return result;
}

Run uploadBaseline(SimHost &host, Transport transport, const QString &path, int records) {
    RawClient client = connectBaseline(host, transport);
    std::FILE *file = std::fopen(path.toLocal8Bit().constData(), "wb");
    check(file != nullptr, "cannot create the upload file");
    int count = 0;
    const Stopwatch clock;
    client.writeAll(QByteArrayLiteral("\r\r"));
    client.writeAll(QByteArrayLiteral("lr\r"));
    if (client.readLine() != "OK") {
        std::fclose(file);
        throw BenchError("no OK to lr");
    }
    for (;;) {
        client.writeAll(QByteArrayLiteral("l\r"));
        const QByteArray record = client.readLine();
        if (record == "END")
            break;
        std::fwrite(record.constData(), 1, std::size_t(record.size()), file);
        std::fwrite("\r\n", 1, 2, file);
        ++count;
    }
    std::fclose(file);
    Run result = clock.stop();
    result.wire = host.received();
    check(count == records, "the baseline upload counted " + std::to_string(count));
    return result;
}

// --- Terminal ------------------------------------------------------------------------------

namespace {

// Reader traffic as a terminal shows it: mostly text, line ends and a few control codes, which
// are drawn as hexadecimal cells.
QByteArray streamText(qsizetype size) {
    static const QByteArray kLine =
        QByteArrayLiteral("0012345678,100305140233,0001000037 ~OK\x02\x03\r\n");
    QByteArray text;
    text.reserve(size + kLine.size());
    while (text.size() < size)
        text += kLine;
    text.truncate(size);
    return text;
}

} // namespace

double terminalCpu(SimHost &host, Transport transport, double seconds, int charsPerSecond,
                   qint64 *received, bool traced) {
    link::ReaderLink link;
    connectLink(link, host, transport);
    const std::unique_ptr<trace::TraceWindow> traceWindow = openTrace(link, traced);
    // Connected before the terminal's own handler, so each batch is counted before it is taken.
    qint64 arrived = 0;
    QObject::connect(&link, &link::ReaderLink::dataArrived, &link,
                     [&] { arrived += link.pendingCount(); });
    // The simulator's pseudo-terminal takes a reopened slave for absent until it reads from
    // it; a terminal that only listens would never be served. A CR (a bare wake-up for the
    // reader) announces this one.
    if (transport == Transport::Pty) {
        link.writeRaw(QByteArrayLiteral("\r"));
        runEventsFor(100ms);
    }
    terminal::TerminalScreen screen(&link);
    check(screen.start(), "the terminal did not start");
    runEventsFor(300ms); // the first paint and whatever showing the screen sets off

    const auto window = std::chrono::milliseconds(qint64(seconds * 1000));
    if (charsPerSecond > 0) {
        const QByteArray text = streamText(qsizetype(charsPerSecond * (seconds + 2)));
        host.call([&text, charsPerSecond](sim::ReaderSimulator &sim) {
            sim.streamText(text, charsPerSecond);
        });
    }
    arrived = 0;
    const double before = threadCpuSeconds();
    runEventsFor(window);
    const double used = threadCpuSeconds() - before;
    if (charsPerSecond > 0) {
        host.call([](sim::ReaderSimulator &sim) { sim.stopStream(); });
        check(arrived > 0 && !screen.session()->grid().isEmpty(), "the terminal received nothing");
    }
    if (received)
        *received = arrived;
    screen.stop();
    link.disconnectReader();
    return used;
}

} // namespace varo::bench
