#include "support/fakelink.h"

#include "common/numbertext.h"
#include "loopback/loopbackengine.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <limits>

using namespace std::chrono_literals;
using varo::loopback::LoopbackEngine;
using varo::loopback::LoopbackTimings;

namespace {

constexpr LoopbackTimings kFast{10ms, 10ms, 200ms, 200ms, 1};

// Plays a reader in echo mode: after "*" every test byte comes back, except where a fault
// changes it. Counts test bytes from 1, like the characters-sent count.
struct EchoPeer {
    QByteArray answerToStart;
    qint64 alterAt = -1;
    qint64 dropAt = -1;
    qint64 doubleAt = -1;
    bool silent = false;
    std::function<void(qint64)> onTestByte;

    bool echoing = false;
    qint64 testBytes = 0;

    QByteArray operator()(const QByteArray &written) {
        if (written == LoopbackEngine::kStartSequence)
            return answerToStart;
        if (!echoing) {
            echoing = written == "*";
            return {};
        }
        const qint64 index = ++testBytes;
        if (onTestByte)
            onTestByte(index);
        if (silent || index == dropAt)
            return {};
        QByteArray echo = written;
        if (index == alterAt)
            echo[0] = char(echo[0] + 1);
        if (index == doubleAt)
            echo += echo;
        return echo;
    }
};

struct Bench {
    explicit Bench(bool tcp, LoopbackTimings timings = kFast)
        : fixture(tcp)
        , engine(&fixture.link)
        , lines(&engine, &LoopbackEngine::lineAdded)
        , counts(&engine, &LoopbackEngine::countChanged)
        , finished(&engine, &LoopbackEngine::finished) {
        engine.setTimings(timings);
        fixture.transport->peer = [this](const QByteArray &bytes) { return peer(bytes); };
    }

    QStringList lineTexts() const {
        QStringList out;
        for (const QList<QVariant> &args : lines)
            out.append(args.at(0).toString());
        return out;
    }

    bool runToEnd(int timeoutMs = 10000) {
        return engine.start() && (finished.count() == 1 || finished.wait(timeoutMs));
    }

    FakeLink fixture;
    EchoPeer peer;
    LoopbackEngine engine;
    QSignalSpy lines;
    QSignalSpy counts;
    QSignalSpy finished;
};

} // namespace

class TestLoopbackEngine : public QObject {
    Q_OBJECT

private slots:
    void cleanRunSendsEveryValue_data();
    void cleanRunSendsEveryValue();
    void reportsBadEchoAndGoesOn();
    void reportsMissingEchoAfterItsTimeout();
    void moreThanOneWaitingByteIsNoEcho();
    void stopEndsBeforeTheNextByte();
    void stopWhileSettlingStillSendsTheEchoCommand();
    void drainLeavesOneSerialCharacter_data();
    void drainLeavesOneSerialCharacter();
    void refusesSecondStartAndBusyLink();
    void formatsNumbers();
};

void TestLoopbackEngine::cleanRunSendsEveryValue_data() {
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<int>("passes");
    QTest::addColumn<QList<qint32>>("shownCounts");
    QList<qint32> everyByte;
    for (qint32 i = 1; i <= 512; ++i)
        everyByte.append(i);
    QTest::newRow("tcp shows every count") << true << 2 << everyByte;
    QTest::newRow("serial shows every 1000th") << false << 8 << QList<qint32>{1000, 2000};
}

void TestLoopbackEngine::cleanRunSendsEveryValue() {
    QFETCH(bool, tcp);
    QFETCH(int, passes);
    QFETCH(QList<qint32>, shownCounts);
    LoopbackTimings timings = kFast;
    timings.passes = passes;
    Bench bench(tcp, timings);
    QVERIFY(bench.runToEnd());

    const qint32 total = passes * 256;
    QCOMPARE(bench.lineTexts(), (QStringList{tcp ? "Starting Loopback Test on tcp port"
                                                 : "Starting Loopback Test on serial port",
                                             QStringLiteral(" %1: end of test").arg(total)}));
    QCOMPARE(bench.engine.charactersSent(), total);

    const QList<QByteArray> &writes = bench.fixture.transport->writes;
    QCOMPARE(writes.size(), 2 + total);
    QCOMPARE(writes[0], QByteArray("\x00\x1b\r\x00\x1b\r", 6));
    QCOMPARE(writes[1], QByteArray("*"));
    for (qint32 i = 0; i < total; ++i)
        QCOMPARE(writes[2 + i], QByteArray(1, char(i % 256)));

    QList<qint32> counts;
    for (const QList<QVariant> &args : bench.counts)
        counts.append(args.at(0).toInt());
    QCOMPARE(counts, shownCounts);
    QVERIFY(!bench.fixture.link.isBusy());
}

void TestLoopbackEngine::reportsBadEchoAndGoesOn() {
    Bench bench(false);
    bench.peer.alterAt = 65;
    QVERIFY(bench.runToEnd());
    QCOMPARE(bench.lineTexts(),
             (QStringList{"Starting Loopback Test on serial port",
                          " 65: bad echo, expected 40 received 41", " 256: end of test"}));
}

