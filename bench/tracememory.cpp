#include "harness.h"
#include "rawclient.h"
#include "scenarios.h"

#include "link/readerlink.h"
#include "trace/tracemodel.h"
#include "trace/tracewindow.h"

#include <QFile>

#include <malloc.h>

namespace varo::bench {

namespace {

using namespace std::chrono_literals;

// The resident set of this process, in bytes; 0 where /proc is not there.
qint64 residentBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return 0;
}

} // namespace

qint64 traceMemory(int rows, int bytesPerRow) {
    link::ReaderLink link;
    malloc_trim(0);
    runEventsFor(100ms);
    const qint64 before = residentBytes();
    {
        trace::TraceWindow window(&link);
        window.show();
        runEventsFor(100ms);
        // Rows as a stream brings them: a batch at a time, the owner's name shared.
        const QString operation = QStringLiteral("Terminal Mode");
        constexpr int kBatch = 1000;
        for (int done = 0; done < rows; done += kBatch) {
            std::vector<link::WireChunk> batch;
            batch.reserve(kBatch);
            for (int i = done; i < std::min(rows, done + kBatch); ++i) {
                QByteArray bytes(bytesPerRow, char('A' + i % 26));
                batch.push_back(
                    {qint64(i) * 1000,
                     i % 2 ? link::WireDirection::FromReader : link::WireDirection::ToReader,
                     operation, std::move(bytes)});
            }
            window.model()->append(std::move(batch));
        }
        runEventsFor(200ms);
        if (window.model()->rowCount() != rows)
            throw BenchError("the trace did not keep every row");
        const qint64 after = residentBytes();
        return after - before;
    }
}

} // namespace varo::bench
