#include "link/replyframer.h"

#include <QTest>

using varo::link::ReplyFramer;

class TestReplyFramer : public QObject {
    Q_OBJECT
private slots:
    void serialCutsAtFirstCrAndKeepsTheRest();
    void serialSplitAtEveryByte();
    void tcpReplyEndsOnlyWithABlockEndingInCr();
};

void TestReplyFramer::serialCutsAtFirstCrAndKeepsTheRest() {
    const ReplyFramer framer(ReplyFramer::Mode::Serial);
    QByteArray pending("OK\rNEXT\r\n");
    QCOMPARE(framer.take(pending), std::optional<QByteArray>("OK"));
    QCOMPARE(pending, QByteArray("NEXT\r\n"));
    QCOMPARE(framer.take(pending), std::optional<QByteArray>("NEXT"));
    QCOMPARE(pending, QByteArray("\n"));
    QVERIFY(!framer.take(pending).has_value());

    QByteArray empty("\r");
    QCOMPARE(framer.take(empty), std::optional<QByteArray>(QByteArray()));
}

void TestReplyFramer::serialSplitAtEveryByte() {
    const QByteArray wire("\x00V1.2\xff\r", 7);
    for (qsizetype cut = 0; cut <= wire.size(); ++cut) {
        const ReplyFramer framer(ReplyFramer::Mode::Serial);
        QByteArray pending = wire.left(cut);
        std::optional<QByteArray> reply = framer.take(pending);
        if (!reply) {
            pending.append(wire.mid(cut));
            reply = framer.take(pending);
        }
        QVERIFY(reply.has_value());
        QCOMPARE(*reply, QByteArray("\x00V1.2\xff", 6));
        QVERIFY(pending.isEmpty());
    }
}

void TestReplyFramer::tcpReplyEndsOnlyWithABlockEndingInCr() {
    const ReplyFramer framer(ReplyFramer::Mode::Tcp);
    QByteArray pending("O");
    QVERIFY(!framer.take(pending).has_value());
    pending.append("K\r");
    QCOMPARE(framer.take(pending), std::optional<QByteArray>("OK"));
    QVERIFY(pending.isEmpty());

    QByteArray twoLines("A\rB\r");
    QCOMPARE(framer.take(twoLines), std::optional<QByteArray>("A\rB"));

    QByteArray crlf("OK\r\n");
    QVERIFY(!framer.take(crlf).has_value());
    QCOMPARE(crlf, QByteArray("OK\r\n"));
}

QTEST_GUILESS_MAIN(TestReplyFramer)
#include "tst_replyframer.moc"
