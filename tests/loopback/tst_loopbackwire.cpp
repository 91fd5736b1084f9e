#include "support/fakelink.h"
#include "support/simlink.h"

#include "loopback/loopbackengine.h"
#include "loopback/loopbackscreen.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace std::chrono_literals;
using varo::loopback::LoopbackEngine;
using varo::loopback::LoopbackScreen;
using varo::loopback::LoopbackTimings;
using Medium = SimLink::Medium;

namespace {

// Settle long enough for the simulator to take the start sequence; echo timeouts short.
constexpr LoopbackTimings kWire{100ms, 100ms, 300ms, 300ms, 2000};

QStringList listLines(const LoopbackScreen &screen) {
    const QString text = screen.resultList()->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

QString countText(const LoopbackScreen &screen) {
    return screen.findChild<QLabel *>("Label1")->text();
}

QPushButton *button(const LoopbackScreen &screen, const char *name) {
    return screen.findChild<QPushButton *>(name);
}

bool runTest(LoopbackScreen &screen, int timeoutMs) {
    QSignalSpy finished(screen.engine(), &LoopbackEngine::finished);
    QTest::mouseClick(button(screen, "Command1"), Qt::LeftButton);
    return finished.count() == 1 || finished.wait(timeoutMs);
}

} // namespace

class TestLoopbackWire : public QObject {
    Q_OBJECT

private slots:
    void screenHasItsControls();
    void cleanRunEchoesEveryValue_data();
    void cleanRunEchoesEveryValue();
    void readerFaultsAreListed_data();
    void readerFaultsAreListed();
    void stopAndClearWhileRunning();
};

void TestLoopbackWire::screenHasItsControls() {
    varo::link::ReaderLink link;
    LoopbackScreen screen(&link, nullptr);
    QCOMPARE(screen.objectName(), QStringLiteral("loopback"));
    QCOMPARE(button(screen, "Command1")->text(),
             QStringLiteral("Start Loopback Test from User Code"));
    QCOMPARE(button(screen, "Command3")->text(), QStringLiteral("Stop Loopback Test"));
    QCOMPARE(button(screen, "Command4")->text(), QStringLiteral("Clear List"));
    QCOMPARE(screen.findChild<QLabel *>("Label2")->text(),
             QStringLiteral("Tessel Series  Loopback Test"));
    QVERIFY(screen.findChild<QPlainTextEdit *>("List1")->isReadOnly());
    QVERIFY(countText(screen).isEmpty());
}

void TestLoopbackWire::cleanRunEchoesEveryValue_data() {
    QTest::addColumn<Medium>("medium");
    QTest::addColumn<QString>("first");
    QTest::newRow("tcp") << Medium::Tcp << "Starting Loopback Test on tcp port";
    QTest::newRow("pty") << Medium::Pty << "Starting Loopback Test on serial port";
}

// The whole test, 2000 passes of 256 values, as the product runs it.
void TestLoopbackWire::cleanRunEchoesEveryValue() {
    QFETCH(Medium, medium);
    QFETCH(QString, first);
    SimLink reader;
    QVERIFY(reader.connect(medium));
    LoopbackScreen screen(&reader.link, nullptr);
    screen.engine()->setTimings(kWire);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(runTest(screen, 140000));
    qInfo("512000 echoes in %lld ms", clock.elapsed());

    QCOMPARE(listLines(screen), (QStringList{first, " 512000: end of test"}));
    QCOMPARE(countText(screen), QStringLiteral("Characters Sent:  512000"));
    QCOMPARE(reader.sim.echoedBytes(), 512000);
    QVERIFY(button(screen, "Command1")->isEnabled());
    QVERIFY(!reader.link.isBusy());
}

void TestLoopbackWire::readerFaultsAreListed_data() {
    QTest::addColumn<Medium>("medium");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("line");
    for (const auto &[medium, name] : {std::pair{Medium::Tcp, "tcp"}, {Medium::Pty, "pty"}}) {
        QTest::addRow("%s altered echo", name) << medium << "alter"
                                               << " 65: bad echo, expected 40 received 41";
        QTest::addRow("%s dropped echo", name) << medium << "drop"
                                               << " 12: timeout";
    }
}

void TestLoopbackWire::readerFaultsAreListed() {
    QFETCH(Medium, medium);
    QFETCH(QString, fault);
    QFETCH(QString, line);
    SimLink reader;
    QVERIFY(reader.connect(medium));
    if (fault == QLatin1String("alter"))
        reader.sim.options().alterEchoAt = 65;
    else
        reader.sim.options().dropEchoAt = 12;
    LoopbackScreen screen(&reader.link, nullptr);
    LoopbackTimings timings = kWire;
    timings.passes = 1;
    screen.engine()->setTimings(timings);

    QVERIFY(runTest(screen, 10000));
    QCOMPARE(listLines(screen).mid(1), (QStringList{line, " 256: end of test"}));
}

void TestLoopbackWire::stopAndClearWhileRunning() {
    SimLink reader;
    QVERIFY(reader.connect(Medium::Tcp));
    LoopbackScreen screen(&reader.link, nullptr);
    screen.engine()->setTimings(kWire);
    connect(screen.engine(), &LoopbackEngine::countChanged, this, [&screen](qint32 count) {
        if (count == 200)
            QTest::mouseClick(button(screen, "Command4"), Qt::LeftButton);
        if (count == 300)
            QTest::mouseClick(button(screen, "Command3"), Qt::LeftButton);
    });
    QSignalSpy started(screen.engine(), &LoopbackEngine::started);
    QTest::mouseClick(button(screen, "Command1"), Qt::LeftButton);
    QCOMPARE(started.count(), 1);
    // A second start while the test runs is refused.
    QVERIFY(!button(screen, "Command1")->isEnabled());
    QTest::mouseClick(button(screen, "Command1"), Qt::LeftButton);
    QCOMPARE(started.count(), 1);

    QSignalSpy finished(screen.engine(), &LoopbackEngine::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(listLines(screen), QStringList{" 300: end of test"});
    QCOMPARE(countText(screen), QStringLiteral("Characters Sent:  300"));
    QTRY_COMPARE(reader.sim.echoedBytes(), 300);
    QTest::qWait(50);
    QCOMPARE(reader.sim.echoedBytes(), 300);
}

QTEST_MAIN(TestLoopbackWire)
#include "tst_loopbackwire.moc"
