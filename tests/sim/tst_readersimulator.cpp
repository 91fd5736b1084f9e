#include "sim/readersimulator.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using varo::sim::ReaderSimulator;
using varo::sim::SimOptions;

namespace {

const QByteArray kEntry("\x00\x1b\x0d\x00\x1b\x0d", 6);

// Collects everything the simulator sends.
struct Wire {
    explicit Wire(ReaderSimulator &sim) {
        QObject::connect(&sim, &ReaderSimulator::bytesToSend, [this](const QByteArray &bytes) {
            sent += bytes;
            ++writes;
        });
    }
    QByteArray take() { return std::exchange(sent, {}); }
    QByteArray sent;
    int writes = 0;
};

QByteArray block(const QByteArray &data) {
    quint8 sum = 0;
    for (const char c : data) {
        sum ^= quint8(c);
    }
    return char(data.size()) + data + char(sum);
}

QByteArray pattern(int size, int seed = 0) {
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i) {
        data[i] = char((i * 7 + seed) & 0xff);
    }
    return data;
}

} // namespace

class TestReaderSimulator : public QObject {
    Q_OBJECT

private slots:
    void lineReplies_data();
    void lineReplies();
    void recordsCommandsAndValues();
    void endlessInputIsBounded_data();
    void endlessInputIsBounded();
    void setClock_data();
    void setClock();
    void upload();
    void lineFaults();
    void closeAfterCommands();
    void delayedPiecesAndPacing();
    void flashLoader();
    void flashLoaderRejects_data();
    void flashLoaderRejects();
    void bootLoaderSerial();
    void loopbackEcho();
    void entrySequenceBetweenCommands();
    void report();
};

void TestReaderSimulator::lineReplies_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("firmware") << QByteArray("V\r") << QByteArray("VARO SIM V1.0\r");
    QTest::newRow("programming") << QByteArray("X00110000000400\r") << QByteArray("OK\r");
    QTest::newRow("last X") << QByteArray("X102000\r") << QByteArray("OK\r");
    QTest::newRow("X out of range") << QByteArray("X103000\r") << QByteArray("?\r");
    QTest::newRow("backslash g h") << QByteArray("\\01\rg1\rh\r") << QByteArray("OK\rOK\rOK\r");
    QTest::newRow("mode switches") << QByteArray("|5\r|1\r|2\r") << QByteArray("OK\rOK\rOK\r");
    QTest::newRow("read clock") << QByteArray("t\r") << QByteArray("100305140233\r");
    QTest::newRow("memory") << QByteArray("z\r") << QByteArray("320000000500000\r");
    QTest::newRow("clear log") << QByteArray("lc\r") << QByteArray("OK\r");
    QTest::newRow("wake-up") << QByteArray("\r\r") << QByteArray();
    QTest::newRow("reset") << QByteArray("\0U1\r", 4) << QByteArray();
    QTest::newRow("restart") << QByteArray("\0X\r", 3) << QByteArray();
    QTest::newRow("unknown") << QByteArray("Q7\r") << QByteArray("?\r");
    QTest::newRow("exact code with payload") << QByteArray("V1\r") << QByteArray("?\r");
    QTest::newRow("split across feeds") << QByteArray("\rV") << QByteArray();
}

void TestReaderSimulator::lineReplies() {
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    ReaderSimulator sim;
    Wire wire(sim);
    for (const char c : input) {
        sim.feed(QByteArray(1, c));
    }
    QCOMPARE(wire.take(), expected);
    QCOMPARE(sim.received(), input);
    QCOMPARE(sim.mode(), ReaderSimulator::Mode::Line);
}

