#include "goldencommands.h"

#include "config/commandtable.h"
#include "config/configmodel.h"
#include "config/defaults.h"

#include <QTest>

using namespace varo::config;
using varo::config::test::kDefaultCommands;

namespace {

QByteArray commandFor(const QByteArray &code, const ConfigModel &model) {
    for (const CommandRow &row : commandTable()) {
        if (row.code == code)
            return buildCommand(row, model);
    }
    return {};
}

} // namespace

class CommandTableTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_model = std::make_unique<ConfigModel>();
        loadDefaults(*m_model);
    }

    void defaultsGiveTheGoldenTable() {
        const QList<CommandRow> &table = commandTable();
        QCOMPARE(table.size(), kDefaultCommands.size());
        for (qsizetype i = 0; i < table.size(); ++i) {
            const auto &golden = kDefaultCommands.at(i);
            QCOMPARE(table.at(i).code, QByteArray(golden.code));
            QCOMPARE(buildPayload(table.at(i), *m_model), QByteArray(golden.payload));
            QCOMPARE(table.at(i).list, golden.list);
            QCOMPARE(table.at(i).timeoutMessage, QString::fromLatin1(golden.timeoutMessage));
        }
    }

    void workedExamples_data() {
        QTest::addColumn<QStringList>("checks");   // boxes set to 1
        QTest::addColumn<QStringList>("unchecks"); // boxes set to 0
        QTest::addColumn<QStringList>("texts");    // field=value
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("Code39 Enbl SS Suf, Len 8, XB with 3 bars")
            << QStringList{"barcode.code39.enabled", "barcode.code39.transmit.startStop",
                           "barcode.code39.transmit.suffix", "barcode.code39.bars.enabled"}
            << QStringList{"barcode.code39.checkDigit", "barcode.code39.transmit.checkDigit",
                           "barcode.code39.transmit.direction", "barcode.code39.transmit.prefix"}
            << QStringList{"barcode.code39.length=8", "barcode.code39.bars.count=3"}
            << QByteArray("X0011001008301");
        QTest::newRow("Code39 prefix 2, 13")
            << QStringList{} << QStringList{}
            << QStringList{"barcode.code39.prefix.1=2", "barcode.code39.prefix.2=13",
                           "barcode.code39.prefix.3=0", "barcode.code39.prefix.4=0",
                           "barcode.code39.prefix.5=0"}
            << QByteArray("X016002013000000000");
        QTest::newRow("reader id 42")
            << QStringList{} << QStringList{} << QStringList{"general.storage.readerId=42"}
            << QByteArray("g   42");
        QTest::newRow("reader description 12345")
            << QStringList{} << QStringList{}
            << QStringList{"general.storage.readerDescription=12345"} << QByteArray("h     12345");
        QTest::newRow("ten character description unchanged")
            << QStringList{} << QStringList{}
            << QStringList{"general.storage.readerDescription=0123456789"}
            << QByteArray("h0123456789");
        QTest::newRow("LEDs: power on red, led 2 good read, times 5 and 10")
            << QStringList{"general.led1.powerOnRed", "general.led2.goodReadGreen"}
            << QStringList{"general.led1.badReadRed", "general.led1.goodReadGreen",
                           "general.led2.powerOnGreen"}
            << QStringList{"general.led1.goodReadTime=5", "general.led2.goodReadTime=10"}
            << QByteArray("X011120510");
        QTest::newRow("format 1 defaults")
            << QStringList{} << QStringList{} << QStringList{} << QByteArray("X074026002080010160");
        QTest::newRow("frequency 440 is padded, not converted")
            << QStringList{} << QStringList{} << QStringList{"general.speaker.frequencyHex=440"}
            << QByteArray("X0950044007");
        QTest::newRow("typed prefix 7")
            << QStringList{} << QStringList{} << QStringList{"barcode.i2of5.prefix.1=7"}
            << QByteArray("X018007000000000000");
        QTest::newRow("typed Len 5")
            << QStringList{} << QStringList{} << QStringList{"barcode.i2of5.length=5"}
            << QByteArray("X0041000050400");
        QTest::newRow("mask Start 3 on both screens")
            << QStringList{} << QStringList{}
            << QStringList{"wiegand.mask1.row1.start=3", "barcode.mask1.row1.start=3"}
            << QByteArray("X0800300000000");
    }

    void workedExamples() {
        QFETCH(QStringList, checks);
        QFETCH(QStringList, unchecks);
        QFETCH(QStringList, texts);
        QFETCH(QByteArray, expected);
        for (const QString &box : checks)
            m_model->setCheck(box, 1);
        for (const QString &box : unchecks)
            m_model->setCheck(box, 0);
        for (const QString &assignment : texts)
            m_model->setText(assignment.section(u'=', 0, 0), assignment.section(u'=', 1));
        const QByteArray code = expected.startsWith('X') ? expected.left(4) : expected.left(1);
        QCOMPARE(commandFor(code, *m_model), expected);
        if (texts.contains(QStringLiteral("barcode.mask1.row1.start=3")))
            QCOMPARE(commandFor("X033", *m_model), QByteArray("X033000300000000"));
    }

    void ledOneDigit_data() {
        QTest::addColumn<int>("badRead");  // Check15
        QTest::addColumn<int>("goodRead"); // Check16
        QTest::addColumn<int>("powerOn");  // Check6
        QTest::addColumn<char>("digit");
        for (int power : {0, 1}) {
            const QByteArray suffix = power ? " power on" : "";
            QTest::newRow("bad+good" + suffix) << 1 << 1 << power << '4';
            QTest::newRow("good" + suffix) << 0 << 1 << power << '3';
            QTest::newRow("bad" + suffix) << 1 << 0 << power << '2';
        }
        QTest::newRow("power only") << 0 << 0 << 1 << '1';
        QTest::newRow("none") << 0 << 0 << 0 << '0';
    }

    void ledOneDigit() {
        QFETCH(int, badRead);
        QFETCH(int, goodRead);
        QFETCH(int, powerOn);
        QFETCH(char, digit);
        m_model->setCheck(QStringLiteral("general.led1.badReadRed"), badRead);
        m_model->setCheck(QStringLiteral("general.led1.goodReadGreen"), goodRead);
        m_model->setCheck(QStringLiteral("general.led1.powerOnRed"), powerOn);
        QCOMPARE(commandFor("X011", *m_model).at(4), digit);
    }

    void ledTwoDigit_data() {
        QTest::addColumn<int>("powerOn");  // Check17
        QTest::addColumn<int>("goodRead"); // Check14
        QTest::addColumn<char>("digit");
        QTest::newRow("both") << 1 << 1 << '2';
        QTest::newRow("good read") << 0 << 1 << '2';
        QTest::newRow("power on") << 1 << 0 << '1';
        QTest::newRow("none") << 0 << 0 << '0';
    }

    void ledTwoDigit() {
        QFETCH(int, powerOn);
        QFETCH(int, goodRead);
        QFETCH(char, digit);
        m_model->setCheck(QStringLiteral("general.led2.powerOnGreen"), powerOn);
        m_model->setCheck(QStringLiteral("general.led2.goodReadGreen"), goodRead);
        QCOMPARE(commandFor("X011", *m_model).at(5), digit);
    }

    void barsFollowTheXbBox_data() {
        QTest::addColumn<int>("xb");
        QTest::addColumn<QString>("bars");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("XB clear ignores the count") << 0 << "7" << QByteArray("X00510000");
        QTest::newRow("XB with a typed digit") << 1 << "7" << QByteArray("X00510700");
        QTest::newRow("XB with the two-digit default") << 1 << "04" << QByteArray("X005100400");
        QTest::newRow("XB with an empty count") << 1 << "" << QByteArray("X0051000");
    }

    void barsFollowTheXbBox() {
        QFETCH(int, xb);
        QFETCH(QString, bars);
        QFETCH(QByteArray, expected);
        m_model->setCheck(QStringLiteral("barcode.upca.enabled"), 1); // Upca Enbl
        m_model->setCheck(QStringLiteral("barcode.upca.bars.enabled"), xb);
        m_model->setText(QStringLiteral("barcode.upca.bars.count"), bars);
        QCOMPARE(commandFor("X005", *m_model), expected);
    }

    void priorityDigit() {
        m_model->select(QStringLiteral("barcode.priority.small"));
        QCOMPARE(commandFor("X037", *m_model), QByteArray("X0372100010"));
        m_model->select(QStringLiteral("barcode.priority.large"));
        QCOMPARE(commandFor("X037", *m_model), QByteArray("X0372200010"));

        ConfigModel fresh; // no button selected: the field is left out
        QCOMPARE(commandFor("X037", fresh), QByteArray("X037000000"));
    }

    void emptyTextsGiveShortFields() {
        m_model->setText(QStringLiteral("barcode.code39.length"), {});
        m_model->setText(QStringLiteral("barcode.code39.prefix.1"), {});
        m_model->setText(QStringLiteral("barcode.timeout"), {});
        QCOMPARE(commandFor("X001", *m_model), QByteArray("X0011000000400"));
        QCOMPARE(commandFor("X016", *m_model), QByteArray("X01600000000000000"));
        QCOMPARE(commandFor("X037", *m_model), QByteArray("X0370000010"));
    }

    void constBoxSendsStartZero() {
        m_model->setText(QStringLiteral("wiegand.mask2.row4.start"), QStringLiteral("12"));
        m_model->setText(QStringLiteral("wiegand.mask2.row4.lenValue"), QStringLiteral("345"));
        m_model->setCheck(QStringLiteral("wiegand.mask2.row4.const"), 1);
        QCOMPARE(commandFor("X083", *m_model), QByteArray("X083000000034500000"));
    }

    // Every field a recipe names reaches the command text: a changed value changes it.
    void everyRecipeFieldIsSent() {
        for (const CommandRow &row : commandTable()) {
            for (const PayloadField &field : row.payload) {
                if (field.kind == PayloadField::Kind::Flag) {
                    init();
                    const QByteArray before = buildCommand(row, *m_model);
                    m_model->setCheck(field.field, 1 - m_model->check(field.field));
                    QVERIFY2(buildCommand(row, *m_model) != before, qPrintable(field.field));
                } else if (field.kind == PayloadField::Kind::Pad) {
                    init();
                    const QByteArray before = buildCommand(row, *m_model);
                    m_model->setText(field.field, QStringLiteral("9"));
                    QVERIFY2(buildCommand(row, *m_model) != before, qPrintable(field.field));
                }
            }
        }
    }

private:
    std::unique_ptr<ConfigModel> m_model;
};

QTEST_GUILESS_MAIN(CommandTableTest)
#include "tst_commandtable.moc"
