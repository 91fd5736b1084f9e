#include "config/configmodel.h"
#include "config/defaults.h"
#include "config/programrun.h"
#include "config/progresslog.h"
#include "support/simlink.h"
#include "trace/tracefile.h"
#include "trace/tracefind.h"
#include "trace/tracemodel.h"
#include "trace/tracerecorder.h"

#include <QBuffer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace varo;
using link::WireChunk;
using link::WireDirection;
using trace::TraceModel;

namespace {

constexpr auto kTo = WireDirection::ToReader;
constexpr auto kFrom = WireDirection::FromReader;

WireChunk chunk(WireDirection direction, const QByteArray &bytes, qint64 ns = 0,
                const QString &operation = {}) {
    return WireChunk{ns, direction, operation, bytes};
}

std::deque<WireChunk> rowsOf(std::initializer_list<WireChunk> chunks) {
    return std::deque<WireChunk>(chunks);
}

QByteArray joined(const std::deque<WireChunk> &rows, WireDirection direction) {
    QByteArray bytes;
    for (const WireChunk &row : rows) {
        if (row.direction == direction)
            bytes += row.bytes;
    }
    return bytes;
}

} // namespace

Q_DECLARE_METATYPE(std::deque<WireChunk>)

class TraceCoreTest : public QObject {
    Q_OBJECT
private slots:
    void programmingRunIsTracedByteForByte_data();
    void programmingRunIsTracedByteForByte();
    void recordsOnlyWhileRecording();
    void joinsBackToBackWritesIntoOneRow();
    void capDropsOldestAndSaysSo();
    void byteCapDropsOldest_data();
    void byteCapDropsOldest();
    void findsBytes_data();
    void findsBytes();
    void parsesHexQueries_data();
    void parsesHexQueries();
    void savesReadableFiles();
    void csvQuotesFormulaCells_data();
    void csvQuotesFormulaCells();
    void saveToUnwritablePlaceReportsFileAndReason_data();
    void saveToUnwritablePlaceReportsFileAndReason();
    void printableTextNamesControlBytes();
    void logLineLayout_data();
    void logLineLayout();
};

void TraceCoreTest::programmingRunIsTracedByteForByte_data() {
    QTest::addColumn<SimLink::Medium>("medium");
    QTest::newRow("tcp") << SimLink::Medium::Tcp;
    QTest::newRow("serial") << SimLink::Medium::Pty;
}

// The rows of a real programming run against the simulator: the bytes to the reader are exactly
// what the simulator received, the bytes from it exactly what it sent, in order, and every row
// of the run names the run as the link's owner.
void TraceCoreTest::programmingRunIsTracedByteForByte() {
    QFETCH(SimLink::Medium, medium);
    SimLink rig(std::chrono::milliseconds(400));
    config::ConfigModel model;
    config::loadDefaults(model);
    config::ProgressLog log;
    config::ProgramRun run{&rig.link, &model, &log};
    TraceModel rows;
    trace::TraceRecorder recorder(&rig.link, &rows);
    QByteArray simSent;
    connect(&rig.sim, &sim::ReaderSimulator::bytesToSend, this,
            [&simSent](const QByteArray &bytes) { simSent += bytes; });

    QVERIFY(rig.connect(medium));
    recorder.setRecording(true);
    QSignalSpy finished(&run, &config::ProgramRun::finished);
    QVERIFY(run.start());
    QVERIFY(finished.wait(20000));
    // The last reply may still be on its way to the link when the run reports.
    QTRY_VERIFY((recorder.flush(), joined(rows.rows(), kFrom) == simSent));
    recorder.flush();

    QVERIFY(rows.rowCount() > 50);
    QCOMPARE(joined(rows.rows(), kTo), rig.sim.received());
    QCOMPARE(joined(rows.rows(), kFrom), simSent);
    qint64 previous = -1;
    for (const WireChunk &row : rows.rows()) {
        QCOMPARE(row.operation, QStringLiteral("Program Reader"));
        QVERIFY(!row.bytes.isEmpty());
        // A kept row holds its own bytes, not the read buffer it came in (32 or 64 KiB).
        QVERIFY2(row.bytes.capacity() <= 2 * row.bytes.size() + trace::TraceRecorder::kMaxKeptSlack,
                 qPrintable(QString::number(row.bytes.capacity())));
        QVERIFY(row.elapsedNs >= previous);
        previous = row.elapsedNs;
    }
    // The first row is the run's first write; replies follow the commands that asked for them.
    QCOMPARE(rows.chunk(0).direction, kTo);
    QCOMPARE(rows.data(rows.index(0, TraceModel::Direction)).toString(),
             QStringLiteral("→ to reader"));
    QCOMPARE(recorder.linkSettings(), rig.settings);
    QVERIFY(recorder.linkOpenedAt().isValid());
}