void TestReaderSimulator::recordsCommandsAndValues() {
    ReaderSimulator sim;
    Wire wire(sim);
    sim.feed("\r\rV\rX00110000000400\rX0060\rX001777\r");
    sim.feed(QByteArray("\0U1\r", 4));
    sim.feed("\\1234\rh\r");
    QCOMPARE(sim.commands(), (QList<QByteArray>{"V", "X00110000000400", "X0060", "X001777",
                                                QByteArray("\0U1", 3), "\\1234", "h"}));
    QCOMPARE(sim.wakeups(), 2);
    QCOMPARE(sim.lastValue("X001"), QByteArray("777"));
    QCOMPARE(sim.lastValue("X006"), QByteArray("0"));
    QCOMPARE(sim.lastValue("\\"), QByteArray("1234"));
    QVERIFY(sim.hasValue("h"));
    QVERIFY(sim.hasValue(QByteArray("\0U1", 3)));
    QVERIFY(!sim.hasValue("X002"));
    QCOMPARE(sim.commandCount(), 7);

    sim.clearReceived();
    QVERIFY(sim.received().isEmpty());
    QVERIFY(sim.commands().isEmpty());
    QVERIFY(!sim.hasValue("X001"));
}

void TestReaderSimulator::endlessInputIsBounded_data() {
    QTest::addColumn<QByteArray>("piece");
    QTest::addColumn<int>("times");
    QTest::newRow("one endless line") << QByteArray(1024 * 1024, 'x') << 12;
    QTest::newRow("endless commands") << QByteArray("X0060\r").repeated(50'000) << 3;
}

void TestReaderSimulator::endlessInputIsBounded() {
    QFETCH(QByteArray, piece);
    QFETCH(int, times);
    ReaderSimulator sim;
    for (int i = 0; i < times; ++i) {
        sim.feed(piece);
    }
    sim.feed("\rV\r");
    QVERIFY(sim.received().size() <= ReaderSimulator::kMaxRecordedBytes);
    QVERIFY(sim.commands().size() <= ReaderSimulator::kMaxRecordedCommands);
    for (const QByteArray &command : sim.commands()) {
        QVERIFY(command.size() <= ReaderSimulator::kMaxLineBytes);
    }
    // Still a reader: the last command is heard.
    QCOMPARE(sim.commands().constLast(), QByteArray("V"));
    QVERIFY(sim.received().startsWith(piece.left(1000)));
}

void TestReaderSimulator::setClock_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QDateTime>("clock");
    const QDateTime start(QDate(2010, 3, 5), QTime(14, 2, 33));
    QTest::newRow("friday") << QByteArray("+1003051402335\r") << QByteArray("O\r") << start;
    QTest::newRow("sunday is 7") << QByteArray("+1002280500007\r") << QByteArray("O\r")
                                 << QDateTime(QDate(2010, 2, 28), QTime(5, 0, 0));
    QTest::newRow("wrong weekday") << QByteArray("+1003051402334\r") << QByteArray("E\r") << start;
    QTest::newRow("no such date") << QByteArray("+1002300000002\r") << QByteArray("E\r") << start;
    QTest::newRow("no such hour") << QByteArray("+1003052402335\r") << QByteArray("E\r") << start;
    QTest::newRow("short") << QByteArray("+100305140233\r") << QByteArray("E\r") << start;
}

void TestReaderSimulator::setClock() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, expected);
    QFETCH(QDateTime, clock);
    ReaderSimulator sim;
    Wire wire(sim);
    sim.feed(command);
    QCOMPARE(wire.take(), expected);
    QVERIFY(qAbs(sim.readerClock().secsTo(clock)) <= 1);
    sim.feed("t\r");
    QCOMPARE(wire.take().left(10), clock.toString("yyMMddHHmm").toLatin1());
}

