#include "config/configmodel.h"
#include "config/defaults.h"
#include "config/progresslog.h"
#include "config/ui/barcodescreen.h"
#include "config/ui/commportsscreen.h"
#include "config/ui/generalscreen.h"
#include "config/ui/pgmform.h"
#include "config/ui/wiegandscreen.h"

#include "link/readerlink.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

using namespace varo;
using namespace varo::config;

namespace {

constexpr QSize kScreenArea{724, 567};

std::unique_ptr<QWidget> makeScreen(const QString &name, ConfigModel *model) {
    if (name == QLatin1String("general"))
        return std::make_unique<GeneralScreen>(model);
    if (name == QLatin1String("wiegand"))
        return std::make_unique<WiegandScreen>(model);
    if (name == QLatin1String("barcode"))
        return std::make_unique<BarcodeScreen>(model);
    return std::make_unique<CommportsScreen>(model);
}

template <typename T> T *control(QWidget *screen, const QString &field) {
    for (const FieldInfo &info : fieldCatalog()) {
        if (info.key == field)
            return screen->findChild<T *>(info.objectName);
    }
    return nullptr;
}

QString visibleText(const QWidget *widget) {
    if (auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    return {};
}

} // namespace

class ScreensTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The application maps the screens' font the same way.
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"),
                                  QStringLiteral("Liberation Sans"));
    }

    void init() {
        m_model = std::make_unique<ConfigModel>();
        loadDefaults(*m_model);
    }

    void everyFieldHasItsControl_data() {
        QTest::addColumn<QString>("screen");
        for (SetupScreen screen : kSetupScreens)
            QTest::newRow(qPrintable(screenName(screen))) << screenName(screen);
    }

    void everyFieldHasItsControl() {
        QFETCH(QString, screen);
        auto widget = makeScreen(screen, m_model.get());
        QCOMPARE(widget->objectName(), screen);
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
        for (const QString &field : m_model->fieldNames(*screenNamed(screen))) {
            QWidget *c = control<QWidget>(widget.get(), field);
            QVERIFY2(c, qPrintable(field));
            QCOMPARE(c->isVisible(), !m_model->isHidden(field));
            QCOMPARE(c->isEnabled(), m_model->isEnabled(field));
            if (auto *edit = qobject_cast<QLineEdit *>(c))
                QCOMPARE(edit->text(), m_model->text(field));
            else if (auto *radio = qobject_cast<QRadioButton *>(c))
                QCOMPARE(radio->isChecked(), m_model->isSelected(field));
            else if (auto *box = qobject_cast<QCheckBox *>(c))
                QCOMPARE(box->isChecked(), m_model->check(field) == 1);
            else
                QFAIL(qPrintable(field));
        }
    }

    // Every screen fits the area beside the command menu with each caption readable and no
    // control on top of another.
    void screensFitAndDoNotOverlap_data() { everyFieldHasItsControl_data(); }

    void screensFitAndDoNotOverlap() {
        QFETCH(QString, screen);
        auto widget = makeScreen(screen, m_model.get());
        QCOMPARE(widget->palette().color(QPalette::Window), QColor(192, 192, 192));
        const QSize needed = widget->minimumSizeHint();
        QVERIFY2(needed.width() <= kScreenArea.width() && needed.height() <= kScreenArea.height(),
                 qPrintable(QStringLiteral("%1x%2").arg(needed.width()).arg(needed.height())));
        widget->resize(kScreenArea);
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget.get()));

        QList<QWidget *> leaves;
        for (QWidget *child : widget->findChildren<QWidget *>()) {
            if (!child->isVisible() || qobject_cast<QGroupBox *>(child) ||
                !child->findChildren<QWidget *>(Qt::FindDirectChildrenOnly).isEmpty())
                continue;
            const QRect area(child->mapTo(widget.get(), QPoint(0, 0)), child->size());
            QVERIFY2(QRect(QPoint(0, 0), kScreenArea).contains(area),
                     qPrintable(visibleText(child)));
            if (!visibleText(child).isEmpty())
                QVERIFY2(child->width() >= child->minimumSizeHint().width(),
                         qPrintable(visibleText(child)));
            leaves << child;
        }
        for (int i = 0; i < leaves.size(); ++i) {
            const QRect a(leaves[i]->mapTo(widget.get(), QPoint(0, 0)), leaves[i]->size());
            for (int j = i + 1; j < leaves.size(); ++j) {
                const QRect b(leaves[j]->mapTo(widget.get(), QPoint(0, 0)), leaves[j]->size());
                QVERIFY2(!a.intersects(b),
                         qPrintable(visibleText(leaves[i]) + u'/' + leaves[i]->objectName() + u' ' +
                                    visibleText(leaves[j]) + u'/' + leaves[j]->objectName()));
            }
        }
        for (QGroupBox *group : widget->findChildren<QGroupBox *>()) {
            QFontMetrics metrics(group->font());
            QVERIFY2(group->width() >= metrics.horizontalAdvance(group->title()),
                     qPrintable(group->title()));
        }
    }

    void captions_data() {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QStringList>("groups");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("general") << QStringLiteral("general")
                                 << QStringList{"Proximity Settings",
                                                "Barcode Settings",
                                                "Magstripe Settings",
                                                "Speaker Settings",
                                                "Led 1",
                                                "Led 2",
                                                "Storage Settings"}
                                 << QStringList{"Prox On",
                                                "Frequency (hex)",
                                                "Duty Cycle Off*",
                                                "Startup Tone ON",
                                                "Bad Read (red)",
                                                "Power On (green)",
                                                "Include Reader Description",
                                                "Reader Description"};
        QTest::newRow("wiegand")
            << QStringLiteral("wiegand")
            << QStringList{"Wie/Prox Format # 1", "Wie/Prox Format # 3", "Wie/Prox/Mag Mask 1",
                           "Wie/Prox Mask 2",     "Wie/Prox Mask 3",     "Magstripe"}
            << QStringList{"Total Bits", "Len/Value", "Include Start/Stop", "Sep Char (in hex)",
                           "For Magstripe Masking, use Wie/Prox/Mag Mask 1 settings above"};
        QTest::newRow("barcode") << QStringLiteral("barcode")
                                 << QStringList{"Mask # 1", "Mask # 2", "Prioritiy"}
                                 << QStringList{"Code39",   "Ind 2/5", "Transmit",
                                                "# Bars",   "Prefix",  "Suffix",
                                                "CAC/USID", "Timeout", "Large"};
        QTest::newRow("commports")
            << QStringLiteral("commports")
            << QStringList{"RS232 Port Settings", "RS422 Port Settings", "Baud Rate", "Parity"}
            << QStringList{"115200", "8 no parity", "7 Even", "7 odd"};
    }

    void captions() {
        QFETCH(QString, screen);
        QFETCH(QStringList, groups);
        QFETCH(QStringList, texts);
        auto widget = makeScreen(screen, m_model.get());
        QStringList titles;
        for (QGroupBox *group : widget->findChildren<QGroupBox *>())
            titles << group->title();
        QStringList shown;
        for (QWidget *child : widget->findChildren<QWidget *>())
            shown << visibleText(child);
        for (const QString &group : groups)
            QVERIFY2(titles.contains(group), qPrintable(group));
        for (const QString &text : texts)
            QVERIFY2(shown.contains(text), qPrintable(text));
        if (screen == QLatin1String("general"))
            QCOMPARE(
                control<QCheckBox>(widget.get(), QStringLiteral("general.prox.enabled"))->text(),
                QStringLiteral("Prox On"));
    }

    void lettersAreNotTyped() {
        GeneralScreen screen(m_model.get());
        auto *idLength = control<QLineEdit>(&screen, QStringLiteral("general.storage.idLength"));
        QTest::keyClicks(idLength, QStringLiteral("aZ-"));
        QCOMPARE(idLength->text(), QStringLiteral("5"));
        QTest::keyClicks(idLength, QStringLiteral("7"));
        QCOMPARE(m_model->text(QStringLiteral("general.storage.idLength")), QStringLiteral("57"));
        QTest::keyClicks(idLength, QStringLiteral("1"));
        QCOMPARE(idLength->text(), QStringLiteral("57"));
        QTest::keyClick(idLength, Qt::Key_Backspace);
        QCOMPARE(m_model->text(QStringLiteral("general.storage.idLength")), QStringLiteral("5"));
    }

    void hexFieldsTakeHexDigits() {
        GeneralScreen general(m_model.get());
        WiegandScreen wiegand(m_model.get());
        auto *frequency =
            control<QLineEdit>(&general, QStringLiteral("general.speaker.frequencyHex"));
        QTest::keyClicks(frequency, QStringLiteral("1")); // "08C0" is full
        QCOMPARE(frequency->text(), QStringLiteral("08C0"));
        QTest::keyClick(frequency, Qt::Key_Backspace);
        QTest::keyClick(frequency, Qt::Key_Backspace);
        QTest::keyClicks(frequency, QStringLiteral("gc"));
        QCOMPARE(frequency->text(), QStringLiteral("08C"));
        QCOMPARE(m_model->text(QStringLiteral("general.speaker.frequencyHex")),
                 QStringLiteral("08C"));

        auto *separator =
            control<QLineEdit>(&wiegand, QStringLiteral("wiegand.magstripe.separatorHex"));
        separator->selectAll();
        QTest::keyClicks(separator, QStringLiteral("2f"));
        QCOMPARE(m_model->text(QStringLiteral("wiegand.magstripe.separatorHex")),
                 QStringLiteral("2F"));
    }

    void longDefaultsStayUntilShortened() {
        BarcodeScreen screen(m_model.get());
        auto *bars = control<QLineEdit>(&screen, QStringLiteral("barcode.code39.bars.count"));
        QCOMPARE(bars->text(), QStringLiteral("04"));
        bars->end(false);
        QTest::keyClicks(bars, QStringLiteral("3"));
        QCOMPARE(bars->text(), QStringLiteral("04"));
        QTest::keyClick(bars, Qt::Key_Backspace);
        QCOMPARE(m_model->text(QStringLiteral("barcode.code39.bars.count")), QStringLiteral("0"));
    }

    void constBoxDisablesItsStart() {
        WiegandScreen screen(m_model.get());
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        auto *constBox = control<QCheckBox>(&screen, QStringLiteral("wiegand.mask2.row4.const"));
        auto *start = control<QLineEdit>(&screen, QStringLiteral("wiegand.mask2.row4.start"));
        start->setFocus();
        start->selectAll();
        QTest::keyClicks(start, QStringLiteral("12"));
        QCOMPARE(m_model->text(QStringLiteral("wiegand.mask2.row4.start")), QStringLiteral("12"));

        QTest::mouseClick(constBox, Qt::LeftButton);
        QCOMPARE(m_model->check(QStringLiteral("wiegand.mask2.row4.const")), 1);
        QVERIFY(!start->isEnabled());
        QCOMPARE(start->text(), QStringLiteral("00"));

        QTest::mouseClick(constBox, Qt::LeftButton);
        QVERIFY(start->isEnabled());
        QCOMPARE(start->text(), QStringLiteral("00"));
    }

    void optionButtonsFollowTheModel() {
        CommportsScreen screen(m_model.get());
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        auto *even = control<QRadioButton>(&screen, QStringLiteral("commports.rs232.parity.7even"));
        auto *none232 =
            control<QRadioButton>(&screen, QStringLiteral("commports.rs232.parity.8none"));
        auto *none422 =
            control<QRadioButton>(&screen, QStringLiteral("commports.rs422.parity.8none"));
        QTest::mouseClick(even, Qt::LeftButton);
        QVERIFY(m_model->isSelected(QStringLiteral("commports.rs232.parity.7even")));
        QVERIFY(!none232->isChecked());
        QVERIFY(none422->isChecked());

        loadDefaults(*m_model);
        QVERIFY(none232->isChecked());
        QVERIFY(!even->isChecked());
    }

    void progressScreen() {
        link::ReaderLink link;
        PgmForm form(&link, m_model.get());
        QCOMPARE(form.objectName(), QStringLiteral("pgmform"));
        auto *picture1 = form.findChild<QPlainTextEdit *>(QStringLiteral("Picture1"));
        auto *picture2 = form.findChild<QPlainTextEdit *>(QStringLiteral("Picture2"));
        QVERIFY(picture1 && picture2);
        // Two lists of the same size side by side, both inside the form's least size.
        QCOMPARE(picture1->size(), picture2->size());
        QCOMPARE(picture1->y(), picture2->y());
        QVERIFY(picture1->geometry().right() < picture2->geometry().left());
        QVERIFY(QRect(QPoint(0, 0), form.minimumSize()).contains(picture2->geometry()));
        QVERIFY(picture1->height() > picture1->width());
        QVERIFY(picture1->isReadOnly());
        QVERIFY(picture1->textInteractionFlags() & Qt::TextSelectableByMouse);
        QCOMPARE(picture2->palette().color(QPalette::Base), QColor(192, 192, 192));

        ProgressLog *log = form.progressLog();
        log->printLine(ProgressList::Left, QStringLiteral("Starting Communications"));
        log->print(ProgressList::Right, QStringLiteral("X077000000000000"));
        log->printLine(ProgressList::Right, QStringLiteral("  [<b>OK</b>]"));
        QCOMPARE(picture1->toPlainText(), QStringLiteral("Starting Communications\n"));
        QCOMPARE(picture2->toPlainText(), QStringLiteral("X077000000000000  [<b>OK</b>]\n"));

        // Never connected: the reset's write fails and says why instead of "Reset Complete".
        QSignalSpy resetFinished(&form, &PgmForm::resetFinished);
        QVERIFY(form.doReset());
        QVERIFY(picture1->toPlainText().startsWith(
            QStringLiteral("Resetting Reader\nCould not send to the reader: ")));
        QVERIFY(picture2->toPlainText().isEmpty());
        QCOMPARE(resetFinished.size(), 1);
    }

    void busyLinkIsReported() {
        link::ReaderLink link;
        PgmForm form(&link, m_model.get());
        const link::OperationClaim upload = link.claim(varo::link::Operation::Upload);
        QVERIFY(upload);
        QSignalSpy refused(&form, &PgmForm::refused);
        QVERIFY(!form.doProgram());
        QVERIFY(!form.doReset());
        QCOMPARE(refused.size(), 2);
        const QList<QMessageBox *> boxes = form.findChildren<QMessageBox *>();
        QVERIFY(!boxes.isEmpty());
        QCOMPARE(boxes.first()->text(),
                 QStringLiteral("The link is busy: Upload Stored Data is running."));
        QCOMPARE(boxes.first()->textFormat(), Qt::PlainText);
    }

private:
    std::unique_ptr<ConfigModel> m_model;
};

QTEST_MAIN(ScreensTest)
#include "tst_screens.moc"