void TraceCoreTest::recordsOnlyWhileRecording() {
    SimLink rig;
    TraceModel rows;
    trace::TraceRecorder recorder(&rig.link, &rows);
    QVERIFY(rig.connect(SimLink::Medium::Tcp));
    QVERIFY(rig.link.sendCommand("V"));
    QTest::qWait(200);
    recorder.flush();
    QCOMPARE(rows.rowCount(), 0);

    recorder.setRecording(true);
    QVERIFY(rig.link.sendCommand("V"));
    QTRY_VERIFY((recorder.flush(), rows.rowCount() >= 2));
    QCOMPARE(rows.chunk(0).bytes, QByteArray("V\r"));
    QCOMPARE(rows.chunk(0).operation, QString());
    recorder.setRecording(false);
    const int kept = rows.rowCount();
    QVERIFY(rig.link.sendCommand("V"));
    QTest::qWait(200);
    recorder.flush();
    QCOMPARE(rows.rowCount(), kept);
}

// Writes a byte at a time make one row, not one per byte; a pause
// or the other direction starts a new row.
void TraceCoreTest::joinsBackToBackWritesIntoOneRow() {
    SimLink rig;
    TraceModel rows;
    trace::TraceRecorder recorder(&rig.link, &rows);
    QVERIFY(rig.connect(SimLink::Medium::Tcp));
    recorder.setRecording(true);
    for (const char c : QByteArray("X123"))
        QVERIFY(rig.link.writeRaw(QByteArray(1, c)));
    QTest::qWait(20);
    QVERIFY(rig.link.writeRaw("\r"));
    QTRY_VERIFY((recorder.flush(), rows.rowCount() >= 3));
    QCOMPARE(rows.chunk(0).bytes, QByteArray("X123"));
    QCOMPARE(rows.chunk(1).bytes, QByteArray("\r"));
    QCOMPARE(rows.chunk(2).direction, kFrom);
    QCOMPARE(joined(rows.rows(), kTo), rig.sim.received());
}

void TraceCoreTest::capDropsOldestAndSaysSo() {
    TraceModel rows;
    QSignalSpy removed(&rows, &TraceModel::rowsRemoved);
    QSignalSpy inserted(&rows, &TraceModel::rowsInserted);
    QSignalSpy dropped(&rows, &TraceModel::droppedCountChanged);
    rows.setCapacity(5);
    std::vector<WireChunk> batch;
    for (int i = 0; i < 4; ++i)
        batch.push_back(chunk(kTo, QByteArray::number(i), i));
    rows.append(batch);
    QCOMPARE(rows.rowCount(), 4);
    QCOMPARE(rows.droppedCount(), 0);
    QCOMPARE(removed.size(), 0);

    batch.clear();
    for (int i = 4; i < 7; ++i)
        batch.push_back(chunk(kFrom, QByteArray::number(i), i));
    rows.append(batch);
    QCOMPARE(rows.rowCount(), 5);
    QCOMPARE(rows.droppedCount(), 2);
    QCOMPARE(rows.chunk(0).bytes, QByteArray("2"));
    QCOMPARE(rows.chunk(4).bytes, QByteArray("6"));
    // One removal and one insertion a batch, not one a row.
    QCOMPARE(removed.size(), 1);
    QCOMPARE(inserted.size(), 2);
    QCOMPARE(dropped.last().first().toLongLong(), 2);

    // A batch larger than the whole cap keeps its newest rows.
    batch.clear();
    for (int i = 7; i < 20; ++i)
        batch.push_back(chunk(kTo, QByteArray::number(i), i));
    rows.append(batch);
    QCOMPARE(rows.rowCount(), 5);
    QCOMPARE(rows.droppedCount(), 15);
    QCOMPARE(rows.chunk(0).bytes, QByteArray("15"));
    QCOMPARE(rows.chunk(4).bytes, QByteArray("19"));

    // Lowering the cap drops at once; a saved file says rows were dropped.
    rows.setCapacity(2);
    QCOMPARE(rows.rowCount(), 2);
    QCOMPARE(rows.droppedCount(), 18);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    trace::writeTrace(out, trace::TraceFormat::Text, {{}, {}, rows.droppedCount()}, rows.rows());
    QVERIFY(out.data().contains("Rows dropped before the first one: 18"));

    rows.clear();
    QCOMPARE(rows.rowCount(), 0);
    QCOMPARE(rows.droppedCount(), 0);
}

