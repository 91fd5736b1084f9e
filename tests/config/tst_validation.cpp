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

        error("wiegand formatting", {"wiegand.Text1(29)="},
              "Error - Empty field in wiegand/prox formatting");
        error("blank counts as empty", {"wiegand.Text1(12)=  "},
              "Error - Empty field in wiegand/prox formatting");
        error("wiegand masking", {"wiegand.Text3(14)="},
              "Error - Empty field in wiegand/prox masking");
        error("magstripe length", {"wiegand.Text4="}, "Error - Empty field - magstripe length");
        error("magstripe sep char", {"wiegand.Text5="}, "Error - Empty field - magstripe sep char");

        error("format 1 site start 0", {"wiegand.Text1(1)=00"},
              "Error - Wie/prox format 1 - site field has a length but specifies start of 0");
        fine("format 1 site start and length 0", {"wiegand.Text1(1)=00", "wiegand.Text1(4)=00"});
        error("format 1 id start 0", {"wiegand.Text1(0)=0"},
              "Error - Wie/prox format 1 - id field has a length but specifies start of 0");
        error("format 1 issue start 0", {"wiegand.Text1(8)=04"},
              "Error - Wie/prox format 1 - issue field has a length but specifies start of 0");
        error("format 1 site beyond", {"wiegand.Text1(1)=20", "wiegand.Text1(4)=08"},
              "Error - Wie/prox format 1 - site field goes beyond end of bit stream");
        error("format 1 id beyond", {"wiegand.Text1(0)=20", "wiegand.Text1(5)=08"},
              "Error - Wie/prox format 1 - id field goes beyond end of bit stream");
        fine("format 1 id ends on the last bit", {"wiegand.Text1(0)=20", "wiegand.Text1(5)=07"});
        error("format 1 issue beyond", {"wiegand.Text1(2)=26", "wiegand.Text1(8)=02"},
              "Error - Wie/prox format 1 - issue field goes beyond end of bit stream");
        error("start 0 wins over beyond", {"wiegand.Text1(1)=0", "wiegand.Text1(0)=30"},
              "Error - Wie/prox format 1 - site field has a length but specifies start of 0");

        error("format 2 id start 0", {"wiegand.Text1(13)=05"},
              "Error - Wie/prox format 2 - id field has a length but specifies start of 0");
        error("format 2 issue beyond",
              {"wiegand.Text1(14)=1", "wiegand.Text1(15)=2", "wiegand.Text1(16)=1"},
              "Error - Wie/prox format 2 - issue field goes beyond end of bit stream");
        error("format 3 site start 0", {"wiegand.Text1(22)=05"},
              "Error - Wie/prox format 3 - site field has a length but specifies start of 0");
        error("format 3 site beyond", {"wiegand.Text1(20)=2"},
              "Error - Wie/prox format 3 - site field goes beyond end of bit stream");

        error("barcode masking", {"barcode.Text7(5)="}, "Error - Empty field in barcode masking");
        error("barcode masking length", {"barcode.Text8(1)="},
              "Error - Empty field in barcode masking length");
        error("barcode timeout empty", {"barcode.Text6="},
              "Error - Empty field in barcode timeout");
        error("barcode length", {"barcode.Text1(7)="},
              "Error - Empty field in barcode length/#bars");
        error("hidden row bars", {"barcode.Text3(3)="},
              "Error - Empty field in barcode length/#bars");
        error("barcode suffix", {"barcode.Text4(7)="},
              "Error - Empty field in barcode prefix/suffix");
        error("hidden row prefix", {"barcode.Text2(17)="},
              "Error - Empty field in barcode prefix/suffix");
        error("barcode timeout 1", {"barcode.Text6=1"},
              "Error - Barcode timeout must be between 2 and 15");
        error("barcode timeout 0", {"barcode.Text6=0"},
              "Error - Barcode timeout must be between 2 and 15");
        error("barcode timeout 16", {"barcode.Text6=16"},
              "Error - Barcode timeout must be between 2 and 15");
        fine("barcode timeout 9", {"barcode.Text6=9"});
        fine("barcode timeout 15", {"barcode.Text6=15"});

        error("duty cycle on", {"general.Text5(4)=26"},
              "Error - Relay time cannot be greater than 25");
        fine("duty cycle on 25", {"general.Text5(4)=25"});
        error("led 1 time", {"general.Text5(1)=26"},
              "Error - Led trigger time cannot be greater than 25");
        error("led 2 time", {"general.Text5(3)=99"},
              "Error - Led trigger time cannot be greater than 25");
        error("led time far beyond", {"general.Text5(1)=99999999999999999999999"},
              "Error - Led trigger time cannot be greater than 25");
        fine("led times 25", {"general.Text5(1)=25", "general.Text5(3)=25"});
        fine("a frequency is no led time", {"general.Text5(2)=0900"});
        error("id length", {"general.Text5(0)="}, "Error - Empty field in speaker time");
        error("led 1 time empty", {"general.Text5(1)="}, "Error - Empty field in speaker time");
        error("frequency empty", {"general.Text5(2)="}, "Error - Empty field relay/rte settings");
        error("led 2 time empty", {"general.Text5(3)="}, "Error - Empty field relay/rte settings");
        error("duty cycle on empty", {"general.Text5(4)="},
              "Error - Empty field relay/rte settings");
        fine("fields no check reads",
             {"general.Text5(5)=", "general.Text5(6)=", "general.Text5(7)=", "general.Text5(8)="});

        QTest::newRow("id may not fit")
            << Edits{"wiegand.Text1(5)=17", "wiegand.Text1(3)=30"}
            << QStringList{"Warning - Wie/prox format 1 - id bit length may not fit in character "
                           "size"}
            << true;
        fine("id fits in 6", {"wiegand.Text1(5)=17", "wiegand.Text1(3)=30", "wiegand.Text1(7)=06"});
        QTest::newRow("warnings for several fields, then an error")
            << Edits{"wiegand.Text1(6)=02", "wiegand.Text1(21)=1", "wiegand.Text1(23)=4",
                     "wiegand.Text1(26)=10", "barcode.Text6=1"}
            << QStringList{"Warning - Wie/prox format 1 - site bit length may not fit in "
                           "character size",
                           "Warning - Wie/prox format 3 - id bit length may not fit in character "
                           "size",
                           "Error - Barcode timeout must be between 2 and 15"}
            << false;
        fine("64 bits in 20 characters", {"wiegand.Text1(20)=1", "wiegand.Text1(22)=64",
                                          "wiegand.Text1(26)=99", "wiegand.Text1(27)=20"});
        QTest::newRow("beyond the digits table")
            << Edits{"wiegand.Text1(20)=1", "wiegand.Text1(22)=65", "wiegand.Text1(26)=99",
                     "wiegand.Text1(27)=99"}
            << QStringList{"Warning - Wie/prox format 3 - site bit length may not fit in "
                           "character size"}
            << true;
        QTest::newRow("leading digits give the value")
            << Edits{"barcode.Text6=9x", "general.Text5(1)=2A6"} << QStringList{} << true;
        QTest::newRow("first error wins")
            << Edits{"wiegand.Text1(10)=", "barcode.Text5(0)=", "barcode.Text6=1"}
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
