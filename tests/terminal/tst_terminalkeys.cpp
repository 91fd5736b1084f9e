#include "terminal/terminalkeys.h"

#include <QRandomGenerator>
#include <QTest>

using varo::terminal::KeyOutcome;
using varo::terminal::TerminalKeys;

namespace {

struct KeyStep {
    bool press = true;
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    QString text;
    bool autoRepeat = false;
};

constexpr auto kAlt = Qt::AltModifier;
constexpr auto kPad = Qt::KeypadModifier;

KeyStep altDown(bool repeat = false) {
    return {true, Qt::Key_Alt, kAlt, {}, repeat};
}
KeyStep altUp() {
    return {false, Qt::Key_Alt, {}, {}};
}
KeyStep pad(int digit) {
    return {true, Qt::Key_0 + digit, kAlt | kPad, {}};
}
KeyStep withAlt(int key, Qt::KeyboardModifiers extra = {}) {
    return {true, key, kAlt | extra, {}};
}
KeyStep typed(const QString &text, int key = 0) {
    return {true, key, {}, text};
}
KeyStep plainKey(int key) {
    return {true, key, {}, {}};
}

using Script = QList<KeyStep>;

// Runs the script and returns everything it would send, in order.
QByteArray play(TerminalKeys &keys, const Script &script) {
    QByteArray sent;
    for (const KeyStep &step : script) {
        const KeyOutcome out =
            step.press ? keys.keyPress(step.key, step.modifiers, step.text, step.autoRepeat)
                       : keys.keyRelease(step.key, step.modifiers, step.autoRepeat);
        sent += out.bytes;
    }
    return sent;
}

} // namespace

Q_DECLARE_METATYPE(Script)

class TestTerminalKeys : public QObject {
    Q_OBJECT

private slots:
    void sendsWhatTheKeysMean_data();
    void sendsWhatTheKeysMean();
    void consumesEveryKeyWhileAltIsHeld();
    void tcpNeedsTheTerminalFlagForSpecialKeys();
    void altCodesMatchTheirDecimalValue();
};

void TestTerminalKeys::sendsWhatTheKeysMean_data() {
    QTest::addColumn<Script>("script");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<bool>("swallowPending");

    QTest::newRow("letter") << Script{typed("a", Qt::Key_A)} << QByteArray("a") << false;
    QTest::newRow("Enter is one CR")
        << Script{typed("\r", Qt::Key_Return)} << QByteArray("\r") << false;
    QTest::newRow("F10 is NUL") << Script{plainKey(Qt::Key_F10)} << QByteArray(1, '\0') << false;
    QTest::newRow("F9 is 0x80") << Script{plainKey(Qt::Key_F9)} << QByteArray("\x80") << false;
    QTest::newRow("non-Latin-1 character dropped")
        << Script{typed(QString(QChar(0x20AC)))} << QByteArray() << false;

    QTest::newRow("Alt 6 5 then the system's A")
        << Script{altDown(), pad(6), pad(5), altUp(), typed("A", Qt::Key_A), typed("b", Qt::Key_B)}
        << QByteArray("Ab") << false;
    QTest::newRow("Alt 6 5 then another key is not lost")
        << Script{altDown(), pad(6), pad(5), altUp(), typed("x", Qt::Key_X)} << QByteArray("Ax")
        << false;
    QTest::newRow("Alt 6 5 arms the swallow flag")
        << Script{altDown(), pad(6), pad(5), altUp()} << QByteArray("A") << true;
    QTest::newRow("Alt 2 5 5") << Script{altDown(), pad(2), pad(5), pad(5), altUp()}
                               << QByteArray("\xFF") << true;
    QTest::newRow("Alt 0 is a NUL")
        << Script{altDown(), pad(0), altUp()} << QByteArray(1, '\0') << true;
    QTest::newRow("Alt 2 5 6 discarded")
        << Script{altDown(), pad(2), pad(5), pad(6), altUp()} << QByteArray() << false;
    QTest::newRow("Alt 3 0 0 discarded")
        << Script{altDown(), pad(3), pad(0), pad(0), altUp()} << QByteArray() << false;
    QTest::newRow("Alt 99999 discarded")
        << Script{altDown(), pad(9), pad(9), pad(9), pad(9), pad(9), altUp()} << QByteArray()
        << false;
    QTest::newRow("bare Alt sends nothing")
        << Script{altDown(), altUp(), typed("q", Qt::Key_Q)} << QByteArray("q") << false;
    QTest::newRow("Num Lock off: End Insert Clear is 105")
        << Script{altDown(), withAlt(Qt::Key_End, kPad), withAlt(Qt::Key_Insert, kPad),
                  withAlt(Qt::Key_Clear, kPad), altUp()}
        << QByteArray("i") << true;
    QTest::newRow("Num Lock off: Home Up PageUp Left Right Down PageDown")
        << Script{altDown(), withAlt(Qt::Key_Home),   withAlt(Qt::Key_Down),     altUp(),
                  altDown(), withAlt(Qt::Key_Left),   withAlt(Qt::Key_Right),    altUp(),
                  altDown(), withAlt(Qt::Key_Up),     withAlt(Qt::Key_PageDown), altUp(),
                  altDown(), withAlt(Qt::Key_PageUp), withAlt(Qt::Key_Insert),   altUp()}
        << QByteArray("H.SZ") << true;
    QTest::newRow("main-keyboard digits are not collected")
        << Script{altDown(), withAlt(Qt::Key_6), withAlt(Qt::Key_5), altUp()} << QByteArray()
        << false;
    QTest::newRow("held Alt repeating keeps the digits")
        << Script{altDown(), pad(6), altDown(true), pad(5), altUp()} << QByteArray("A") << true;
    QTest::newRow("Alt released out of sight abandons the code")
        << Script{altDown(), pad(6), typed("z", Qt::Key_Z), altUp()} << QByteArray("z") << false;
}