void TraceCoreTest::byteCapDropsOldest_data() {
    QTest::addColumn<QList<int>>("batches"); // chunk sizes, each appended as its own batch
    QTest::addColumn<int>("kept");           // newest rows kept
    QTest::addColumn<int>("dropped");
    // Byte cap 100, row cap 1000.
    QTest::newRow("under the cap") << QList<int>{40, 60} << 2 << 0;
    QTest::newRow("one byte over drops the oldest") << QList<int>{40, 61} << 1 << 1;
    QTest::newRow("one big chunk pushes out many") << QList<int>{10, 10, 10, 10, 90} << 2 << 3;
    QTest::newRow("a chunk beyond the cap is not kept") << QList<int>{10, 101} << 1 << 1;
}

void TraceCoreTest::byteCapDropsOldest() {
    QFETCH(QList<int>, batches);
    QFETCH(int, kept);
    QFETCH(int, dropped);
    TraceModel rows;
    rows.setCapacity(1000);
    rows.setByteCapacity(100);
    for (int size : batches)
        rows.append({chunk(kFrom, QByteArray(size, 'x'))});
    QCOMPARE(rows.rowCount(), kept);
    QCOMPARE(rows.droppedCount(), dropped);
    QVERIFY(rows.keptBytes() <= 100);
    qint64 sum = 0;
    for (const WireChunk &row : rows.rows())
        sum += row.bytes.size();
    QCOMPARE(rows.keptBytes(), sum);
    // The same bytes in one batch keep the same rows.
    TraceModel once;
    once.setCapacity(1000);
    once.setByteCapacity(100);
    std::vector<WireChunk> batch;
    for (int size : batches)
        batch.push_back(chunk(kFrom, QByteArray(size, 'x')));
    once.append(batch);
    QCOMPARE(once.rowCount() + once.droppedCount(), qint64(batches.size()));
    QVERIFY(once.keptBytes() <= 100);
    QCOMPARE(TraceModel().byteCapacity(), 64 * 1024 * 1024);
}

void TraceCoreTest::findsBytes_data() {
    QTest::addColumn<std::deque<WireChunk>>("rows");
    QTest::addColumn<QByteArray>("needle");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("firstRow"); // -1: not found
    QTest::addColumn<int>("lastRow");

    const auto reply = rowsOf({chunk(kTo, "V\r"), chunk(kFrom, "VAR"), chunk(kFrom, "O 2.1\r")});
    QTest::newRow("within one chunk") << reply << QByteArray("2.1") << 0 << 2 << 2;
    QTest::newRow("split across two chunks") << reply << QByteArray("RO 2") << 0 << 1 << 2;
    QTest::newRow("hex split") << reply << QByteArray("\r") << 1 << 2 << 2;
    QTest::newRow("missing") << reply << QByteArray("XYZ") << 0 << -1 << -1;
    // The other direction's chunk in between does not break the reader's stream...
    const auto interleaved =
        rowsOf({chunk(kFrom, "AB"), chunk(kTo, "\x1b"), chunk(kFrom, "C"), chunk(kFrom, "D\r\n")});
    QTest::newRow("across the other direction") << interleaved << QByteArray("BCD") << 0 << 0 << 3;
    // ...nor joins the two directions into one.
    QTest::newRow("not across directions") << interleaved << QByteArray("B\x1b") << 0 << -1 << -1;
    QTest::newRow("wraps round") << reply << QByteArray("V\r") << 1 << 0 << 0;
    QTest::newRow("next after the current")
        << rowsOf({chunk(kFrom, "OK"), chunk(kFrom, "O"), chunk(kFrom, "K")}) << QByteArray("OK")
        << 1 << 1 << 2;
}

