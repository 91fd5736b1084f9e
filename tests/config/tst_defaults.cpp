#include "config/configmodel.h"
#include "config/defaults.h"
#include "config/validation.h"

#include <QTest>

using namespace varo::config;

namespace {

// Everything a field holds, for comparing whole models.
QStringList snapshot(const ConfigModel &model) {
    QStringList state;
    for (SetupScreen screen : kSetupScreens) {
        for (const QString &name : model.fieldNames(screen))
            state << QStringLiteral("%1=%2/%3/%4/%5")
                         .arg(name, model.text(name))
                         .arg(model.check(name))
                         .arg(model.isSelected(name))
                         .arg(model.isEnabled(name));
    }
    return state;
}

} // namespace

class DefaultsTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_model = std::make_unique<ConfigModel>();
        loadDefaults(*m_model);
    }

    void values_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value"); // text, or "check:N"

        const QList<std::pair<const char *, const char *>> rows = {
            {"general.prox.enabled", "check:1"},
            {"general.prox.masking", "check:0"},
            {"general.magstripe.goodReadBeep", "check:1"},
            {"general.speaker.goodReadTime", "7"},
            {"general.speaker.frequencyHex", "08C0"},
            {"general.speaker.dutyCycleOn", "01"},
            {"general.speaker.dutyCycleOff", "03"},
            {"general.led1.powerOnRed", "check:1"},
            {"general.led1.goodReadTime", "0"},
            {"general.led2.goodReadGreen", "check:1"},
            {"general.led2.goodReadTime", "1"},
            {"general.storage.idLength", "5"},
            {"general.storage.readerId", ""},
            {"general.storage.readerDescription", ""},
            {"general.storage.includeDateTime", "check:1"},
            {"general.storage.includeReaderDescription", "check:0"},
            {"wiegand.format1.site.start", "02"},
            {"wiegand.format1.site.length", "08"},
            {"wiegand.format1.site.chars", "03"},
            {"wiegand.format1.id.start", "10"},
            {"wiegand.format1.id.length", "16"},
            {"wiegand.format1.id.chars", "05"},
            {"wiegand.format1.totalBits", "26"},
            {"wiegand.format1.issue.chars", "00"},
            {"wiegand.format3.issue.chars", "00"},
            {"wiegand.mask3.row5.start", "00"},
            {"wiegand.mask3.row5.lenValue", "000"},
            {"wiegand.magstripe.length", "00"},
            {"wiegand.magstripe.separatorHex", "00"},
            {"barcode.code39.enabled", "check:1"},
            {"barcode.i2of5.enabled", "check:1"},
            {"barcode.s2of5.enabled", "check:0"},
            {"barcode.hiddenRow.bars.enabled", "check:1"},
            {"barcode.ind2of5.bars.enabled", "check:1"},
            {"barcode.upca.length", "00"},
            {"barcode.hiddenRow.bars.count", "04"},
            {"barcode.hiddenRow.prefix.3", "000"},
            {"barcode.ind2of5.suffix.5", "000"},
            {"barcode.mask2.row1.start", "00"},
            {"barcode.mask2.row1.lenValue", "000"},
            {"barcode.mask2.length", "00"},
            {"barcode.timeout", "2"},
        };
        for (const auto &[field, value] : rows)
            QTest::newRow(field) << QString::fromLatin1(field) << QString::fromLatin1(value);
    }

    void values() {
        QFETCH(QString, field);
        QFETCH(QString, value);
        if (value.startsWith(QLatin1String("check:")))
            QCOMPARE(m_model->check(field), value.mid(6).toInt());
        else
            QCOMPARE(m_model->text(field), value);
    }

    void everyOptionGroupHasItsDefault() {
        QCOMPARE(m_model->selectedIn(QStringLiteral("barcode.priority")),
                 QStringLiteral("barcode.priority.none"));
        QCOMPARE(m_model->selectedIn(QStringLiteral("commports.rs232.baud")),
                 QStringLiteral("commports.rs232.baud.9600"));
        QCOMPARE(m_model->selectedIn(QStringLiteral("commports.rs232.parity")),
                 QStringLiteral("commports.rs232.parity.8none"));
        QCOMPARE(m_model->selectedIn(QStringLiteral("commports.rs422.baud")),
                 QStringLiteral("commports.rs422.baud.9600"));
        QCOMPARE(m_model->selectedIn(QStringLiteral("commports.rs422.parity")),
                 QStringLiteral("commports.rs422.parity.8none"));
    }

    void disabledCellsStayDisabledAndClear() {
        // The grid cells a symbology does not have ("CD" of "S 2/5", "SS" of "Upca", ...).
        const QStringList absent = {
            "i2of5.transmit.startStop",   "s2of5.checkDigit",   "s2of5.transmit.checkDigit",
            "s2of5.transmit.startStop",   "codabar.checkDigit", "codabar.transmit.checkDigit",
            "code128.transmit.startStop", "upca.checkDigit",    "upca.transmit.checkDigit",
            "upca.transmit.startStop",    "ean13.checkDigit",   "ean13.transmit.checkDigit",
            "ean13.transmit.startStop",   "ind2of5.checkDigit", "ind2of5.transmit.checkDigit",
            "ind2of5.transmit.startStop"};
        for (const QString &cell : absent) {
            const QString box = QStringLiteral("barcode.") + cell;
            QCOMPARE(m_model->check(box), 0);
            QVERIFY(!m_model->isEnabled(box));
        }
        // Even a box that someone set behind the screen's back is not written.
        m_model->setCheck(QStringLiteral("barcode.s2of5.checkDigit"), 1);
        loadDefaults(*m_model);
        QCOMPARE(m_model->check(QStringLiteral("barcode.s2of5.checkDigit")), 1);
    }

    void defaultsUndoEveryEdit() {
        const QStringList fresh = snapshot(*m_model);
        m_model->setCheck(QStringLiteral("wiegand.mask2.row4.const"), 1);
        m_model->setCheck(QStringLiteral("barcode.mask1.row4.const"), 1);
        m_model->setText(QStringLiteral("wiegand.mask2.row4.lenValue"), QStringLiteral("123"));
        m_model->setText(QStringLiteral("general.storage.readerDescription"),
                         QStringLiteral("Lobby"));
        m_model->setCheck(QStringLiteral("barcode.hiddenRow.bars.enabled"), 0);
        m_model->select(QStringLiteral("commports.rs232.parity.7even"));
        m_model->select(QStringLiteral("barcode.priority.large"));
        QVERIFY(!m_model->isEnabled(QStringLiteral("wiegand.mask2.row4.start")));

        loadDefaults(*m_model);
        QCOMPARE(snapshot(*m_model), fresh);
        QVERIFY(m_model->isEnabled(QStringLiteral("wiegand.mask2.row4.start")));
        QCOMPARE(m_model->text(QStringLiteral("wiegand.mask2.row4.start")), QStringLiteral("00"));
    }

    void defaultsPassValidationSilently() {
        const ValidationResult result = validate(*m_model);
        QVERIFY(result.passed);
        QVERIFY(result.lines.isEmpty());
    }

private:
    std::unique_ptr<ConfigModel> m_model;
};

QTEST_GUILESS_MAIN(DefaultsTest)
#include "tst_defaults.moc"
