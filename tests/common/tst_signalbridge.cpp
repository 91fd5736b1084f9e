#include "common/signalbridge.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

using varo::common::SignalBridge;

// SIGINT and SIGTERM reach the program as `received`, from the event loop, once each.
class TestSignalBridge : public QObject {
    Q_OBJECT
private slots:
    void signalsArriveFromTheEventLoop() {
        SignalBridge bridge;
        QVERIFY(bridge.isInstalled());
        QSignalSpy received(&bridge, &SignalBridge::received);
        QVERIFY(::raise(SIGINT) == 0);
        QVERIFY(::raise(SIGTERM) == 0);
        QVERIFY(received.isEmpty()); // never from inside the handler
        QTRY_COMPARE(received.size(), 2);
        QCOMPARE(received.at(0).at(0).toInt(), SIGINT);
        QCOMPARE(received.at(1).at(0).toInt(), SIGTERM);
        QTest::qWait(50);
        QCOMPARE(received.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestSignalBridge)
#include "tst_signalbridge.moc"
