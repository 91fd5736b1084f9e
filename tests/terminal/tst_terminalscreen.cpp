#include "support/fakelink.h"
#include "support/simlink.h"

#include "terminal/terminalscreen.h"
#include "terminal/terminalsession.h"
#include "terminal/terminalview.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using varo::terminal::Cell;
using varo::terminal::Ink;
using varo::terminal::TerminalGrid;
using varo::terminal::TerminalScreen;
using varo::terminal::TerminalSession;
using varo::terminal::TerminalView;
using Medium = SimLink::Medium;

namespace {

// A connected ReaderLink on a FakeTransport; its host carries the blanks a user may type, which
// the terminal's status line trims.
struct ScriptedLink : FakeLink {
    explicit ScriptedLink(bool tcp)
        : FakeLink(tcp, QStringLiteral(" 127.0.0.1 "), 4001) {}
};

// Key events as the platform delivers them, without QTest's synthetic modifier presses.
void press(QWidget *w, int key, Qt::KeyboardModifiers mods = {}, const QString &text = {}) {
    QKeyEvent event(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &event);
}

void release(QWidget *w, int key, Qt::KeyboardModifiers mods = {}) {
    QKeyEvent event(QEvent::KeyRelease, key, mods);
    QApplication::sendEvent(w, &event);
}

void altCode(QWidget *w, const QList<int> &digits) {
    press(w, Qt::Key_Alt, Qt::AltModifier);
    for (const int d : digits)
        press(w, Qt::Key_0 + d, Qt::AltModifier | Qt::KeypadModifier, QString::number(d));
    release(w, Qt::Key_Alt);
}

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class TestTerminalScreen : public QObject {
    Q_OBJECT

private slots:
    void startShowsConnectionAndHoldsLink_data();
    void startShowsConnectionAndHoldsLink();
    void statusNamesWhatTheOpenLinkUses_data();
    void statusNamesWhatTheOpenLinkUses();
    void startIsRefusedWhileAnotherOperationRuns();
    void stopEndsTheTerminal();
    void typedKeysGoToTheReader_data();
    void typedKeysGoToTheReader();
    void receivedCharactersAreDrawnRed_data();
    void receivedCharactersAreDrawnRed();
    void burstRepaintsOnce();
    void clearScreenHomesTheCursor();
};

void TestTerminalScreen::statusNamesWhatTheOpenLinkUses_data() {
    using varo::link::LinkMode;
    using varo::link::LinkSettings;
    QTest::addColumn<LinkSettings>("settings");
    QTest::addColumn<QString>("status");
    LinkSettings numbered;
    numbered.commPort = 5;
    LinkSettings device = numbered;
    device.serialDevice = QStringLiteral("/dev/ttyUSB0");
    LinkSettings tcp;
    tcp.mode = LinkMode::Tcp;
    tcp.host = QStringLiteral("127.0.0.1");
    tcp.tcpPort = 5757;
    QTest::newRow("port number") << numbered << "Connected to comm port 5";
    QTest::newRow("detected device") << device << "Connected to /dev/ttyUSB0";
    QTest::newRow("tcp") << tcp << "Connected to 127.0.0.1 Port 5757";
}

void TestTerminalScreen::statusNamesWhatTheOpenLinkUses() {
    QFETCH(varo::link::LinkSettings, settings);
    QFETCH(QString, status);
    QCOMPARE(TerminalSession::statusTextFor(settings), status);
}

void TestTerminalScreen::startShowsConnectionAndHoldsLink_data() {
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QString>("status");
    QTest::newRow("serial") << false << "Connected to comm port 2";
    QTest::newRow("tcp") << true << "Connected to 127.0.0.1 Port 4001";
}

void TestTerminalScreen::startShowsConnectionAndHoldsLink() {
    QFETCH(bool, tcp);
    QFETCH(QString, status);
    ScriptedLink fixture(tcp);
    TerminalScreen screen(&fixture.link, nullptr);
    QCOMPARE(screen.findChild<QLabel *>("Label2_1")->text(),
             QStringLiteral("To send a NULL character hit the F10 key"));
    QCOMPARE(screen.findChild<QPushButton *>("Label17")->text(), QStringLiteral("Clear Screen"));
    QCOMPARE(screen.view()->objectName(), QStringLiteral("pop1"));
    QCOMPARE(screen.view()->size(), QSize(657, 419));

    QVERIFY(screen.start());
    QVERIFY(screen.isRunning());
    QVERIFY(screen.isVisible());
    QCOMPARE(screen.findChild<QLabel *>("Label2_0")->text(), status);
    QCOMPARE(screen.session()->tcpFlag(), tcp);
    QCOMPARE(fixture.link.activeOperationName(), QStringLiteral("Terminal Mode"));
    // A line exchange cannot start while the terminal owns the link.
    QVERIFY(!fixture.link.claim(varo::link::Operation::ProgramReader));
}

void TestTerminalScreen::startIsRefusedWhileAnotherOperationRuns() {
    ScriptedLink fixture(false);
    TerminalScreen screen(&fixture.link, nullptr);
    {
        const varo::link::OperationClaim loopback =
            fixture.link.claim(varo::link::Operation::Loopback);
        QVERIFY(loopback);
        QVERIFY(!screen.start());
        QVERIFY(!screen.isRunning());
    }

    varo::link::ReaderLink unconnected;
    TerminalScreen idle(&unconnected, nullptr);
    QVERIFY(!idle.start());
}

void TestTerminalScreen::stopEndsTheTerminal() {
    ScriptedLink fixture(false);
    TerminalScreen screen(&fixture.link, nullptr);
    QVERIFY(screen.start());
    fixture.transport->receive("ab");
    screen.stop();
    QVERIFY(!screen.isRunning());
    QVERIFY(!fixture.link.isBusy());

    fixture.transport->receive("cd");
    press(screen.view(), Qt::Key_X, {}, QStringLiteral("x"));
    QCOMPARE(screen.session()->grid().text(), QStringLiteral("ab"));
    QVERIFY(fixture.transport->writes.isEmpty());
    // The unread input stays on the link for whoever comes next.
    QCOMPARE(fixture.link.pendingCount(), 2);

    // Restarting wipes the area and shows what waited.
    QVERIFY(screen.start());
    QCOMPARE(screen.session()->grid().text(), QStringLiteral("cd"));

    // Disconnecting the link ends the terminal too.
    QVERIFY(fixture.link.disconnectReader());
    QVERIFY(!screen.isRunning());
    QVERIFY(!fixture.link.isBusy());
}

void TestTerminalScreen::typedKeysGoToTheReader_data() {
    QTest::addColumn<Medium>("medium");
    QTest::newRow("tcp") << Medium::Tcp;
    QTest::newRow("pty") << Medium::Pty;
}

void TestTerminalScreen::typedKeysGoToTheReader() {
    QFETCH(Medium, medium);
    SimLink reader;
    QVERIFY(reader.connect(medium));
    TerminalScreen screen(&reader.link, nullptr);
    QVERIFY(screen.start());
    QWidget *view = screen.view();
    const TerminalGrid &grid = screen.session()->grid();

    press(view, Qt::Key_Return, {}, QStringLiteral("\r"));
    QCOMPARE(grid.cell(1, 1), (Cell{true, 0x0D, true, Ink::Typed}));
    QCOMPARE(grid.cursorLine(), 1);
    QCOMPARE(grid.cursorColumn(), 2);
    QTRY_COMPARE(reader.sim.received(), QByteArray("\r"));

    press(view, Qt::Key_F10);
    press(view, Qt::Key_F9);
    altCode(view, {6, 5});
    press(view, Qt::Key_A, {}, QStringLiteral("A")); // the character the system types for it
    altCode(view, {3, 0, 0});
    altCode(view, {});
    press(view, Qt::Key_AsciiTilde, {}, QStringLiteral("~"));
    press(view, Qt::Key_BraceRight, {}, QStringLiteral("}"));

    QCOMPARE(grid.text(), QStringLiteral("<0D><00><80>A<7E>}"));
    QCOMPARE(grid.cell(1, 4).ink, Ink::Typed);
    QTRY_COMPARE(reader.sim.received(), QByteArray("\r\0\x80"
                                                   "A~}",
                                                   6));
}

void TestTerminalScreen::receivedCharactersAreDrawnRed_data() {
    typedKeysGoToTheReader_data();
}

void TestTerminalScreen::receivedCharactersAreDrawnRed() {
    QFETCH(Medium, medium);
    SimLink reader;
    QVERIFY(reader.connect(medium));
    TerminalScreen screen(&reader.link, nullptr);
    QVERIFY(screen.start());

    reader.sim.streamText(QByteArray("Hi~}\r\n"), 0);
    const TerminalGrid &grid = screen.session()->grid();
    QTRY_COMPARE(grid.text(), QStringLiteral("Hi<7E>}<0D><0A>"));
    for (int column = 1; column <= 6; ++column)
        QCOMPARE(grid.cell(1, column).ink, Ink::Received);

    // The custom-drawn area tells assistive tools what it shows.
    QAccessibleInterface *a11y = QAccessible::queryAccessibleInterface(screen.view());
    QVERIFY(a11y);
    QCOMPARE(a11y->text(QAccessible::Name), QStringLiteral("Terminal"));
    QCOMPARE(a11y->text(QAccessible::Value), QStringLiteral("Hi<7E>}<0D><0A>"));
    QCOMPARE(a11y->text(QAccessible::Description), QStringLiteral("Hi<7E>}<0D><0A>"));
}

void TestTerminalScreen::burstRepaintsOnce() {
    ScriptedLink fixture(true);
    TerminalScreen screen(&fixture.link, nullptr);
    QVERIFY(screen.start());
    QVERIFY(QTest::qWaitForWindowExposed(&screen));
    PaintCounter counter;
    screen.view()->installEventFilter(&counter);
    QTest::qWait(20);
    counter.paints = 0;

    // 60,000 characters in 2,000 deliveries within one event-loop turn: several screen wipes.
    TerminalGrid expected;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 2000; ++i) {
        QByteArray chunk;
        for (int j = 0; j < 30; ++j)
            chunk.append(char((i * 30 + j) % 256));
        for (const char c : chunk)
            expected.put(std::uint8_t(c), Ink::Received);
        fixture.transport->receive(chunk);
    }
    QTRY_VERIFY(counter.paints >= 1);
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QTest::qWait(50);
    QCOMPARE(counter.paints, 1);
    QCOMPARE(screen.session()->grid().text(), expected.text());
    QCOMPARE(screen.session()->grid().cursorColumn(), expected.cursorColumn());
}

void TestTerminalScreen::clearScreenHomesTheCursor() {
    ScriptedLink fixture(false);
    TerminalScreen screen(&fixture.link, nullptr);
    QVERIFY(screen.start());
    fixture.transport->receive(QByteArray(50, 'r'));
    QCOMPARE(screen.session()->grid().cursorLine(), 2);

    QTest::mouseClick(screen.findChild<QPushButton *>("Label17"), Qt::LeftButton);
    const TerminalGrid &grid = screen.session()->grid();
    QVERIFY(grid.isEmpty());
    QCOMPARE(grid.cursorColumn(), 1);
    QCOMPARE(grid.cursorLine(), 1);
    QVERIFY(fixture.transport->writes.isEmpty());
    QVERIFY(screen.isRunning());

    press(screen.view(), Qt::Key_Q, {}, QStringLiteral("q"));
    QCOMPARE(grid.cell(1, 1), (Cell{true, 'q', false, Ink::Typed}));
    QCOMPARE(fixture.transport->writes, QList<QByteArray>{QByteArray("q")});
}

QTEST_MAIN(TestTerminalScreen)
#include "tst_terminalscreen.moc"
