// varo-cli as a process against a simulated reader on 127.0.0.1.

#include "clirun.h"
#include "sim/readersimulator.h"
#include "sim/simtcpserver.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using varo::sim::ReaderSimulator;
using varo::sim::SimTcpServer;

namespace {

Outcome runCli(const QStringList &arguments) {
    return runVaroCli(arguments);
}

} // namespace

class TestCliProcess : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void usageErrorsSendNothing_data();
    void usageErrorsSendNothing();
    void versionAndHelp();
    void unreachableReaderFailsNamingTheTarget();

private:
    ReaderSimulator m_sim;
    SimTcpServer m_server{&m_sim};
    QString m_target;
    QTemporaryDir m_dir;
    QString m_badProfile;
};

void TestCliProcess::initTestCase() {
    QVERIFY(m_server.listen());
    m_target = QStringLiteral("tcp:127.0.0.1:%1").arg(m_server.port());
    m_badProfile = m_dir.filePath(QStringLiteral("bad.json"));
    QFile profile(m_badProfile);
    QVERIFY(profile.open(QIODevice::WriteOnly));
    profile.write(R"({"format": "varo-reader-profile", "version": 99})");
}

void TestCliProcess::usageErrorsSendNothing_data() {
    QTest::addColumn<QString>("line"); // {t} is the simulated reader
    QTest::addColumn<QString>("hint");
    QTest::newRow("unknown option") << "info --fast {t}"
                                    << "unknown option";
    QTest::newRow("bad second target") << "info {t} tcp:127.0.0.1"
                                       << "bad target";
    QTest::newRow("clear-memory unconfirmed") << "clear-memory {t}"
                                              << "--yes";
    QTest::newRow("unreadable image") << "flash /nonexistent/image.hex {t}"
                                      << "cannot read the image";
    QTest::newRow("unreadable profile") << "program --profile /nonexistent/p.ini {t}"
                                        << "cannot read the profile";
    QTest::newRow("invalid profile") << "program --profile {bad} {t}"
                                     << "is not valid";
    QTest::newRow("target twice") << "reset {t} {t}"
                                  << "given twice";
}

void TestCliProcess::usageErrorsSendNothing() {
    QFETCH(QString, line);
    QFETCH(QString, hint);
    QSignalSpy connected(&m_server, &SimTcpServer::clientConnected);
    const Outcome outcome = runCli(line.replace(QStringLiteral("{t}"), m_target)
                                       .replace(QStringLiteral("{bad}"), m_badProfile)
                                       .split(QLatin1Char(' ')));
    QCOMPARE(outcome.code, 2);
    QVERIFY2(outcome.err.startsWith(QLatin1String("varo-cli: ")), qPrintable(outcome.err));
    QVERIFY2(outcome.err.contains(hint), qPrintable(outcome.err));
    QVERIFY(outcome.out.isEmpty());
    QTest::qWait(50);
    QCOMPARE(connected.count(), 0);
    QVERIFY(m_sim.received().isEmpty());
}

void TestCliProcess::versionAndHelp() {
    Outcome outcome = runCli({QStringLiteral("--version")});
    QCOMPARE(outcome.code, 0);
    QVERIFY2(outcome.out.startsWith(QLatin1String("varo-cli ")), qPrintable(outcome.out));
    outcome = runCli({QStringLiteral("--help")});
    QCOMPARE(outcome.code, 0);
    QVERIFY(outcome.out.contains(QLatin1String("Exit codes")));
    outcome = runCli({QStringLiteral("ports"), QStringLiteral("--json")});
    QCOMPARE(outcome.code, 0);
    QVERIFY(
        QJsonDocument::fromJson(outcome.out.toUtf8()).object().contains(QLatin1String("devices")));
}

// A reader that cannot be reached fails honestly: never success, the target named.
void TestCliProcess::unreachableReaderFailsNamingTheTarget() {
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString target = QStringLiteral("tcp:127.0.0.1:%1").arg(closed.serverPort());
    closed.close();
    Outcome outcome = runCli({QStringLiteral("info"), target});
    QCOMPARE(outcome.code, 1);
    QVERIFY2(outcome.out.startsWith(target + QStringLiteral("  FAILED  connect: ")),
             qPrintable(outcome.out));
    outcome = runCli({QStringLiteral("--json"), QStringLiteral("reset"), target});
    QCOMPARE(outcome.code, 1);
    const QJsonObject root = QJsonDocument::fromJson(outcome.out.toUtf8()).object();
    QCOMPARE(root.value(QLatin1String("ok")).toBool(true), false);
    QCOMPARE(root.value(QLatin1String("exitCode")).toInt(), 1);
}

QTEST_GUILESS_MAIN(TestCliProcess)
#include "tst_cliprocess.moc"