void TestReaderSimulator::upload() {
    SimOptions options;
    options.recordCount = 3;
    ReaderSimulator sim(options);
    Wire wire(sim);
    QCOMPARE(sim.remainingRecords(), 3);
    sim.feed("lr\r");
    QCOMPARE(wire.take(), QByteArray("OK\r"));
    QList<QByteArray> records;
    for (int i = 0; i < 4; ++i) {
        sim.feed("l\r");
        records.append(wire.take());
    }
    QCOMPARE(records.last(), QByteArray("END\r"));
    QVERIFY(records.at(0).startsWith("REC00001,"));
    QVERIFY(records.at(2).startsWith("REC00003,"));
    QCOMPARE(sim.remainingRecords(), 0);

    // "lr" rewinds; "lc" empties the store.
    sim.feed("lr\rl\r");
    QCOMPARE(wire.take(), "OK\r" + records.at(0));
    sim.feed("lc\rlr\rl\r");
    QCOMPARE(wire.take(), QByteArray("OK\rOK\rEND\r"));

    // Explicit records, silence after two answers, link dropped after a record.
    SimOptions explicitRecords;
    explicitRecords.records = {"A", "END ", "end"};
    explicitRecords.recordsBeforeSilence = 2;
    ReaderSimulator other(explicitRecords);
    Wire otherWire(other);
    other.feed("lr\rl\rl\rl\r");
    QCOMPARE(otherWire.take(), QByteArray("OK\rA\rEND \r"));

    SimOptions closing;
    closing.closeAfterRecords = 2;
    ReaderSimulator third(closing);
    Wire thirdWire(third);
    QSignalSpy closed(&third, &ReaderSimulator::closeRequested);
    third.feed("lr\rl\r");
    QCOMPARE(closed.count(), 0);
    third.feed("l\r");
    QCOMPARE(closed.count(), 1);
    QVERIFY(thirdWire.take().contains("\rREC00002,"));
}

void TestReaderSimulator::lineFaults() {
    ReaderSimulator sim;
    Wire wire(sim);

    sim.options().silent = true;
    sim.feed("V\rX001\r");
    QCOMPARE(wire.take(), QByteArray());
    QCOMPARE(sim.commands().size(), 2);

    sim.options().silent = false;
    sim.options().silentOnCode = "X006";
    sim.feed("X0051\rX0060\rX0071\r");
    QCOMPARE(wire.take(), QByteArray("OK\rOK\r"));

    sim.options().silentOnCode.clear();
    sim.options().emptyReplies = true;
    sim.feed("V\rlc\r");
    QCOMPARE(wire.take(), QByteArray("\r\r"));

    sim.options().emptyReplies = false;
    sim.options().garbageBeforeReply = "\n#";
    sim.options().replyTerminator = "\r\n";
    sim.feed("|5\r");
    QCOMPARE(wire.take(), QByteArray("\n#OK\r\n"));

    sim.options().garbageBeforeReply.clear();
    sim.options().replyTerminator = "\r";
    sim.options().wakeupReply = "?";
    sim.feed("\r\r\r");
    QCOMPARE(wire.take(), QByteArray("?"));
    sim.feed("\r");
    QCOMPARE(wire.take(), QByteArray("?"));

    sim.options().streamWithoutCr = 25;
    sim.feed("V\rV\r");
    const QByteArray flood = wire.take();
    QCOMPARE(flood.size(), 25 + 14);
    QVERIFY(!flood.left(25).contains('\r'));
    QVERIFY(flood.endsWith("VARO SIM V1.0\r"));

    sim.options().echoTyped = true;
    sim.feed("ab\r");
    QCOMPARE(wire.take(), QByteArray("ab\r?\r"));

    ReaderSimulator counting;
    Wire countingWire(counting);
    counting.options().silentAfterCommands = 2;
    counting.feed("V\rV\rV\r");
    QCOMPARE(countingWire.take(), QByteArray("VARO SIM V1.0\rVARO SIM V1.0\r"));
    counting.resetCounters();
    counting.feed("V\r");
    QCOMPARE(countingWire.take(), QByteArray("VARO SIM V1.0\r"));
}