void TraceCoreTest::findsBytes() {
    QFETCH(std::deque<WireChunk>, rows);
    QFETCH(QByteArray, needle);
    QFETCH(int, from);
    QFETCH(int, firstRow);
    QFETCH(int, lastRow);
    const std::optional<trace::TraceMatch> match = trace::findBytes(rows, needle, from);
    if (firstRow < 0) {
        QVERIFY(!match);
        return;
    }
    QVERIFY(match);
    QCOMPARE(match->firstRow, firstRow);
    QCOMPARE(match->lastRow, lastRow);
}

void TraceCoreTest::parsesHexQueries_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes"); // empty: refused
    QTest::newRow("blank separated") << "0D 0a" << QByteArray("\r\n");
    QTest::newRow("run together") << "1b5b41" << QByteArray("\x1b[A");
    QTest::newRow("0x and commas") << "0x0D,0x0A" << QByteArray("\r\n");
    QTest::newRow("single digit") << "D" << QByteArray("\r");
    QTest::newRow("odd run") << "0D0" << QByteArray();
    QTest::newRow("not hex") << "0G" << QByteArray();
    QTest::newRow("empty") << "  " << QByteArray();
}

void TraceCoreTest::parsesHexQueries() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    const std::optional<QByteArray> parsed = trace::parseHexBytes(text);
    if (bytes.isEmpty())
        QVERIFY(!parsed);
    else
        QCOMPARE(parsed.value_or("<refused>"), bytes);
}

void TraceCoreTest::savesReadableFiles() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    link::LinkSettings settings;
    settings.mode = link::LinkMode::Tcp;
    settings.host = QStringLiteral("127.0.0.1");
    settings.tcpPort = 5057;
    const QDateTime opened(QDate(2026, 3, 4), QTime(10, 11, 12, 345));
    const auto rows = rowsOf({chunk(kTo, "X001\r", 1'234'567, QStringLiteral("Program Reader")),
                              chunk(kFrom, "OK, \"fine\"\r\n", 2'500'000, QStringLiteral("A,B"))});

    const QString textPath = dir.filePath(QStringLiteral("trace.txt"));
    QVERIFY(
        !trace::saveTrace(textPath, trace::formatForPath(textPath), {settings, opened, 0}, rows));
    QFile text(textPath);
    QVERIFY(text.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(text.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QVERIFY(lines.contains(QStringLiteral("# Link: TCP 127.0.0.1:5057")));
    QVERIFY(lines.contains(
        QStringLiteral("# Link opened: 2026-03-04T10:11:12.345 (times are since then)")));
    QCOMPARE(lines.size(), 6);
    QVERIFY(lines[4].contains(QStringLiteral("1.235 ms")));
    QVERIFY(lines[4].contains(QStringLiteral("to reader")));
    QVERIFY(lines[4].contains(QStringLiteral("[Program Reader]")));
    QVERIFY(lines[4].endsWith(QStringLiteral("58 30 30 31 0D  X001<CR>")));
    QVERIFY(lines[5].contains(QStringLiteral("from reader")));

    const QString csvPath = dir.filePath(QStringLiteral("trace.CSV"));
    QCOMPARE(trace::formatForPath(csvPath), trace::TraceFormat::Csv);
    QVERIFY(!trace::saveTrace(csvPath, trace::TraceFormat::Csv, {settings, opened, 0}, rows));
    QFile csv(csvPath);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList csvLines = QString::fromUtf8(csv.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(csvLines[0], QStringLiteral("Varo Utility wire trace"));
    QCOMPARE(csvLines[4], QStringLiteral("time_ms,direction,operation,length,hex,text"));
    QCOMPARE(csvLines[5],
             QStringLiteral("1.235,to reader,Program Reader,5,58 30 30 31 0D,X001<CR>"));
    QCOMPARE(csvLines[6], QStringLiteral("2.500,from reader,\"A,B\",12,4F 4B 2C 20 22 66 69 6E 65 "
                                         "22 0D 0A,\"OK, \"\"fine\"\"<CR><LF>\""));
}

void TraceCoreTest::csvQuotesFormulaCells_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("row");
    QTest::newRow("equals") << QByteArray("=1+2") << QString()
                            << "0.000,from reader,,4,3D 31 2B 32,\"'=1+2\"";
    QTest::newRow("plus") << QByteArray("+5") << QString() << "0.000,from reader,,2,2B 35,\"'+5\"";
    QTest::newRow("minus") << QByteArray("-5") << QString() << "0.000,from reader,,2,2D 35,\"'-5\"";
    QTest::newRow("at, with a quote")
        << QByteArray("@S\"x") << QString() << "0.000,from reader,,4,40 53 22 78,\"'@S\"\"x\"";
    QTest::newRow("operation cell") << QByteArray("A") << QStringLiteral("=HYPERLINK()")
                                    << "0.000,from reader,\"'=HYPERLINK()\",1,41,A";
    QTest::newRow("plain stays plain")
        << QByteArray("a=b") << QString() << "0.000,from reader,,3,61 3D 62,a=b";
}

void TraceCoreTest::csvQuotesFormulaCells() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, operation);
    QFETCH(QString, row);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    trace::writeTrace(out, trace::TraceFormat::Csv, {},
                      rowsOf({chunk(kFrom, bytes, 0, operation)}));
    const QStringList lines = QString::fromUtf8(out.data()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.last(), row);
}

