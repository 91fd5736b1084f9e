#include "flash/firmwareimage.h"
#include "flash/loaderformat.h"
#include "imagefiles.h"

#include <QTest>

using namespace varo::flash;

class TestLoaderFormat : public QObject {
    Q_OBJECT
private slots:
    void checksum_data();
    void checksum();
    void dateIsMonthDayYear();
    void progressIsWholePercentRoundedDown_data();
    void progressIsWholePercentRoundedDown();
    void unreadableFilesAreNamedWithTheReason();
};

void TestLoaderFormat::checksum_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("sum");
    QTest::newRow("01 02 03") << QByteArray("\x01\x02\x03") << 0x00;
    QTest::newRow("FF alone") << QByteArray("\xFF") << 0xFF;
    QTest::newRow("A5 0F") << QByteArray("\xA5\x0F") << 0xAA;
    QTest::newRow("NUL bytes count") << QByteArray("\x00\x80\x00", 3) << 0x80;
}

void TestLoaderFormat::checksum() {
    QFETCH(QByteArray, data);
    QFETCH(int, sum);
    QCOMPARE(int(blockChecksum(data)), sum);
}

void TestLoaderFormat::dateIsMonthDayYear() {
    QCOMPARE(downloadDate(QDate(2010, 3, 5)), QByteArray("03052010"));
    QCOMPARE(downloadDate(QDate(2024, 12, 31)), QByteArray("12312024"));
}

void TestLoaderFormat::progressIsWholePercentRoundedDown_data() {
    QTest::addColumn<qint64>("acknowledged");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<QString>("text");
    QTest::newRow("12 %") << qint64(1234) << qint64(10000) << "Downloading - 12 % complete";
    QTest::newRow("single digit padded")
        << qint64(50) << qint64(1000) << "Downloading - 05 % complete";
    // The fraction 0.995 and above must not wrap round to "00".
    QTest::newRow("99.5 %") << qint64(995) << qint64(1000) << "Downloading - 99 % complete";
    QTest::newRow("99.98 %") << qint64(5000) << qint64(5001) << "Downloading - 99 % complete";
    QTest::newRow("large image") << qint64(262100) << qint64(262144)
                                 << "Downloading - 99 % complete";
}

void TestLoaderFormat::progressIsWholePercentRoundedDown() {
    QFETCH(qint64, acknowledged);
    QFETCH(qint64, total);
    QFETCH(QString, text);
    QCOMPARE(progressText(acknowledged, total), text);
}

void TestLoaderFormat::unreadableFilesAreNamedWithTheReason() {
    ImageFiles files;
    const QString missing = files.path(QStringLiteral("missing.bin"));
    const ImageFileContent none = readImageFile(missing);
    QVERIFY(!none.ok());
    QVERIFY2(none.error.contains(missing), qPrintable(none.error));
    QVERIFY2(none.error.contains(QStringLiteral("No such file")), qPrintable(none.error));

    const ImageFileContent folder = readImageFile(files.path(QString()));
    QVERIFY(!folder.ok());
    QVERIFY2(folder.error.contains(QStringLiteral("folder")), qPrintable(folder.error));

    const QByteArray bytes = ImageFiles::pattern(100);
    const ImageFileContent read = readImageFile(files.write(bytes));
    QVERIFY(read.ok());
    QCOMPARE(read.bytes, bytes);
}

QTEST_GUILESS_MAIN(TestLoaderFormat)
#include "tst_loaderformat.moc"