void TestReaderSimulator::closeAfterCommands() {
    SimOptions options;
    options.closeAfterCommands = 2;
    ReaderSimulator sim(options);
    Wire wire(sim);
    QByteArray atClose;
    connect(&sim, &ReaderSimulator::closeRequested, this, [&] {
        atClose = wire.sent;
        sim.linkReset();
    });
    // The second reply goes out before the close; the rest of that read is dropped with it.
    sim.feed("V\rlc\rV\r");
    QCOMPARE(atClose, QByteArray("VARO SIM V1.0\rOK\r"));
    QCOMPARE(wire.take(), atClose);
    QCOMPARE(sim.commandCount(), 2);

    // Past the limit every command drops the link at once.
    atClose = "-";
    sim.feed("V\r");
    QCOMPARE(atClose, QByteArray());
}

void TestReaderSimulator::delayedPiecesAndPacing() {
    SimOptions options;
    options.replyDelayMs = 30;
    options.pieceSize = 4;
    options.pieceGapMs = 5;
    ReaderSimulator sim(options);
    Wire wire(sim);
    QElapsedTimer clock;
    clock.start();
    sim.feed("V\rlr\r");
    QCOMPARE(wire.writes, 0);
    QVERIFY(sim.pendingOutput() > 0);
    QTRY_COMPARE(wire.sent, QByteArray("VARO SIM V1.0\rOK\r"));
    QVERIFY(clock.elapsed() >= 60);
    QCOMPARE(wire.writes, 5);

    // A new link drops output that is still queued.
    wire.take();
    sim.feed("V\r");
    sim.linkReset();
    QTest::qWait(60);
    QCOMPARE(wire.sent, QByteArray());

    // 9600 baud: 960 bytes per second, so 96 bytes take about 100 ms.
    ReaderSimulator paced;
    Wire pacedWire(paced);
    paced.options().lineRateBaud = 9600;
    paced.options().firmwareId = QByteArray(95, 'F');
    clock.restart();
    paced.feed("V\r");
    QTRY_COMPARE(pacedWire.sent.size(), 96);
    QVERIFY2(clock.elapsed() >= 80, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(pacedWire.writes > 10);
}

void TestReaderSimulator::flashLoader() {
    ReaderSimulator sim;
    Wire wire(sim);
    QSignalSpy finished(&sim, &ReaderSimulator::loaderFinished);

    // The entry sequence arrives in pieces; none of it is a command and none is answered.
    sim.feed(kEntry.left(2));
    sim.feed(kEntry.mid(2, 3));
    sim.feed(kEntry.mid(5));
    QCOMPARE(sim.mode(), ReaderSimulator::Mode::LoaderCommand);
    QCOMPARE(wire.take(), QByteArray());
    QVERIFY(sim.commands().isEmpty());

    sim.feed("B");
    QCOMPARE(wire.take(), QByteArray("TK"));
    const QByteArray data = pattern(50 + 50 + 7);
    sim.feed(block(data.left(50)));
    QCOMPARE(wire.take(), QByteArray("K"));
    // Byte by byte, as the utility writes them.
    for (const char c : block(data.mid(50, 50)) + block(data.mid(100))) {
        sim.feed(QByteArray(1, c));
    }
    QCOMPARE(wire.take(), QByteArray("KK"));
    const QByteArray trailer = pattern(44, 3);
    sim.feed(QByteArray(1, '\0') + trailer + "03052010");
    QCOMPARE(wire.take(), QByteArray("B"));
    QVERIFY(sim.loaderComplete());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(sim.loaderCommand(), QByteArray("B"));
    QCOMPARE(sim.loaderData(), data);
    QCOMPARE(sim.loaderTrailer(), trailer);
    QCOMPARE(sim.loaderDate(), QByteArray("03052010"));
    QCOMPARE(sim.loaderBlocks(), 3);

    // Fill passes of the bootloader extension over TCP.
    sim.feed(QByteArray(52, char(0xff)));
    sim.feed(QByteArray(30, char(0xff)));
    QCOMPARE(wire.take(), QByteArray("B"));
    sim.feed(QByteArray(22, char(0xff)));
    QCOMPARE(wire.take(), QByteArray("B"));
    QCOMPARE(sim.fillPasses(), 2);

    // The utility goes back to line commands.
    sim.feed("\r\rV\r");
    QCOMPARE(wire.take(), QByteArray("VARO SIM V1.0\r"));
    QCOMPARE(sim.entrySequences(), 1);
}

void TestReaderSimulator::flashLoaderRejects_data() {
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<QByteArray>("secondBlock");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("accepted");
    const QByteArray good = block(pattern(50, 1));
    QByteArray badSum = good;
    badSum[51] = char(badSum.at(51) ^ 0x01);
    const QByteArray tooLong = block(pattern(51));
    QTest::newRow("bad checksum") << QByteArray() << badSum << QByteArray("TKKN") << 1;
    QTest::newRow("length above 50") << QByteArray() << tooLong << QByteArray("TKKN") << 1;
    QTest::newRow("wrong ack") << QByteArray("wrongAckAtBlock") << good << QByteArray("TKKN") << 1;
    QTest::newRow("silent block") << QByteArray("silentAtBlock") << good << QByteArray("TKK") << 1;
    // A loader that does not announce itself takes no blocks either.
    QTest::newRow("no ready") << QByteArray("noReadyReply") << good << QByteArray() << 0;
}

void TestReaderSimulator::flashLoaderRejects() {
    QFETCH(QByteArray, fault);
    QFETCH(QByteArray, secondBlock);
    QFETCH(QByteArray, expected);
    QFETCH(int, accepted);
    SimOptions options;
    options.wrongAckAtBlock = fault == "wrongAckAtBlock" ? 2 : -1;
    options.silentAtBlock = fault == "silentAtBlock" ? 2 : -1;
    options.noReadyReply = fault == "noReadyReply";
    ReaderSimulator sim(options);
    Wire wire(sim);
    sim.feed(kEntry + "B");
    sim.feed(block(pattern(50)));
    sim.feed(secondBlock);
    QCOMPARE(wire.take(), expected);
    QCOMPARE(sim.loaderBlocks(), accepted);
    QCOMPARE(sim.rejectedBlocks(), expected.isEmpty() ? 0 : 1);
    QCOMPARE(sim.mode(), ReaderSimulator::Mode::Line);

    // A new attempt starts over with a fresh entry sequence.
    sim.options() = SimOptions();
    sim.feed(kEntry + "B" + block("xyz") + QByteArray(1, '\0') + QByteArray(44, 'T') + "12312024");
    QCOMPARE(wire.take(), QByteArray("TKKB"));
    QCOMPARE(sim.loaderData(), QByteArray("xyz"));
    QCOMPARE(sim.entrySequences(), 2);
}

void TestReaderSimulator::bootLoaderSerial() {
    ReaderSimulator sim;
    Wire wire(sim);
    sim.feed(kEntry);
    sim.feed("w");
    QCOMPARE(wire.take(), QByteArray("YK"));
    const QByteArray data = pattern(33);
    sim.feed(block(data.left(32)) + block(data.mid(32)));
    QCOMPARE(wire.take(), QByteArray("KK"));
    sim.feed(QByteArray(1, '\0'));
    QCOMPARE(wire.take(), QByteArray("B"));
    QVERIFY(sim.loaderComplete());
    QCOMPARE(sim.loaderData(), data);
    QVERIFY(sim.loaderTrailer().isEmpty());
    QCOMPARE(sim.mode(), ReaderSimulator::Mode::Line);

    // 32 is the largest block after "w"; a final "B" may be withheld.
    sim.options().noFinalB = true;
    sim.feed(kEntry + "w" + block(pattern(33)));
    QCOMPARE(wire.take(), QByteArray("YKN"));
    sim.feed(kEntry + "w" + block(pattern(32)) + QByteArray(1, '\0'));
    QCOMPARE(wire.take(), QByteArray("YKK"));
    QVERIFY(sim.loaderComplete());
}

void TestReaderSimulator::loopbackEcho() {
    SimOptions options;
    options.dropEchoAt = 3;
    options.alterEchoAt = 5;
    options.doubleEchoAt = 7;
    ReaderSimulator sim(options);
    Wire wire(sim);
    sim.feed(kEntry);
    sim.feed("*");
    QCOMPARE(sim.mode(), ReaderSimulator::Mode::Loopback);
    QCOMPARE(wire.take(), QByteArray());

    QByteArray expected;
    for (int value = 0; value < 256; ++value) {
        sim.feed(QByteArray(1, char(value)));
        const int index = value + 1;
        if (index == 3) {
            continue;
        }
        const char echo = char(index == 5 ? value + 1 : value);
        expected += QByteArray(index == 7 ? 2 : 1, echo);
    }
    QCOMPARE(wire.take(), expected);
    QCOMPARE(sim.echoedBytes(), 256);

    // The bytes of an entry sequence are echoed too, then the echo mode ends.
    sim.feed(kEntry);
    QCOMPARE(wire.take(), kEntry);
    QCOMPARE(sim.mode(), ReaderSimulator::Mode::LoaderCommand);
    sim.feed("*");
    sim.feed(QByteArray("\0\x1b", 2));
    QCOMPARE(wire.take(), QByteArray("\0\x1b", 2));
    QCOMPARE(sim.echoedBytes(), 2);

    sim.linkReset();
    sim.feed("V\r");
    QCOMPARE(wire.take(), QByteArray("VARO SIM V1.0\r"));
}

void TestReaderSimulator::entrySequenceBetweenCommands() {
    ReaderSimulator sim;
    Wire wire(sim);
    // A broken entry sequence is ordinary input; the reset command shares its first byte.
    sim.feed(QByteArray("\0U1\rV\r", 6));
    QCOMPARE(wire.take(), QByteArray("VARO SIM V1.0\r"));
    QCOMPARE(sim.commands().first(), QByteArray("\0U1", 3));

    // A lone NUL is released after a short while rather than held for ever.
    sim.options().echoTyped = true;
    sim.feed(QByteArray(1, '\0'));
    QCOMPARE(wire.take(), QByteArray());
    QTRY_COMPARE(wire.sent, QByteArray(1, '\0'));
    wire.take();

    // Anything but "B", "w" or "*" after the entry sequence is back in line mode.
    sim.options().echoTyped = false;
    sim.feed(kEntry + "\r\rV\r");
    QCOMPARE(wire.take(), QByteArray("VARO SIM V1.0\r"));
    QCOMPARE(sim.mode(), ReaderSimulator::Mode::Line);
}

void TestReaderSimulator::report() {
    ReaderSimulator sim;
    sim.feed("V\rX0011000\r");
    sim.feed(QByteArray("\0X\r", 3));
    sim.feed(kEntry + "B" + block("ab") + QByteArray(1, '\0') + QByteArray(44, 'T') + "03052010");
    QTemporaryDir dir;
    const QString path = dir.filePath("report.txt");
    QVERIFY(sim.writeReport(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.at(0), QByteArray("V "));
    QCOMPARE(lines.at(1), QByteArray("X001 1000"));
    QCOMPARE(lines.at(2), QByteArray("<00>X "));
    QVERIFY(lines.contains("loader-blocks 1"));
    QVERIFY(lines.contains("loader-data-bytes 2"));
    QVERIFY(lines.contains("loader-date 03052010"));
    QVERIFY(lines.contains("loader-complete yes"));
    QVERIFY(!sim.writeReport(dir.filePath("missing/report.txt")));
}

QTEST_GUILESS_MAIN(TestReaderSimulator)
#include "tst_readersimulator.moc"