void TestLoopbackEngine::reportsMissingEchoAfterItsTimeout() {
    Bench bench(true);
    bench.peer.dropAt = 12;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(bench.runToEnd());
    QVERIFY(clock.elapsed() >= 200);
    QCOMPARE(bench.lineTexts(), (QStringList{"Starting Loopback Test on tcp port", " 12: timeout",
                                             " 256: end of test"}));

    // A reader that never answers: one timeout per byte, each after the echo timeout.
    Bench silent(false, {10ms, 10ms, 60ms, 60ms, 1});
    silent.peer.silent = true;
    connect(&silent.engine, &LoopbackEngine::lineAdded, this, [&silent](const QString &line) {
        if (line == QLatin1String(" 2: timeout"))
            silent.engine.requestStop();
    });
    clock.restart();
    QVERIFY(silent.runToEnd());
    QVERIFY(clock.elapsed() >= 10 + 2 * 60);
    QCOMPARE(silent.lineTexts().mid(1),
             (QStringList{" 1: timeout", " 2: timeout", " 2: end of test"}));
}

void TestLoopbackEngine::moreThanOneWaitingByteIsNoEcho() {
    Bench bench(true, {10ms, 10ms, 20ms, 20ms, 1});
    bench.peer.doubleAt = 250;
    QVERIFY(bench.runToEnd());
    QStringList expected{"Starting Loopback Test on tcp port"};
    for (int count = 250; count <= 256; ++count)
        expected.append(QStringLiteral(" %1: timeout").arg(count));
    expected.append(" 256: end of test");
    QCOMPARE(bench.lineTexts(), expected);
}

void TestLoopbackEngine::stopEndsBeforeTheNextByte() {
    Bench bench(false);
    bench.peer.onTestByte = [&bench](qint64 index) {
        if (index == 300)
            bench.engine.requestStop();
    };
    LoopbackTimings timings = kFast;
    timings.passes = 3;
    bench.engine.setTimings(timings);
    QVERIFY(bench.runToEnd());
    QCOMPARE(bench.lineTexts().last(), QStringLiteral(" 300: end of test"));
    QCOMPARE(bench.fixture.transport->writes.size(), 2 + 300);
    QCOMPARE(bench.fixture.transport->writes.last(), QByteArray(1, char(299 % 256)));
}

void TestLoopbackEngine::stopWhileSettlingStillSendsTheEchoCommand() {
    Bench bench(true);
    QVERIFY(bench.engine.start());
    bench.engine.requestStop();
    QTRY_COMPARE(bench.finished.count(), 1);
    QCOMPARE(bench.lineTexts().last(), QStringLiteral(" 0: end of test"));
    QCOMPARE(bench.fixture.transport->writes.last(), QByteArray("*"));
    QCOMPARE(bench.finished.last().first().value<varo::link::OperationResult>().code,
             varo::link::ResultCode::Cancelled);

    // A disconnected link ends the test the same way instead of timing out every byte.
    QVERIFY(bench.engine.start());
    QVERIFY(bench.fixture.link.disconnectReader());
    // Nothing is left to wait for: the test ends within the disconnect.
    QCOMPARE(bench.finished.count(), 2);
    QCOMPARE(bench.lineTexts().last(), QStringLiteral(" 0: end of test"));
    QCOMPARE(bench.finished.last().first().value<varo::link::OperationResult>().code,
             varo::link::ResultCode::Disconnected);
    QVERIFY(!bench.fixture.link.isBusy());
}

void TestLoopbackEngine::drainLeavesOneSerialCharacter_data() {
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QStringList>("firstResults");
    QTest::newRow("serial keeps the last one")
        << false
        << QStringList{" 1: bad echo, expected 0 received 5A",
                       " 2: bad echo, expected 1 received 0"};
    QTest::newRow("tcp drains all") << true << QStringList{" 256: end of test"};
}

void TestLoopbackEngine::drainLeavesOneSerialCharacter() {
    QFETCH(bool, tcp);
    QFETCH(QStringList, firstResults);
    Bench bench(tcp);
    bench.peer.answerToStart = "xyZ";
    QVERIFY(bench.runToEnd());
    QCOMPARE(bench.lineTexts().mid(1, firstResults.size()), firstResults);
}

void TestLoopbackEngine::refusesSecondStartAndBusyLink() {
    Bench bench(true);
    QSignalSpy refused(&bench.engine, &LoopbackEngine::refused);
    QVERIFY(bench.engine.start());
    QVERIFY(!bench.engine.start());
    QCOMPARE(bench.lines.count(), 1);
    QCOMPARE(bench.fixture.link.activeOperationName(), QStringLiteral("Loopback Test"));
    // Refused as every operation is: the holder of the link is named, the test itself here.
    QCOMPARE(refused.count(), 1);
    QCOMPARE(refused.at(0).at(0).toString(), QStringLiteral("Loopback Test"));
    QTRY_COMPARE(bench.finished.count(), 1);

    const varo::link::OperationClaim terminal =
        bench.fixture.link.claim(varo::link::Operation::Terminal);
    QVERIFY(terminal);
    QVERIFY(!bench.engine.start());
    QCOMPARE(refused.count(), 2);
    QCOMPARE(refused.at(1).at(0).toString(), QStringLiteral("Terminal Mode"));
}

void TestLoopbackEngine::formatsNumbers() {
    QCOMPARE(varo::signedNumberText(0), QStringLiteral(" 0"));
    QCOMPARE(varo::signedNumberText(512000), QStringLiteral(" 512000"));
    QCOMPARE(varo::signedNumberText(-3), QStringLiteral("-3"));
    QCOMPARE(varo::signedNumberText(std::numeric_limits<qint64>::min()),
             QStringLiteral("-9223372036854775808"));
    QCOMPARE(LoopbackEngine::hex(0), QStringLiteral("0"));
    QCOMPARE(LoopbackEngine::hex(0x1B), QStringLiteral("1B"));
    QCOMPARE(LoopbackEngine::hex(0xFF), QStringLiteral("FF"));
}

QTEST_GUILESS_MAIN(TestLoopbackEngine)
#include "tst_loopbackengine.moc"
