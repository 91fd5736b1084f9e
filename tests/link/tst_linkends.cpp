#include "link/readerlink.h"
#include "support/fakelink.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <optional>

using namespace varo::link;

// How waits and claims learn that the link ended under them.
class TestLinkEnds : public QObject {
    Q_OBJECT
private slots:
    void replyWaitEndsWithWhyTheLinkEnded_data();
    void replyWaitEndsWithWhyTheLinkEnded();
    void claimIsRefusedWhileHeldAndFreedOnScopeExit();
    void movedClaimKeepsTheHold();
    void claimHolderLearnsHowTheLinkEnded_data();
    void claimHolderLearnsHowTheLinkEnded();
    void openLinkKeepsTheSettingsItWasOpenedWith();
    void quickDropsKeepBackingOff();
    void eachWaitGetsItsOwnWholeTimeout();
};

void TestLinkEnds::replyWaitEndsWithWhyTheLinkEnded_data() {
    QTest::addColumn<bool>("byUser");
    QTest::newRow("disconnect") << true;
    QTest::newRow("link error") << false;
}

void TestLinkEnds::replyWaitEndsWithWhyTheLinkEnded() {
    QFETCH(bool, byUser);
    FakeLink fake(false);
    QSignalSpy states(&fake.link, &ReaderLink::stateChanged);
    QList<ReplyResult> results;
    QVERIFY(fake.link.readReply(this, [&](const ReplyResult &r) { results.append(r); }));
    fake.transport->receive("PAR");
    if (byUser)
        QVERIFY(fake.link.disconnectReader());
    else
        fake.transport->breakDown(QStringLiteral("device vanished"));

    QCOMPARE(results.size(), 1);
    const ReplyResult &result = results.first();
    QVERIFY(!result.ok());
    QVERIFY(!result.timedOut());
    QCOMPARE(result.end, byUser ? WaitEnd::Disconnected : WaitEnd::LinkError);
    QCOMPARE(result.linkError, byUser ? QString() : QStringLiteral("device vanished"));
    QCOMPARE(fake.link.state(), byUser ? LinkState::Disconnected : LinkState::Lost);
    // A lost link never reads "Connected"; the status names why it is gone.
    if (byUser)
        QCOMPARE(fake.link.status(), QStringLiteral("Disconnected"));
    else
        QVERIFY(fake.link.status() != QStringLiteral("Connected") && !fake.link.status().isEmpty());
    QCOMPARE(states.last().first().value<LinkState>(), fake.link.state());
    QVERIFY(!fake.link.isWaitingForReply());
    // No second call, not even when the reply timeout would have run out.
    QTest::qWait(int(fake.link.timings().replyTimeout.count() / 50));
    QCOMPARE(results.size(), 1);
    if (!byUser) {
        QVERIFY(!fake.link.sendCommand("V"));
        QCOMPARE(fake.link.lastError(), QStringLiteral("device vanished"));
    }
}

void TestLinkEnds::claimIsRefusedWhileHeldAndFreedOnScopeExit() {
    FakeLink fake(true);
    QSignalSpy busy(&fake.link, &ReaderLink::busyChanged);
    {
        const OperationClaim first = fake.link.claim(varo::link::Operation::Upload);
        QVERIFY(first.isHeld());
        QVERIFY(fake.link.isBusy());
        const OperationClaim second = fake.link.claim(varo::link::Operation::ProgramReader);
        QVERIFY(!second);
        QCOMPARE(fake.link.activeOperationName(), QStringLiteral("Upload Stored Data"));
    }
    QVERIFY(!fake.link.isBusy());
    QVERIFY(fake.link.activeOperationName().isEmpty());
    QCOMPARE(busy.size(), 2);

    OperationClaim again = fake.link.claim(varo::link::Operation::Terminal);
    QVERIFY(again);
    again.release();
    QVERIFY(!again);
    QVERIFY(!fake.link.isBusy());
    again.release(); // a second release does nothing
    QCOMPARE(busy.size(), 4);
}

void TestLinkEnds::movedClaimKeepsTheHold() {
    FakeLink fake(false);
    OperationClaim outer;
    {
        OperationClaim inner = fake.link.claim(varo::link::Operation::Loopback);
        outer = std::move(inner);
        QVERIFY(!inner); // NOLINT(bugprone-use-after-move): a moved-from claim is empty
    }
    QVERIFY(outer);
    QVERIFY(fake.link.isBusy());
    // A claim that outlives its link does no harm.
    auto link = std::make_unique<ReaderLink>();
    OperationClaim orphan = link->claim(varo::link::Operation::Terminal);
    QVERIFY(orphan);
    link.reset();
    QVERIFY(!orphan);
}

void TestLinkEnds::claimHolderLearnsHowTheLinkEnded_data() {
    QTest::addColumn<bool>("byUser");
    QTest::newRow("disconnect") << true;
    QTest::newRow("link error") << false;
}