void TraceCoreTest::saveToUnwritablePlaceReportsFileAndReason_data() {
    QTest::addColumn<QString>("relative");
    QTest::newRow("under a plain file") << "plain/trace.txt";
    QTest::newRow("missing folder") << "missing/deeper/trace.csv";
}

void TraceCoreTest::saveToUnwritablePlaceReportsFileAndReason() {
    QFETCH(QString, relative);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile plain(dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString path = dir.filePath(relative);
    const std::optional<QString> error =
        trace::saveTrace(path, trace::formatForPath(path), {}, rowsOf({chunk(kTo, "V\r")}));
    QVERIFY(error);
    QVERIFY2(
        error->startsWith(
            QStringLiteral("Could not save the trace to %1: ").arg(QDir::toNativeSeparators(path))),
        qPrintable(*error));
    // A reason follows the file name.
    QVERIFY2(error->size() > error->indexOf(QStringLiteral(": ")) + 3, qPrintable(*error));
    QVERIFY(!QFile::exists(path));
}

void TraceCoreTest::printableTextNamesControlBytes() {
    TraceModel rows;
    rows.append({chunk(kFrom, QByteArray("A\0\x1b\r\n\x7f\xff", 7), 12'345'678)});
    QCOMPARE(rows.data(rows.index(0, TraceModel::Text)).toString(),
             QStringLiteral("A<NUL><ESC><CR><LF><DEL><xFF>"));
    QCOMPARE(rows.data(rows.index(0, TraceModel::Hex)).toString(),
             QStringLiteral("41 00 1B 0D 0A 7F FF"));
    QCOMPARE(rows.data(rows.index(0, TraceModel::Length)).toInt(), 7);
    QCOMPARE(rows.data(rows.index(0, TraceModel::Time)).toString(), QStringLiteral("12.346"));
    QCOMPARE(rows.data(rows.index(0, TraceModel::Time), Qt::ToolTipRole).toString(),
             QStringLiteral("12345.678 µs"));
    QCOMPARE(rows.data(rows.index(0, TraceModel::Direction)).toString(),
             QStringLiteral("← from reader"));
}

void TraceCoreTest::logLineLayout_data() {
    QTest::addColumn<WireChunk>("chunk");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("line");

    QTest::newRow("to reader, operation, source")
        << chunk(kTo, QByteArray("V\r"), 12'345'678, QStringLiteral("Program Reader"))
        << QStringLiteral("tcp:127.0.0.1:5757")
        << QStringLiteral("tcp:127.0.0.1:5757      12.346 ms  to reader    [Program Reader]  "
                          "2 bytes  56 0D  V<CR>");
    QTest::newRow("from reader, nothing else")
        << chunk(kFrom, QByteArray("\x7f\xff\0", 3), 1'234'567'890'123) << QString()
        << QStringLiteral("1234567.890 ms  from reader  3 bytes  7F FF 00  <DEL><xFF><NUL>");
    QTest::newRow("empty chunk at zero")
        << chunk(kTo, QByteArray(), 0) << QString()
        << QStringLiteral("     0.000 ms  to reader    0 bytes    ");
}

// The varo-cli trace and the saved text trace use this layout; scripts read it.
void TraceCoreTest::logLineLayout() {
    QFETCH(WireChunk, chunk);
    QFETCH(QString, source);
    QFETCH(QString, line);
    QCOMPARE(link::wireLogLine(chunk, source), line);
}

QTEST_GUILESS_MAIN(TraceCoreTest)
#include "tst_tracecore.moc"
