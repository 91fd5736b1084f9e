#include "cli/target.h"

#include <QTest>

using varo::cli::parseTarget;
using varo::cli::Target;

namespace {
// How the settings name the reader.
enum class Kind { Tcp, SerialDevice, SerialPortNumber };
} // namespace

Q_DECLARE_METATYPE(Kind)

class TestCliTarget : public QObject {
    Q_OBJECT

private slots:
    void valid_data();
    void valid();
    void invalid_data();
    void invalid();
    void sameDeviceSameKey();
};

void TestCliTarget::valid_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("where"); // host:port, device or port number
    QTest::addColumn<int>("baud");
    QTest::newRow("tcp address") << "tcp:127.0.0.1:5757" << Kind::Tcp << "127.0.0.1:5757" << 9600;
    QTest::newRow("tcp name") << "tcp:reader-7.site.example:23" << Kind::Tcp
                              << "reader-7.site.example:23" << 9600;
    QTest::newRow("tcp ipv6") << "tcp:[::1]:5757" << Kind::Tcp << "::1:5757" << 9600;
    QTest::newRow("device") << "serial:/dev/ttyUSB0" << Kind::SerialDevice << "/dev/ttyUSB0"
                            << 9600;
    QTest::newRow("device baud") << "serial:/dev/ttyACM1@115200" << Kind::SerialDevice
                                 << "/dev/ttyACM1" << 115200;
    QTest::newRow("device by id with @")
        << "serial:/dev/serial/by-id/usb-FTDI@x-if00@38400" << Kind::SerialDevice
        << "/dev/serial/by-id/usb-FTDI@x-if00" << 38400;
    QTest::newRow("port number") << "serial:2" << Kind::SerialPortNumber << "2" << 9600;
    QTest::newRow("port number baud") << "serial:8@19200" << Kind::SerialPortNumber << "8" << 19200;
    QTest::newRow("spaces around") << "  serial:1  " << Kind::SerialPortNumber << "1" << 9600;
}

void TestCliTarget::valid() {
    QFETCH(QString, text);
    QFETCH(Kind, kind);
    QFETCH(QString, where);
    QFETCH(int, baud);
    const auto parsed = parseTarget(text);
    QVERIFY2(parsed.target, qPrintable(parsed.error));
    const Target &target = *parsed.target;
    const varo::link::LinkSettings &settings = target.settings;
    QCOMPARE(settings.isTcp(), kind == Kind::Tcp);
    QCOMPARE(target.text, text.trimmed());
    QCOMPARE(settings.baudRate, baud);
    switch (kind) {
    case Kind::Tcp:
        QCOMPARE(QStringLiteral("%1:%2").arg(settings.host).arg(settings.tcpPort), where);
        break;
    case Kind::SerialDevice:
        QCOMPARE(settings.serialDevice, where);
        QCOMPARE(settings.serialDevicePath(), where);
        break;
    case Kind::SerialPortNumber:
        QVERIFY(settings.serialDevice.isEmpty());
        QCOMPARE(QString::number(settings.commPort), where);
        break;
    }
}

void TestCliTarget::invalid_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hint"); // part of the error
    QTest::newRow("no scheme") << "127.0.0.1:5757"
                               << "use tcp:HOST:PORT";
    QTest::newRow("unknown scheme") << "udp:1.2.3.4:5"
                                    << "use tcp:HOST:PORT";
    QTest::newRow("empty") << ""
                           << "use tcp:HOST:PORT";
    QTest::newRow("tcp no port") << "tcp:10.0.0.1"
                                 << "tcp:HOST:PORT";
    QTest::newRow("tcp empty host") << "tcp::5757"
                                    << "host";
    QTest::newRow("tcp port zero") << "tcp:h:0"
                                   << "1 to 65535";
    QTest::newRow("tcp port too big") << "tcp:h:65536"
                                      << "1 to 65535";
    QTest::newRow("tcp port sign") << "tcp:h:+80"
                                   << "1 to 65535";
    QTest::newRow("tcp port text") << "tcp:h:http"
                                   << "1 to 65535";
    QTest::newRow("tcp bare ipv6") << "tcp:::1:5757"
                                   << "brackets";
    QTest::newRow("tcp host space") << "tcp:a b:1"
                                    << "host";
    QTest::newRow("serial empty") << "serial:"
                                  << "serial:DEVICE";
    QTest::newRow("serial only baud") << "serial:@9600"
                                      << "serial:DEVICE";
    QTest::newRow("port 0") << "serial:0"
                            << "1 to 8";
    QTest::newRow("port 9") << "serial:9"
                            << "1 to 8";
    QTest::newRow("odd baud") << "serial:2@4800"
                              << "baud rate";
    QTest::newRow("baud text") << "serial:/dev/ttyUSB0@fast"
                               << "baud rate";
    QTest::newRow("device with newline") << "serial:/dev/tty\nUSB0"
                                         << "control";
}

void TestCliTarget::invalid() {
    QFETCH(QString, text);
    QFETCH(QString, hint);
    const auto parsed = parseTarget(text);
    QVERIFY(!parsed.target);
    QVERIFY2(parsed.error.contains(hint), qPrintable(parsed.error));
    QVERIFY2(parsed.error.contains(text.trimmed()), qPrintable(parsed.error));
}

void TestCliTarget::sameDeviceSameKey() {
    const auto key = [](const char *text) {
        return parseTarget(QString::fromLatin1(text)).target->key();
    };
    QCOMPARE(key("serial:/dev/ttyUSB0"), key("serial:/dev/ttyUSB0@115200"));
    QCOMPARE(key("serial:2"), key("serial:2@57600"));
    QCOMPARE(key("tcp:Reader.example:23"), key("tcp:reader.example:23"));
    QVERIFY(key("tcp:reader.example:23") != key("tcp:reader.example:24"));
}

QTEST_GUILESS_MAIN(TestCliTarget)
#include "tst_clitarget.moc"
