#include "cli/filelimit.h"
#include "common/openfiles.h"

#include <QTest>

#include <sys/resource.h>

using namespace varo::cli;

class TestFileLimit : public QObject {
    Q_OBJECT
private slots:
    void budget_data();
    void budget();
    void lowSoftLimitIsRaisedToTheHardOne();
};

void TestFileLimit::budget_data() {
    QTest::addColumn<int>("wanted");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<int>("links");
    QTest::addColumn<bool>("told");

    QTest::newRow("unlimited") << 1000 << qint64(-1) << 1000 << false;
    QTest::newRow("well inside") << 16 << qint64(1024) << 16 << false;
    QTest::newRow("just fits") << 992 << qint64(1024) << 992 << false;
    QTest::newRow("one too many") << 993 << qint64(1024) << 992 << true;
    QTest::newRow("fleet over the default") << 1000 << qint64(1024) << 992 << true;
    QTest::newRow("tiny limit still works one") << 5 << qint64(20) << 1 << true;
}

void TestFileLimit::budget() {
    QFETCH(int, wanted);
    QFETCH(qint64, limit);
    QFETCH(int, links);
    QFETCH(bool, told);
    const LinkBudget budget = linkBudget(wanted, limit);
    QCOMPARE(budget.links, links);
    QCOMPARE(!budget.notice.isEmpty(), told);
    if (told) {
        QVERIFY(budget.notice.contains(QString::number(limit)));
        QVERIFY(budget.notice.contains(QString::number(wanted)));
    }
}

void TestFileLimit::lowSoftLimitIsRaisedToTheHardOne() {
    rlimit before{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &before), 0);
    if (before.rlim_max != RLIM_INFINITY && before.rlim_max < 300)
        QSKIP("the hard open-file limit here is below what this test needs");
    rlimit low = before;
    low.rlim_cur = 64;
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &low), 0);

    const LinkBudget budget = fitLinksToFileLimit(200);
    QCOMPARE(budget.links, 200);
    QVERIFY(budget.notice.isEmpty());
    const varo::common::OpenFileLimit now = varo::common::openFileLimit();
    QCOMPARE(now.hard, before.rlim_max == RLIM_INFINITY ? qint64(-1) : qint64(before.rlim_max));
    QVERIFY(now.soft == -1 || now.soft >= 200 + kFilesBesideLinks);
    if (before.rlim_max != RLIM_INFINITY)
        QCOMPARE(now.soft, qint64(before.rlim_max));

    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &before), 0);
}

QTEST_GUILESS_MAIN(TestFileLimit)
#include "tst_filelimit.moc"