void TestTerminalKeys::sendsWhatTheKeysMean() {
    QFETCH(Script, script);
    QFETCH(QByteArray, sent);
    QFETCH(bool, swallowPending);
    TerminalKeys keys;
    QCOMPARE(play(keys, script), sent);
    QCOMPARE(keys.swallowPending(), swallowPending);
    QVERIFY(!keys.isCollecting());
}

void TestTerminalKeys::consumesEveryKeyWhileAltIsHeld() {
    TerminalKeys keys;
    QVERIFY(keys.keyPress(Qt::Key_Alt, kAlt, {}).consumed);
    for (const KeyStep &step : {withAlt(Qt::Key_F), withAlt(Qt::Key_6), pad(4),
                                withAlt(Qt::Key_Tab), withAlt(Qt::Key_Home, kPad)}) {
        const KeyOutcome out = keys.keyPress(step.key, step.modifiers, QStringLiteral("f"));
        QVERIFY(out.consumed);
        QVERIFY(out.bytes.isEmpty());
    }
    QCOMPARE(keys.collectedDigits(), QStringLiteral("47"));
    QCOMPARE(keys.keyRelease(Qt::Key_Alt, {}), (KeyOutcome{QByteArray("/"), true}));

    // Keys that carry no character are left to others.
    QVERIFY(!keys.keyPress(Qt::Key_Shift, Qt::ShiftModifier, {}).consumed);
}

void TestTerminalKeys::tcpNeedsTheTerminalFlagForSpecialKeys() {
    TerminalKeys keys;
    keys.setTcpMode(true);
    QCOMPARE(play(keys, {plainKey(Qt::Key_F10), plainKey(Qt::Key_F9), altDown(), pad(6), pad(5),
                         altUp()}),
             QByteArray());
    QVERIFY(!keys.keyPress(Qt::Key_F10, {}, {}).consumed);
    QCOMPARE(play(keys, {typed("k", Qt::Key_K)}), QByteArray("k"));

    keys.setTcpFlag(true);
    QCOMPARE(play(keys, {plainKey(Qt::Key_F10), altDown(), pad(6), pad(5), altUp()}),
             QByteArray("\0A", 2));
}

// Any mix of keypad digits and other keys held with Alt sends exactly the decimal value of the
// digits, if it is 1 to 3 digits' worth of 0..255, and nothing otherwise.
void TestTerminalKeys::altCodesMatchTheirDecimalValue() {
    QRandomGenerator random(20100305);
    TerminalKeys keys;
    for (int round = 0; round < 2000; ++round) {
        Script script{altDown()};
        qint64 value = 0;
        int digits = 0;
        const int presses = random.bounded(0, 7);
        for (int i = 0; i < presses; ++i) {
            if (random.bounded(4) == 0) {
                script.append(withAlt(Qt::Key_A + random.bounded(26)));
                continue;
            }
            const int digit = random.bounded(10);
            script.append(pad(digit));
            value = value * 10 + digit;
            ++digits;
        }
        script.append(altUp());
        const QByteArray expected =
            (digits > 0 && value <= 255) ? QByteArray(1, char(value)) : QByteArray();
        QCOMPARE(play(keys, script), expected);
        // Drop whatever the swallow flag may hold before the next round.
        play(keys, {typed(QString(QChar(0xFE)))});
    }
}

QTEST_APPLESS_MAIN(TestTerminalKeys)
#include "tst_terminalkeys.moc"