void TestLinkEnds::claimHolderLearnsHowTheLinkEnded() {
    QFETCH(bool, byUser);
    FakeLink fake(true);
    QList<LinkEnd> ends;
    const OperationClaim claim = fake.link.claim(varo::link::Operation::FirmwareDownload,
                                                 [&](const LinkEnd &end) { ends.append(end); });
    QVERIFY(claim);
    if (!byUser) {
        fake.transport->breakDown(QStringLiteral("peer closed"));
        fake.transport->breakDown(QStringLiteral("again")); // told once only
        QCOMPARE(ends.size(), 1);
        QCOMPARE(ends.first().why, WaitEnd::LinkError);
        QCOMPARE(ends.first().reason, QStringLiteral("peer closed"));
    }
    // The user disconnects (the lost link, or the open one): the holder hears that too, once.
    fake.link.disconnectReader();
    fake.link.disconnectReader();
    QCOMPARE(ends.size(), byUser ? 1 : 2);
    QCOMPARE(ends.last().why, WaitEnd::Disconnected);
    QVERIFY(ends.last().reason.isEmpty());
    // Still held until its owner lets go.
    QVERIFY(claim.isHeld());

    // Until then it keeps other operations off the link, even on a new connection.
    fake.link.connectReader(fake.settings);
    OperationClaim later = fake.link.claim(varo::link::Operation::Upload);
    QVERIFY(!later);
}

void TestLinkEnds::openLinkKeepsTheSettingsItWasOpenedWith() {
    FakeLink fake(true, QStringLiteral("127.0.0.1"), 4001);
    LinkSettings screenChoices = fake.settings;
    // The screen changes its choices while connected ("Default Settings").
    screenChoices.mode = LinkMode::Serial;
    screenChoices.tcpPort = 0;
    QVERIFY(!fake.link.connectReader(screenChoices));
    QVERIFY(fake.link.settings().isTcp());
    QCOMPARE(fake.link.settings().tcpPort, quint16(4001));

    // TCP framing stays: a block ending in CR is one reply, earlier CRs included.
    std::optional<ReplyResult> result;
    fake.link.readReply(this, [&](const ReplyResult &r) { result = r; });
    fake.transport->receive("A\rB\r");
    QTRY_VERIFY(result.has_value());
    QCOMPARE(result->reply, QByteArray("A\rB"));
    QVERIFY(fake.link.sendWakeup());
    QCOMPARE(fake.transport->writes.last(), QByteArray("\r\r"));

    // The choices take effect at the next connect.
    fake.link.disconnectReader();
    QVERIFY(fake.link.connectReader(screenChoices));
    QVERIFY(!fake.link.settings().isTcp());
}

// A peer that accepts and drops at once is one outage: the delay keeps growing and the loss
// is marked as repeated, so the window tells of it once.
void TestLinkEnds::quickDropsKeepBackingOff() {
    FakeLink fake(true);
    QTRY_VERIFY(fake.link.state() == LinkState::Connected);
    fake.link.setAutoReconnect(true);
    QSignalSpy scheduled(&fake.link, &ReaderLink::reconnectScheduled);
    QSignalSpy reconnected(&fake.link, &ReaderLink::reconnected);
    fake.transport->breakDown(QStringLiteral("gone"));
    QCOMPARE(fake.link.state(), LinkState::Reconnecting);
    QVERIFY(!fake.link.isRepeatedLoss());
    QCOMPARE(fake.link.nextRetryDelay(), ReaderLink::kFirstRetry);
    QCOMPARE(scheduled.size(), 1);
    QVERIFY(reconnected.wait(2000));
    fake.transport->breakDown(QStringLiteral("gone again"));
    QVERIFY(fake.link.isRepeatedLoss());
    QCOMPARE(fake.link.nextRetryDelay(), ReaderLink::kFirstRetry * 2);
    QCOMPARE(scheduled.last().first().value<std::chrono::milliseconds>(),
             ReaderLink::kFirstRetry * 2);
    // A new connect by the user starts over.
    fake.link.disconnectReader();
    fake.link.connectReader(fake.settings);
    QTRY_VERIFY(fake.link.state() == LinkState::Connected);
    fake.transport->breakDown(QStringLiteral("gone"));
    QVERIFY(!fake.link.isRepeatedLoss());
    QCOMPARE(fake.link.nextRetryDelay(), ReaderLink::kFirstRetry);
}

// The time-out timer stays armed across answered waits; each wait must still end exactly at its
// own deadline, neither at an earlier wait's nor at a longer one's.
void TestLinkEnds::eachWaitGetsItsOwnWholeTimeout() {
    FakeLink fake(true);
    LinkTimings timings = fake.link.timings();
    const auto waitOnce = [&fake](std::optional<ReplyResult> &result) {
        return fake.link.readReply(&fake.link, [&result](const ReplyResult &r) { result = r; });
    };
    timings.replyTimeout = std::chrono::milliseconds(300);
    fake.link.setTimings(timings);
    std::optional<ReplyResult> answered;
    QVERIFY(waitOnce(answered));
    fake.transport->receive("OK\r");
    QVERIFY(answered && answered->ok());
    QTest::qWait(150);

    QElapsedTimer clock;
    clock.start();
    std::optional<ReplyResult> late;
    QVERIFY(waitOnce(late));
    QTRY_VERIFY_WITH_TIMEOUT(late.has_value(), 2000);
    QVERIFY(late->timedOut());
    QVERIFY2(clock.elapsed() >= 295, qPrintable(QString::number(clock.elapsed())));

    timings.replyTimeout = std::chrono::milliseconds(5000);
    fake.link.setTimings(timings);
    answered.reset();
    QVERIFY(waitOnce(answered));
    fake.transport->receive("OK\r");
    QVERIFY(answered && answered->ok());
    timings.replyTimeout = std::chrono::milliseconds(50);
    fake.link.setTimings(timings);
    clock.restart();
    std::optional<ReplyResult> shorter;
    QVERIFY(waitOnce(shorter));
    QTRY_VERIFY_WITH_TIMEOUT(shorter.has_value(), 2000);
    QVERIFY(shorter->timedOut());
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(TestLinkEnds)
#include "tst_linkends.moc"
