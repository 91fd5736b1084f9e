#include "config/configmodel.h"
#include "config/digitstable.h"
#include "config/keystrokerule.h"

#include <QSignalSpy>
#include <QTest>

using namespace varo::config;

class ConfigModelTest : public QObject {
    Q_OBJECT

private slots:
    void constRuleActsOnTheStartOfItsRow_data() {
        QTest::addColumn<QString>("constBox");
        QTest::addColumn<QString>("start");
        QTest::newRow("wiegand block 1 mask 1") << "wiegand.mask1.row1.const"
                                                << "wiegand.mask1.row1.start";
        QTest::newRow("wiegand block 1 mask 5") << "wiegand.mask1.row5.const"
                                                << "wiegand.mask1.row5.start";
        QTest::newRow("wiegand block 2 mask 1") << "wiegand.mask2.row1.const"
                                                << "wiegand.mask2.row1.start";
        QTest::newRow("wiegand block 2 mask 4") << "wiegand.mask2.row4.const"
                                                << "wiegand.mask2.row4.start";
        QTest::newRow("wiegand block 3 mask 1") << "wiegand.mask3.row1.const"
                                                << "wiegand.mask3.row1.start";
        QTest::newRow("wiegand block 3 mask 5") << "wiegand.mask3.row5.const"
                                                << "wiegand.mask3.row5.start";
        QTest::newRow("barcode mask # 1 mask 1") << "barcode.mask1.row1.const"
                                                 << "barcode.mask1.row1.start";
        QTest::newRow("barcode mask # 2 mask 4") << "barcode.mask2.row4.const"
                                                 << "barcode.mask2.row4.start";
    }

    void constRuleActsOnTheStartOfItsRow() {
        QFETCH(QString, constBox);
        QFETCH(QString, start);
        ConfigModel model;
        model.setText(start, QStringLiteral("17"));

        model.setCheck(constBox, 1);
        QCOMPARE(model.text(start), QStringLiteral("00"));
        QVERIFY(!model.isEnabled(start));

        model.setCheck(constBox, 0);
        QVERIFY(model.isEnabled(start));
        QCOMPARE(model.text(start), QStringLiteral("00"));

        // Only its own row reacts.
        model.setCheck(constBox, 1);
        int disabled = 0;
        for (SetupScreen screen : {SetupScreen::Wiegand, SetupScreen::Barcode}) {
            for (const QString &name : model.fieldNames(screen))
                disabled += !model.isEnabled(name) && !model.info(name).disabled;
        }
        QCOMPARE(disabled, 1);
    }

    void ordinaryBoxesHaveNoConstRule() {
        ConfigModel model;
        model.setText(QStringLiteral("wiegand.mask1.row1.start"), QStringLiteral("12"));
        model.setCheck(QStringLiteral("wiegand.format1.site.lsb"), 1); // an Lsb box
        QCOMPARE(model.text(QStringLiteral("wiegand.mask1.row1.start")), QStringLiteral("12"));
    }

    void optionGroupsAreIndependent() {
        ConfigModel model;
        const QString rs232None = QStringLiteral("commports.rs232.parity.8none");
        const QString rs232Even = QStringLiteral("commports.rs232.parity.7even");
        const QString rs422None = QStringLiteral("commports.rs422.parity.8none");
        const QString rs232Baud = QStringLiteral("commports.rs232.baud.9600");
        model.select(rs232None);
        model.select(rs422None);
        model.select(rs232Baud);

        QSignalSpy changes(&model, &ConfigModel::fieldChanged);
        model.select(rs232Even);
        QVERIFY(model.isSelected(rs232Even));
        QVERIFY(!model.isSelected(rs232None));
        QVERIFY(model.isSelected(rs422None));
        QVERIFY(model.isSelected(rs232Baud)); // same control array, other group
        QCOMPARE(changes.size(), 2);
        QCOMPARE(model.selectedIn(QStringLiteral("commports.rs232.parity")), rs232Even);
    }

    void changesAreAnnouncedOnce() {
        ConfigModel model;
        QSignalSpy changes(&model, &ConfigModel::fieldChanged);
        model.setText(QStringLiteral("general.storage.idLength"), QStringLiteral("5"));
        model.setText(QStringLiteral("general.storage.idLength"), QStringLiteral("5"));
        model.setCheck(QStringLiteral("general.prox.enabled"), 1);
        model.setCheck(QStringLiteral("general.prox.enabled"), 1);
        QCOMPARE(changes.size(), 2);
        QCOMPARE(changes.at(0).at(0).toString(), QStringLiteral("general.storage.idLength"));
    }

