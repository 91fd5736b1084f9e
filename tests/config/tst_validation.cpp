#include "config/configmodel.h"
#include "config/defaults.h"
#include "config/validation.h"

#include <QTest>

using namespace varo::config;

// Field edits on top of the defaults, "field=value" each.
using Edits = QStringList;

class ValidationTest : public QObject {
    Q_OBJECT

private slots:
    void messages_data() {
        QTest::addColumn<Edits>("edits");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("passed");

        const auto error = [](const char *name, Edits edits, const char *message) {
            QTest::newRow(name) << edits << QStringList{QString::fromLatin1(message)} << false;
        };
        const auto fine = [](const char *name, Edits edits) {
            QTest::newRow(name) << edits << QStringList{} << true;
        };

        error("wiegand formatting", {"wiegand.format3.issue.chars="},
              "Error - Empty field in wiegand/prox formatting");
        error("blank counts as empty", {"wiegand.format2.site.length=  "},
              "Error - Empty field in wiegand/prox formatting");
        error("wiegand masking", {"wiegand.mask3.row5.lenValue="},
              "Error - Empty field in wiegand/prox masking");
        error("magstripe length", {"wiegand.magstripe.length="},
              "Error - Empty field - magstripe length");
        error("magstripe sep char", {"wiegand.magstripe.separatorHex="},
              "Error - Empty field - magstripe sep char");

        error("format 1 site start 0", {"wiegand.format1.site.start=00"},
              "Error - Wie/prox format 1 - site field has a length but specifies start of 0");
        fine("format 1 site start and length 0",
             {"wiegand.format1.site.start=00", "wiegand.format1.site.length=00"});
        error("format 1 id start 0", {"wiegand.format1.id.start=0"},
              "Error - Wie/prox format 1 - id field has a length but specifies start of 0");
        error("format 1 issue start 0", {"wiegand.format1.issue.length=04"},
              "Error - Wie/prox format 1 - issue field has a length but specifies start of 0");
        error("format 1 site beyond",
              {"wiegand.format1.site.start=20", "wiegand.format1.site.length=08"},
              "Error - Wie/prox format 1 - site field goes beyond end of bit stream");
        error("format 1 id beyond", {"wiegand.format1.id.start=20", "wiegand.format1.id.length=08"},
              "Error - Wie/prox format 1 - id field goes beyond end of bit stream");
        fine("format 1 id ends on the last bit",
             {"wiegand.format1.id.start=20", "wiegand.format1.id.length=07"});
        error("format 1 issue beyond",
              {"wiegand.format1.issue.start=26", "wiegand.format1.issue.length=02"},
              "Error - Wie/prox format 1 - issue field goes beyond end of bit stream");
        error("start 0 wins over beyond",
              {"wiegand.format1.site.start=0", "wiegand.format1.id.start=30"},
              "Error - Wie/prox format 1 - site field has a length but specifies start of 0");

        error("format 2 id start 0", {"wiegand.format2.id.length=05"},
              "Error - Wie/prox format 2 - id field has a length but specifies start of 0");
        error("format 2 issue beyond",
              {"wiegand.format2.issue.start=1", "wiegand.format2.issue.length=2",
               "wiegand.format2.totalBits=1"},
              "Error - Wie/prox format 2 - issue field goes beyond end of bit stream");
        error("format 3 site start 0", {"wiegand.format3.site.length=05"},
              "Error - Wie/prox format 3 - site field has a length but specifies start of 0");
        error("format 3 site beyond", {"wiegand.format3.site.start=2"},
              "Error - Wie/prox format 3 - site field goes beyond end of bit stream");

        error("barcode masking", {"barcode.mask2.row5.lenValue="},
              "Error - Empty field in barcode masking");
        error("barcode masking length", {"barcode.mask2.length="},
              "Error - Empty field in barcode masking length");
        error("barcode timeout empty", {"barcode.timeout="},
              "Error - Empty field in barcode timeout");
        error("barcode length", {"barcode.ean13.length="},
              "Error - Empty field in barcode length/#bars");
        error("hidden row bars", {"barcode.hiddenRow.bars.count="},
              "Error - Empty field in barcode length/#bars");
        error("barcode suffix", {"barcode.i2of5.suffix.3="},
              "Error - Empty field in barcode prefix/suffix");
        error("hidden row prefix", {"barcode.hiddenRow.prefix.3="},
              "Error - Empty field in barcode prefix/suffix");
        error("barcode timeout 1", {"barcode.timeout=1"},
              "Error - Barcode timeout must be between 2 and 15");
        error("barcode timeout 0", {"barcode.timeout=0"},
              "Error - Barcode timeout must be between 2 and 15");
        error("barcode timeout 16", {"barcode.timeout=16"},
              "Error - Barcode timeout must be between 2 and 15");
        fine("barcode timeout 9", {"barcode.timeout=9"});
        fine("barcode timeout 15", {"barcode.timeout=15"});

        error("duty cycle on", {"general.speaker.dutyCycleOn=26"},
              "Error - Relay time cannot be greater than 25");
        fine("duty cycle on 25", {"general.speaker.dutyCycleOn=25"});
        error("led 1 time", {"general.led1.goodReadTime=26"},
              "Error - Led trigger time cannot be greater than 25");
        error("led 2 time", {"general.led2.goodReadTime=99"},
              "Error - Led trigger time cannot be greater than 25");
        error("led time far beyond", {"general.led1.goodReadTime=99999999999999999999999"},
              "Error - Led trigger time cannot be greater than 25");
        fine("led times 25", {"general.led1.goodReadTime=25", "general.led2.goodReadTime=25"});
        fine("a frequency is no led time", {"general.speaker.frequencyHex=0900"});
        error("id length", {"general.storage.idLength="}, "Error - Empty field in speaker time");
        error("led 1 time empty", {"general.led1.goodReadTime="},
              "Error - Empty field in speaker time");
        error("frequency empty", {"general.speaker.frequencyHex="},
              "Error - Empty field relay/rte settings");
        error("led 2 time empty", {"general.led2.goodReadTime="},
              "Error - Empty field relay/rte settings");
        error("duty cycle on empty", {"general.speaker.dutyCycleOn="},
              "Error - Empty field relay/rte settings");
        fine("fields no check reads",
             {"general.speaker.dutyCycleOff=", "general.speaker.goodReadTime=",
              "general.storage.readerId=", "general.storage.readerDescription="});

        QTest::newRow("id may not fit")
            << Edits{"wiegand.format1.id.length=17", "wiegand.format1.totalBits=30"}
            << QStringList{"Warning - Wie/prox format 1 - id bit length may not fit in character "
                           "size"}
            << true;
        fine("id fits in 6", {"wiegand.format1.id.length=17", "wiegand.format1.totalBits=30",
                              "wiegand.format1.id.chars=06"});
        QTest::newRow("warnings for several fields, then an error")
            << Edits{"wiegand.format1.site.chars=02", "wiegand.format3.id.start=1",
                     "wiegand.format3.id.length=4", "wiegand.format3.totalBits=10",
                     "barcode.timeout=1"}
            << QStringList{"Warning - Wie/prox format 1 - site bit length may not fit in "
                           "character size",
                           "Warning - Wie/prox format 3 - id bit length may not fit in character "
                           "size",
                           "Error - Barcode timeout must be between 2 and 15"}
            << false;
        fine("64 bits in 20 characters",
             {"wiegand.format3.site.start=1", "wiegand.format3.site.length=64",
              "wiegand.format3.totalBits=99", "wiegand.format3.site.chars=20"});
        QTest::newRow("beyond the digits table")
            << Edits{"wiegand.format3.site.start=1", "wiegand.format3.site.length=65",
                     "wiegand.format3.totalBits=99", "wiegand.format3.site.chars=99"}
            << QStringList{"Warning - Wie/prox format 3 - site bit length may not fit in "
                           "character size"}
            << true;
        QTest::newRow("leading digits give the value")
            << Edits{"barcode.timeout=9x", "general.led1.goodReadTime=2A6"} << QStringList{}
            << true;
        QTest::newRow("first error wins")
            << Edits{"wiegand.format2.site.start=", "barcode.mask1.row1.start=",
                     "barcode.timeout=1"}
            << QStringList{"Error - Empty field in wiegand/prox formatting"} << false;
    }

    void messages() {
        QFETCH(Edits, edits);
        QFETCH(QStringList, lines);
        QFETCH(bool, passed);
        ConfigModel model;
        loadDefaults(model);
        for (const QString &edit : edits)
            model.setText(edit.section(u'=', 0, 0), edit.section(u'=', 1));
        const ValidationResult result = validate(model);
        QCOMPARE(result.lines, lines);
        QCOMPARE(result.passed, passed);
    }

    void numericValue_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qlonglong>("value");
        QTest::newRow("hex frequency") << "08C0" << 8LL;
        QTest::newRow("empty") << "" << 0LL;
        QTest::newRow("letters") << "C0" << 0LL;
        QTest::newRow("plain") << "0900" << 900LL;
    }

    void numericValue() {
        QFETCH(QString, text);
        QFETCH(qlonglong, value);
        QCOMPARE(varo::config::numericValue(text), value);
    }
};

QTEST_GUILESS_MAIN(ValidationTest)
#include "tst_validation.moc"
