#include "utilities/replyformat.h"
#include "utilities/settime.h"
#include "utilities/utilitytexts.h"

#include <QTest>

using namespace varo::utilities;

Q_DECLARE_METATYPE(varo::utilities::Direction)

class TestUtilitiesFormat : public QObject {
    Q_OBJECT
private slots:
    void readerTime_data();
    void readerTime();
    void readerMoment_data();
    void readerMoment();
    void memoryUsage_data();
    void memoryUsage();
    void setTimeCommand_data();
    void setTimeCommand();
    void hourOffset_data();
    void hourOffset();
    void statusTexts();
};

void TestUtilitiesFormat::readerTime_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("shown");
    QTest::newRow("whole") << QByteArray("100305140233") << "2010-03-05 14:02:33";
    QTest::newRow("extra ignored") << QByteArray("10030514023399X") << "2010-03-05 14:02:33";
    QTest::newRow("short") << QByteArray("10030") << "2010-03-0 ::";
    QTest::newRow("empty") << QByteArray() << "20-- ::";
}

void TestUtilitiesFormat::readerTime() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, shown);
    QCOMPARE(formatReaderTime(reply), shown);
}

// Only twelve digits that form a real date and time are a moment.
void TestUtilitiesFormat::readerMoment_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QDateTime>("moment"); // invalid: none
    QTest::newRow("whole") << QByteArray("100305140233")
                           << QDateTime(QDate(2010, 3, 5), QTime(14, 2, 33), Qt::UTC);
    QTest::newRow("leap day") << QByteArray("240229235959")
                              << QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59), Qt::UTC);
    QTest::newRow("not a leap year") << QByteArray("230229000000") << QDateTime();
    QTest::newRow("month 00, hour 51") << QByteArray("?10030514023") << QDateTime();
    QTest::newRow("hour 24") << QByteArray("100305240000") << QDateTime();
    QTest::newRow("thirteen digits") << QByteArray("1003051402335") << QDateTime();
    QTest::newRow("space padded") << QByteArray("10030514023 ") << QDateTime();
}

void TestUtilitiesFormat::readerMoment() {
    QFETCH(QByteArray, reply);
    QFETCH(QDateTime, moment);
    QCOMPARE(parseReaderTime(reply).value_or(QDateTime()), moment);
}

void TestUtilitiesFormat::memoryUsage_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("whole") << QByteArray("012340005600078")
                           << QStringList{"01234", "00056", "00078"};
    QTest::newRow("short") << QByteArray("0123400056007") << QStringList{"01234", "00056", "007"};
    QTest::newRow("one field") << QByteArray("12") << QStringList{"12", "", ""};
}

void TestUtilitiesFormat::memoryUsage() {
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, fields);
    QCOMPARE(splitMemoryUsage(reply), (MemoryUsage{fields[0], fields[1], fields[2]}));
}

void TestUtilitiesFormat::setTimeCommand_data() {
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<int>("hours");
    QTest::addColumn<Direction>("direction");
    QTest::addColumn<QByteArray>("command");
    const QDateTime monday(QDate(2010, 3, 1), QTime(5, 0, 0));
    QTest::newRow("neither option subtracts")
        << monday << 24 << Direction::None << QByteArray("+1002280500007");
    QTest::newRow("add over year end") << QDateTime(QDate(2009, 12, 31), QTime(23, 30, 0)) << 1
                                       << Direction::Add << QByteArray("+1001010030005");
    QTest::newRow("leap day") << QDateTime(QDate(2012, 2, 28), QTime(23, 0, 0)) << 2
                              << Direction::Add << QByteArray("+1202290100003");
    QTest::newRow("saturday") << QDateTime(QDate(2010, 3, 6), QTime(0, 0, 0)) << 0
                              << Direction::Subtract << QByteArray("+1003060000006");
}

void TestUtilitiesFormat::setTimeCommand() {
    QFETCH(QDateTime, now);
    QFETCH(int, hours);
    QFETCH(Direction, direction);
    QFETCH(QByteArray, command);
    QCOMPARE(varo::utilities::setTimeCommand(adjustedMoment(now, hours, direction)), command);
}

void TestUtilitiesFormat::hourOffset_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("hours"); // -1: no value
    QTest::newRow("empty counts as 0") << "" << 0;
    QTest::newRow("00") << "00" << 0;
    QTest::newRow("24") << "24" << 24;
    QTest::newRow("99") << "99" << 99;
    QTest::newRow("sign") << "-1" << -1;
    QTest::newRow("letter") << "1a" << -1;
}

void TestUtilitiesFormat::hourOffset() {
    QFETCH(QString, text);
    QFETCH(int, hours);
    QCOMPARE(parseHourOffset(text).value_or(-1), hours);
}

void TestUtilitiesFormat::statusTexts() {
    QCOMPARE(uploadedText(5), QStringLiteral("Transactions uploaded:  5"));
    QCOMPARE(completeText(0), QStringLiteral("Upload complete,  0 transactions received "));
    QCOMPARE(completeText(40000), QStringLiteral("Upload complete,  40000 transactions received "));
    QCOMPARE(clockText(QDateTime(QDate(2010, 3, 5), QTime(14, 2, 33))),
             QStringLiteral("Current Date/Time: 2010-03-05  14:02:33"));
}

QTEST_APPLESS_MAIN(TestUtilitiesFormat)
#include "tst_utilities_format.moc"
