#include "faultrig.h"

#include "config/configmodel.h"
#include "config/defaults.h"
#include "config/ui/pgmform.h"
#include "utilities/utilitiesscreen.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

using namespace varo;
using Medium = FaultRig::Medium;

namespace {
const QByteArray kMarkup = "<img src=x><b>bold</b>";

// Every label showing reader text renders it as plain text.
bool labelsArePlain(const QWidget &screen) {
    for (const QLabel *label : screen.findChildren<QLabel *>()) {
        if (label->text().contains(QString::fromLatin1(kMarkup)) &&
            label->textFormat() != Qt::PlainText)
            return false;
    }
    return true;
}
} // namespace

// A reply carrying markup is shown as the raw text it is.
class TestGuiFaults : public QObject {
    Q_OBJECT
private slots:
    void utilitiesFirmwareField_data();
    void utilitiesFirmwareField();
    void programmingList_data();
    void programmingList();
};

void TestGuiFaults::utilitiesFirmwareField_data() {
    QTest::addColumn<Medium>("medium");
    QTest::newRow("tcp") << Medium::Tcp;
    QTest::newRow("pty") << Medium::Pty;
}

void TestGuiFaults::utilitiesFirmwareField() {
    QFETCH(Medium, medium);
    FaultRig rig;
    rig.sim.options().firmwareId = kMarkup;
    QVERIFY(rig.connect(medium));
    utilities::UtilitiesScreen screen(&rig.link);
    screen.show();
    auto *field = screen.findChild<QLineEdit *>(QStringLiteral("Text1_0"));
    auto *button = screen.findChild<QWidget *>(QStringLiteral("Label1_0"));
    QVERIFY(field && button);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(waitUntil([&] { return !field->text().isEmpty(); }, 5000));
    QCOMPARE(field->text(), QString::fromLatin1(kMarkup));
    QVERIFY(labelsArePlain(screen));
    QVERIFY(waitUntil([&] { return !rig.link.isBusy(); }, 2000));
}

void TestGuiFaults::programmingList_data() {
    utilitiesFirmwareField_data();
}

void TestGuiFaults::programmingList() {
    QFETCH(Medium, medium);
    FaultRig rig;
    rig.sim.options().firmwareId = kMarkup;
    QVERIFY(rig.connect(medium));
    config::ConfigModel model;
    config::loadDefaults(model);
    config::PgmForm form(&rig.link, &model);
    form.show();
    QSignalSpy finished(&form, &config::PgmForm::programFinished);
    QVERIFY(form.doProgram());
    QVERIFY(!finished.isEmpty() || finished.wait(20000));
    auto *picture1 = form.findChild<QPlainTextEdit *>(QStringLiteral("Picture1"));
    QVERIFY(picture1);
    const QStringList shown = picture1->toPlainText().split(u'\n');
    QVERIFY2(shown.contains(QString::fromLatin1(kMarkup)), qPrintable(picture1->toPlainText()));
    QVERIFY(labelsArePlain(form));
    QVERIFY(!rig.link.isBusy());
}

QTEST_MAIN(TestGuiFaults)
#include "tst_faults_gui.moc"
