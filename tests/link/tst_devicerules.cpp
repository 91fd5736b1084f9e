// Pure rules of the link: which device a reconnect opens, the permission hint, and how text
// from a reader or a file is shown.
#include "common/controltext.h"
#include "link/serialdevices.h"

#include <QTest>

using namespace varo;
using link::DetectedDevice;

Q_DECLARE_METATYPE(varo::link::DetectedDevice)

class TestDeviceRules : public QObject {
    Q_OBJECT
private slots:
    void reconnectChoosesOnlyTheSameDevice_data();
    void reconnectChoosesOnlyTheSameDevice();
    void permissionHintSuggestsOnlySerialGroups_data();
    void permissionHintSuggestsOnlySerialGroups();
    void controlCharactersAreNamed_data();
    void controlCharactersAreNamed();
};

namespace {
DetectedDevice device(const char *path, const char *serial, const char *port) {
    DetectedDevice d;
    d.path = QString::fromLatin1(path);
    d.serialNumber = QString::fromLatin1(serial);
    d.usbPort = QString::fromLatin1(port);
    return d;
}
} // namespace

void TestDeviceRules::reconnectChoosesOnlyTheSameDevice_data() {
    QTest::addColumn<DetectedDevice>("original");
    QTest::addColumn<QList<DetectedDevice>>("present");
    QTest::addColumn<QString>("path");    // opened; empty: nothing
    QTest::addColumn<QString>("refusal"); // a part of the reason; empty: none
    const DetectedDevice a = device("/dev/ttyUSB0", "A1", "1-2:1.0");
    QTest::newRow("back as it was") << a << QList<DetectedDevice>{a} << "/dev/ttyUSB0"
                                    << "";
    QTest::newRow("same port, new path")
        << a << QList<DetectedDevice>{device("/dev/ttyUSB3", "A1", "1-2:1.0")} << "/dev/ttyUSB3"
        << "";
    QTest::newRow("same path, other port")
        << a << QList<DetectedDevice>{device("/dev/ttyUSB0", "A1", "1-4:1.0")} << "/dev/ttyUSB0"
        << "";
    QTest::newRow("shared serial elsewhere is not the reader")
        << a << QList<DetectedDevice>{device("/dev/ttyUSB1", "A1", "1-3:1.0")} << ""
        << "";
    QTest::newRow("the very device beside a twin")
        << a << QList<DetectedDevice>{device("/dev/ttyUSB1", "A1", "1-3:1.0"), a} << "/dev/ttyUSB0"
        << "";
    QTest::newRow("ambiguous: one by path, one by port")
        << a
        << QList<DetectedDevice>{device("/dev/ttyUSB0", "A1", "1-4:1.0"),
                                 device("/dev/ttyUSB2", "A1", "1-2:1.0")}
        << ""
        << "2 devices with USB serial number \"A1\"";
    QTest::newRow("other serial at the path")
        << a << QList<DetectedDevice>{device("/dev/ttyUSB0", "B2", "1-2:1.0")} << ""
        << "";
    QTest::newRow("absent") << a << QList<DetectedDevice>{} << ""
                            << "";
    const DetectedDevice plain = device("/tmp/ttyVARO", "", "");
    QTest::newRow("no serial: an unlisted path is tried")
        << plain << QList<DetectedDevice>{} << "/tmp/ttyVARO"
        << "";
    const DetectedDevice bare = device("/dev/ttyUSB0", "", "1-2:1.0");
    QTest::newRow("no serial: a device with one took the path")
        << bare << QList<DetectedDevice>{device("/dev/ttyUSB0", "C3", "1-2:1.0")} << ""
        << "";
    QTest::newRow("no serial: another port took the path")
        << bare << QList<DetectedDevice>{device("/dev/ttyUSB0", "", "1-5:1.0")} << ""
        << "";
    QTest::newRow("no serial: back as it was")
        << bare << QList<DetectedDevice>{bare} << "/dev/ttyUSB0"
        << "";
}

void TestDeviceRules::reconnectChoosesOnlyTheSameDevice() {
    QFETCH(DetectedDevice, original);
    QFETCH(QList<DetectedDevice>, present);
    QFETCH(QString, path);
    QFETCH(QString, refusal);
    const link::ReconnectChoice choice = link::chooseReconnectDevice(original, present);
    QCOMPARE(choice.path, path);
    if (refusal.isEmpty())
        QVERIFY2(choice.refusal.isEmpty(), qPrintable(choice.refusal));
    else
        QVERIFY2(choice.refusal.contains(refusal), qPrintable(choice.refusal));
}

void TestDeviceRules::permissionHintSuggestsOnlySerialGroups_data() {
    QTest::addColumn<QString>("group");
    QTest::addColumn<bool>("suggested");
    QTest::newRow("dialout") << "dialout" << true;
    QTest::newRow("uucp") << "uucp" << true;
    QTest::newRow("root") << "root" << false;
    QTest::newRow("shadow") << "shadow" << false;
    QTest::newRow("tty") << "tty" << false;
}

void TestDeviceRules::permissionHintSuggestsOnlySerialGroups() {
    QFETCH(QString, group);
    QFETCH(bool, suggested);
    const QString hint =
        link::permissionHint(QStringLiteral("/dev/ttyS0"), QStringLiteral("root"), group, 020660);
    QVERIFY2(hint.startsWith(QStringLiteral("Permission denied on /dev/ttyS0")), qPrintable(hint));
    QCOMPARE(hint.contains(QStringLiteral("adduser")), suggested);
    QCOMPARE(hint.contains(QStringLiteral("sudo adduser $USER %1").arg(group)), suggested);
    if (!suggested) {
        QVERIFY2(hint.contains(
                     QStringLiteral("user \"root\" and group \"%1\" with mode 0660").arg(group)),
                 qPrintable(hint));
        QVERIFY2(hint.contains(QStringLiteral("\"Device access\" in the README")),
                 qPrintable(hint));
    }
}

void TestDeviceRules::controlCharactersAreNamed_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("keepLineBreaks");
    QTest::addColumn<QString>("shown");
    QTest::newRow("escape sequence") << QStringLiteral("a\x1b[2Jb") << false << "a<ESC>[2Jb";
    QTest::newRow("line ends named") << QStringLiteral("a\r\nb") << false << "a<CR><LF>b";
    QTest::newRow("line feed kept") << QStringLiteral("a\r\nb") << true << "a<CR>\nb";
    QTest::newRow("nul, del, C1") << QString::fromUtf16(u"\0x\x7f\x9b", 4) << false
                                  << "<NUL>x<DEL><x9B>";
    QTest::newRow("letters stay") << QStringLiteral("Grüße ü") << false << "Grüße ü";
}

void TestDeviceRules::controlCharactersAreNamed() {
    QFETCH(QString, text);
    QFETCH(bool, keepLineBreaks);
    QFETCH(QString, shown);
    QCOMPARE(namedControls(text, keepLineBreaks ? LineBreaks::Keep : LineBreaks::Name), shown);
}

QTEST_GUILESS_MAIN(TestDeviceRules)
#include "tst_devicerules.moc"