    void fieldsStartAsCreated() {
        ConfigModel model;
        QCOMPARE(model.check(QStringLiteral("barcode.s2of5.checkDigit")), 0);
        QVERIFY(!model.isEnabled(QStringLiteral("barcode.s2of5.checkDigit")));
        QVERIFY(!model.isEnabled(QStringLiteral("barcode.upca.length")));
        QVERIFY(model.isHidden(QStringLiteral("barcode.hiddenRow.prefix.3")));
        QVERIFY(model.isHidden(QStringLiteral("barcode.hiddenRow.bars.enabled")));
        QVERIFY(!model.isHidden(QStringLiteral("barcode.codabar.bars.enabled")));
        QCOMPARE(model.info(QStringLiteral("barcode.hiddenRow.bars.count")).maxLength, 2);
        QCOMPARE(model.info(QStringLiteral("barcode.codabar.bars.count")).maxLength, 1);
        QCOMPARE(model.info(QStringLiteral("general.speaker.frequencyHex")).rule, InputRule::Hex);
        QCOMPARE(model.info(QStringLiteral("wiegand.magstripe.separatorHex")).rule, InputRule::Hex);
        QCOMPARE(model.info(QStringLiteral("general.storage.readerDescription")).rule,
                 InputRule::Digits);
        QCOMPARE(model.info(QStringLiteral("barcode.s2of5.checkDigit")).objectName,
                 QStringLiteral("Check1_17"));
        QCOMPARE(model.info(QStringLiteral("general.prox.enabled")).objectName,
                 QStringLiteral("Check9"));
    }

    void keystrokeRule_data() {
        QTest::addColumn<InputRule>("rule");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("kept"); // "!" = refused

        const InputRule d = InputRule::Digits;
        const InputRule h = InputRule::Hex;
        QTest::newRow("digit") << d << 2 << "5"
                               << "57"
                               << "57";
        QTest::newRow("letter refused") << d << 4 << "5"
                                        << "5A"
                                        << "!";
        QTest::newRow("space refused") << d << 4 << "5"
                                       << "5 "
                                       << "!";
        QTest::newRow("backspace") << d << 2 << "57"
                                   << "5"
                                   << "5";
        QTest::newRow("beyond the limit") << d << 2 << "57"
                                          << "571"
                                          << "!";
        QTest::newRow("paste with a letter") << d << 5 << ""
                                             << "12a"
                                             << "!";
        QTest::newRow("paste of digits") << d << 5 << ""
                                         << "123"
                                         << "123";
        QTest::newRow("hex lower case kept upper") << h << 4 << "08"
                                                   << "08c"
                                                   << "08C";
        QTest::newRow("hex upper case") << h << 4 << "08"
                                        << "08F"
                                        << "08F";
        QTest::newRow("hex G refused") << h << 4 << "08"
                                       << "08g"
                                       << "!";
        QTest::newRow("hex full") << h << 4 << "08C0"
                                  << "08C01"
                                  << "!";
        QTest::newRow("long default shortened") << d << 1 << "04"
                                                << "0"
                                                << "0";
        QTest::newRow("long default not extended") << d << 1 << "04"
                                                   << "043"
                                                   << "!";
        QTest::newRow("long default not replaced in place") << d << 1 << "04"
                                                            << "07"
                                                            << "!";
        QTest::newRow("program text kept") << d << 2 << "08C0"
                                           << "08C0"
                                           << "08C0";
    }

    void keystrokeRule() {
        QFETCH(InputRule, rule);
        QFETCH(int, maxLength);
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, kept);
        const std::optional<QString> result = acceptEdit(rule, maxLength, before, after);
        QCOMPARE(result.value_or(QStringLiteral("!")), kept);
    }

    void digitsTable() {
        // Ranges of bit lengths and the characters their largest value needs.
        const QList<std::tuple<int, int, int>> ranges = {
            {1, 3, 1},    {4, 6, 2},    {7, 9, 3},    {10, 13, 4},  {14, 16, 5},
            {17, 19, 6},  {20, 23, 7},  {24, 26, 8},  {27, 29, 9},  {30, 33, 10},
            {34, 36, 11}, {37, 39, 12}, {40, 43, 13}, {44, 46, 14}, {47, 49, 15},
            {50, 53, 16}, {54, 56, 17}, {57, 59, 18}, {60, 63, 19}, {64, 64, 20}};
        for (const auto &[first, last, digits] : ranges) {
            for (int n = first; n <= last; ++n)
                QCOMPARE(kDigitsTable[n], digits);
        }
        QCOMPARE(kDigitsTable.size(), std::size_t(66));
        QCOMPARE(kDigitsTable[0], 0);
        QCOMPARE(kDigitsTable[65], 0);
        QCOMPARE(digitsForBits(99), 0);
        QCOMPARE(digitsForBits(-1), 0);
    }
};

QTEST_GUILESS_MAIN(ConfigModelTest)
#include "tst_configmodel.moc"
