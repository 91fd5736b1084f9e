// The Communications screen's device list, reconnect choice and link problem line.
#include "app/commform.h"
#include "app/devicelist.h"
#include "app/fonts.h"
#include "link/readerlink.h"
#include "ui/actionbutton.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

using namespace varo;

namespace {

// The widget a screen reader finds by its accessible name.
template <typename Widget> Widget *byAccessibleName(QWidget *root, const QString &name) {
    for (Widget *w : root->findChildren<Widget *>()) {
        if (QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
            iface && iface->text(QAccessible::Name) == name)
            return w;
    }
    return nullptr;
}

} // namespace

class TestCommDevices : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { app::installFontSubstitutions(); }
    void deviceListIsFoundAndRefreshedWhenShown();
    void chosenDeviceGoesToTheLink();
    void portNumbersTellTheirDevice();
    void failedConnectShowsItsReason();
    void reconnectChoiceReachesTheLink();
};

void TestCommDevices::deviceListIsFoundAndRefreshedWhenShown() {
    link::ReaderLink link;
    app::CommForm form(&link);
    QSignalSpy refreshed(form.deviceList(), &app::DeviceList::refreshed);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(refreshed.count(), 1);
    auto *list = byAccessibleName<QTreeWidget>(&form, QStringLiteral("Detected devices"));
    QVERIFY(list);
    QCOMPARE(list->columnCount(), 5);
    QCOMPARE(list->topLevelItemCount(), form.deviceList()->devices().size());
    QCOMPARE(list->headerItem()->text(3), QStringLiteral("USB id"));
    auto *refresh =
        byAccessibleName<ui::ActionButton>(&form, QStringLiteral("Refresh detected devices"));
    QVERIFY(refresh);
    QTest::mouseClick(refresh, Qt::LeftButton);
    QCOMPARE(refreshed.count(), 2);
    // Hidden and shown again: read again; nothing reads while it stays shown.
    form.hide();
    form.show();
    QCOMPARE(refreshed.count(), 3);
    QTest::qWait(300);
    QCOMPARE(refreshed.count(), 3);
}

void TestCommDevices::chosenDeviceGoesToTheLink() {
    link::ReaderLink link;
    app::CommForm form(&link);
    form.selectPort(2);
    QCOMPARE(form.linkSettings().serialDevicePath(), link::serialDeviceForPort(2));
    form.selectDevice(QStringLiteral("/dev/ttyUSB7"));
    QCOMPARE(form.linkSettings().serialDevice, QStringLiteral("/dev/ttyUSB7"));
    QCOMPARE(form.linkSettings().serialDevicePath(), QStringLiteral("/dev/ttyUSB7"));
    QCOMPARE(form.deviceList()->chosenDevice(), QStringLiteral("/dev/ttyUSB7"));
    // Clicking a number (here the checked one) uses the number's mapping again.
    auto *port2 = form.findChild<QRadioButton *>(QStringLiteral("Option8"));
    QVERIFY(port2 && port2->isChecked());
    QTest::mouseClick(port2, Qt::LeftButton);
    QVERIFY(form.linkSettings().serialDevice.isEmpty());
    QVERIFY(form.deviceList()->chosenDevice().isEmpty());
}

void TestCommDevices::portNumbersTellTheirDevice() {
    link::ReaderLink link;
    app::CommForm form(&link);
    form.show();
    // VARO_COM1 points at a path that does not exist (set for every test).
    auto *port1 = form.findChild<QRadioButton *>(QStringLiteral("Option5"));
    QVERIFY(port1);
    const QString expected = QStringLiteral("Opens %1").arg(link::serialDeviceForPort(1));
    QVERIFY2(port1->toolTip().startsWith(expected), qPrintable(port1->toolTip()));
    QCOMPARE(port1->accessibleDescription(), port1->toolTip());
    if (!form.deviceList()->deviceAt(link::serialDeviceForPort(1)))
        QVERIFY(port1->toolTip().endsWith(QStringLiteral("(not present)")));
    // The caption and look of the numbers stay as they were.
    QCOMPARE(port1->text(), QStringLiteral("1"));
}

void TestCommDevices::failedConnectShowsItsReason() {
    link::ReaderLink link;
    app::CommForm form(&link);
    form.show();
    form.selectDevice(QStringLiteral("/nonexistent/ttyUSB3"));
    QTest::mouseClick(form.connectButton(), Qt::LeftButton);
    QCOMPARE(link.status(), QStringLiteral("Disconnected"));
    auto *problem = byAccessibleName<QLabel>(&form, QStringLiteral("Link problem"));
    QVERIFY(problem);
    QCOMPARE(problem->textFormat(), Qt::PlainText);
    QVERIFY2(problem->text().contains(QStringLiteral("/nonexistent/ttyUSB3 not found")),
             qPrintable(problem->text()));
}

void TestCommDevices::reconnectChoiceReachesTheLink() {
    link::ReaderLink link;
    app::CommForm form(&link);
    auto *box = byAccessibleName<QCheckBox>(&form, QStringLiteral("Reconnect automatically"));
    QVERIFY(box);
    QVERIFY(!box->isChecked());
    QVERIFY(!link.autoReconnect());
    box->click();
    QVERIFY(link.autoReconnect());
    box->click();
    QVERIFY(!link.autoReconnect());
}

QTEST_MAIN(TestCommDevices)
#include "tst_commdevices.moc"
