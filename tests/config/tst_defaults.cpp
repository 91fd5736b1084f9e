#include "config/configmodel.h"
#include "config/defaults.h"
#include "config/validation.h"

#include <QTest>

using namespace varo::config;

namespace {

// Everything a field holds, for comparing whole models.
QStringList snapshot(const ConfigModel &model) {
    QStringList state;
    for (const QString &screen : {kGeneral, kWiegand, kBarcode, kCommports}) {
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
            {"general.Check9", "check:1"},     {"general.Check8", "check:0"},
            {"general.Check2", "check:1"},     {"general.Text5(6)", "7"},
            {"general.Text5(2)", "08C0"},      {"general.Text5(4)", "01"},
            {"general.Text5(5)", "03"},        {"general.Check6", "check:1"},
            {"general.Text5(1)", "0"},         {"general.Check14", "check:1"},
            {"general.Text5(3)", "1"},         {"general.Text5(0)", "5"},
            {"general.Text5(7)", ""},          {"general.Text5(8)", ""},
            {"general.Check1", "check:1"},     {"general.Check18", "check:0"},
            {"wiegand.Text1(1)", "02"},        {"wiegand.Text1(4)", "08"},
            {"wiegand.Text1(6)", "03"},        {"wiegand.Text1(0)", "10"},
            {"wiegand.Text1(5)", "16"},        {"wiegand.Text1(7)", "05"},
            {"wiegand.Text1(3)", "26"},        {"wiegand.Text1(9)", "00"},
            {"wiegand.Text1(29)", "00"},       {"wiegand.Text2(14)", "00"},
            {"wiegand.Text3(14)", "000"},      {"wiegand.Text4", "00"},
            {"wiegand.Text5", "00"},           {"barcode.Check1(0)", "check:1"},
            {"barcode.Check1(8)", "check:1"},  {"barcode.Check1(16)", "check:0"},
            {"barcode.Check1(26)", "check:1"}, {"barcode.Check1(66)", "check:1"},
            {"barcode.Text1(6)", "00"},        {"barcode.Text3(3)", "04"},
            {"barcode.Text2(17)", "000"},      {"barcode.Text4(44)", "000"},
            {"barcode.Text5(9)", "00"},        {"barcode.Text7(9)", "000"},
            {"barcode.Text8(1)", "00"},        {"barcode.Text6", "2"},
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
        QCOMPARE(m_model->selectedIn(QStringLiteral("barcode.Priority")),
                 QStringLiteral("barcode.Option1(2)"));
        QCOMPARE(m_model->selectedIn(QStringLiteral("commports.RS232Baud")),
                 QStringLiteral("commports.Option1(2)"));
        QCOMPARE(m_model->selectedIn(QStringLiteral("commports.RS232Parity")),
                 QStringLiteral("commports.Option5(1)"));
        QCOMPARE(m_model->selectedIn(QStringLiteral("commports.RS422Baud")),
                 QStringLiteral("commports.Option1(7)"));
        QCOMPARE(m_model->selectedIn(QStringLiteral("commports.RS422Parity")),
                 QStringLiteral("commports.Option5(2)"));
    }

    void disabledCellsStayDisabledAndClear() {
        for (int j : {12, 17, 19, 20, 33, 35, 44, 49, 51, 52, 57, 59, 60, 65, 67, 68}) {
            const QString box = fieldName(kBarcode, QStringLiteral("Check1"), j);
            QCOMPARE(m_model->check(box), 0);
            QVERIFY(!m_model->isEnabled(box));
        }
        // Even a box that someone set behind the screen's back is not written.
        m_model->setCheck(QStringLiteral("barcode.Check1(17)"), 1);
        loadDefaults(*m_model);
        QCOMPARE(m_model->check(QStringLiteral("barcode.Check1(17)")), 1);
    }

    void defaultsUndoEveryEdit() {
        const QStringList fresh = snapshot(*m_model);
        m_model->setCheck(QStringLiteral("wiegand.Check10"), 1);
        m_model->setCheck(QStringLiteral("barcode.Check4(3)"), 1);
        m_model->setText(QStringLiteral("wiegand.Text3(8)"), QStringLiteral("123"));
        m_model->setText(QStringLiteral("general.Text5(8)"), QStringLiteral("Lobby"));
        m_model->setCheck(QStringLiteral("barcode.Check1(26)"), 0);
        m_model->select(QStringLiteral("commports.Option1(4)"));
        m_model->select(QStringLiteral("barcode.Option1(1)"));
        QVERIFY(!m_model->isEnabled(QStringLiteral("wiegand.Text2(8)")));

        loadDefaults(*m_model);
        QCOMPARE(snapshot(*m_model), fresh);
        QVERIFY(m_model->isEnabled(QStringLiteral("wiegand.Text2(8)")));
        QCOMPARE(m_model->text(QStringLiteral("wiegand.Text2(8)")), QStringLiteral("00"));
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
