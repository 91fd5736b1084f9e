#include "cli/arguments.h"
#include "cli/commandchecks.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using varo::cli::Command;
using varo::cli::parseArguments;
using varo::cli::ParsedArguments;
using varo::cli::ReaderMode;
using varo::cli::Request;

namespace {

QStringList split(const QString &line) {
    return line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// The request's fields as one comparable line.
QString describe(const Request &request) {
    QStringList targets;
    for (const auto &target : request.targets) {
        targets.append(target.text);
    }
    QString text =
        varo::cli::commandName(request.command) + QLatin1Char(' ') + targets.join(QLatin1Char(','));
    text += QStringLiteral(" jobs=%1").arg(request.jobs);
    if (request.json) {
        text += QStringLiteral(" json");
    }
    if (request.quiet) {
        text += QStringLiteral(" quiet");
    }
    if (request.trace) {
        text += QStringLiteral(" trace");
    }
    switch (request.command) {
    case Command::Program:
        text += QStringLiteral(" profile=") + request.profilePath;
        break;
    case Command::SetTime:
        text += QStringLiteral(" hours=%1").arg(request.hours);
        break;
    case Command::Mode:
        text += QStringLiteral(" mode=") + varo::cli::readerModeName(request.mode);
        break;
    case Command::Upload:
        text += QStringLiteral(" out=") + request.outPath;
        break;
    case Command::Flash:
        text += QStringLiteral(" image=") + request.imagePath +
                (request.boot2 ? QStringLiteral(" boot2") : QString());
        break;
    case Command::Loopback:
        text += QStringLiteral(" bytes=%1").arg(request.loopbackBytes);
        break;
    default:
        break;
    }
    return text;
}

} // namespace

class TestCliArguments : public QObject {
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void usageErrors_data();
    void usageErrors();
    void helpAndVersionWin();
    void targetsFile();
    void inputChecks_data();
    void inputChecks();
    void uploadFilePerTarget();

private:
    QTemporaryDir m_dir;
};

void TestCliArguments::requests_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("info") << "info tcp:10.0.0.7:5757"
                          << "info tcp:10.0.0.7:5757 jobs=16";
    QTest::newRow("global options anywhere")
        << "--json info --jobs 4 serial:2 --quiet --trace tcp:h:1"
        << "info serial:2,tcp:h:1 jobs=4 json quiet trace";
    QTest::newRow("option=value") << "--jobs=3 reset serial:1"
                                  << "reset serial:1 jobs=3";
    QTest::newRow("program defaults") << "program serial:2"
                                      << "program serial:2 jobs=16 profile=";
    QTest::newRow("program profile") << "program --profile site.ini serial:2"
                                     << "program serial:2 jobs=16 profile=site.ini";
    QTest::newRow("set-time") << "set-time serial:2"
                              << "set-time serial:2 jobs=16 hours=0";
    QTest::newRow("set-time negative") << "set-time --hours -3 serial:2"
                                       << "set-time serial:2 jobs=16 hours=-3";
    QTest::newRow("clear-memory") << "clear-memory --yes serial:2"
                                  << "clear-memory serial:2 jobs=16";
    QTest::newRow("restart") << "restart tcp:h:1"
                             << "restart tcp:h:1 jobs=16";
    QTest::newRow("mode") << "mode prox-dump tcp:h:1"
                          << "mode tcp:h:1 jobs=16 mode=prox-dump";
    QTest::newRow("upload") << "upload --out records.txt tcp:h:1"
                            << "upload tcp:h:1 jobs=16 out=records.txt";
    QTest::newRow("flash") << "flash image.hex --boot2 serial:3"
                           << "flash serial:3 jobs=16 image=image.hex boot2";
    QTest::newRow("loopback") << "loopback tcp:h:1"
                              << "loopback tcp:h:1 jobs=16 bytes=512000";
    QTest::newRow("loopback bytes") << "loopback --bytes 1000 tcp:h:1"
                                    << "loopback tcp:h:1 jobs=16 bytes=1000";
    QTest::newRow("after --") << "info -- tcp:h:1"
                              << "info tcp:h:1 jobs=16";
    QTest::newRow("ports") << "ports --json"
                           << "ports  jobs=16 json";
}

void TestCliArguments::requests() {
    QFETCH(QString, line);
    QFETCH(QString, expected);
    const ParsedArguments parsed = parseArguments(split(line));
    QVERIFY2(parsed.action == ParsedArguments::Action::Run, qPrintable(parsed.error));
    QCOMPARE(describe(parsed.request), expected);
}

void TestCliArguments::usageErrors_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("hint");
    QTest::newRow("nothing") << ""
                             << "no command";
    QTest::newRow("unknown command") << "frobnicate tcp:h:1"
                                     << "unknown command \"frobnicate\"";
    QTest::newRow("unknown option") << "info --colour tcp:h:1"
                                    << "unknown option \"--colour\"";
    QTest::newRow("missing value") << "info tcp:h:1 --jobs"
                                   << "--jobs needs a value";
    QTest::newRow("flag with value") << "--json=yes info tcp:h:1"
                                     << "--json takes no value";
    QTest::newRow("jobs zero") << "--jobs 0 info tcp:h:1"
                               << "--jobs";
    QTest::newRow("jobs text") << "--jobs many info tcp:h:1"
                               << "--jobs";
    QTest::newRow("no target") << "info"
                               << "no target";
    QTest::newRow("bad target") << "info tcp:h"
                                << "bad target \"tcp:h\"";
    QTest::newRow("bad second target") << "info tcp:h:1 serial:0"
                                       << "bad target \"serial:0\"";
    QTest::newRow("same target twice") << "info serial:/dev/ttyUSB0 serial:/dev/ttyUSB0@19200"
                                       << "given twice";
    // One reader under two names, resolved without dialling it.
    QTest::newRow("same reader, name and address") << "info tcp:127.0.0.1:5757 tcp:localhost:5757"
                                                   << "given twice (as \"tcp:127.0.0.1:5757\")";
    QTest::newRow("same reader, mapped address") << "info tcp:[::ffff:127.0.0.1]:5 tcp:127.0.0.1:5"
                                                 << "given twice";
    QTest::newRow("same device, port number and path") << "info serial:2 serial:/dev/ttyS1"
                                                       << "given twice";
    QTest::newRow("hours beyond a day") << "set-time --hours 25 tcp:h:1"
                                        << "--hours wants whole hours from -24 to 24";
    QTest::newRow("drift not a number") << "set-time --max-drift soon tcp:h:1"
                                        << "--max-drift";
    QTest::newRow("expect-reply on info") << "--expect-reply OK info tcp:h:1"
                                          << "--expect-reply is an option of";
    QTest::newRow("option of another command") << "info --yes tcp:h:1"
                                               << "--yes is not an option of \"info\"";
    QTest::newRow("boot2 on program") << "program --boot2 tcp:h:1"
                                      << "--boot2";
    QTest::newRow("clear-memory unconfirmed") << "clear-memory tcp:h:1"
                                              << "--yes";
    QTest::newRow("hours text") << "set-time --hours 3h tcp:h:1"
                                << "--hours";
    QTest::newRow("hours huge") << "set-time --hours 99999999 tcp:h:1"
                                << "--hours";
    QTest::newRow("mode missing") << "mode"
                                  << "collection, online or prox-dump";
    QTest::newRow("mode unknown") << "mode batch tcp:h:1"
                                  << "unknown mode \"batch\"";
    QTest::newRow("mode without target") << "mode online"
                                         << "no target";
    QTest::newRow("upload without out") << "upload tcp:h:1"
                                        << "--out";
    QTest::newRow("flash without image") << "flash"
                                         << "IMAGE";
    QTest::newRow("flash without target") << "flash image.hex"
                                          << "no target";
    QTest::newRow("loopback bytes zero") << "loopback --bytes 0 tcp:h:1"
                                         << "--bytes";
    QTest::newRow("loopback bytes too many") << "loopback --bytes 512001 tcp:h:1"
                                             << "--bytes";
    QTest::newRow("ports with target") << "ports tcp:h:1"
                                       << "ports takes no target";
    QTest::newRow("targets file missing") << "info --targets /nonexistent/varo-targets"
                                          << "cannot read the targets file";
    // Report and rollout options
    QTest::newRow("format unknown") << "--format xml info tcp:h:1"
                                    << "--format wants text, json or jsonl";
    QTest::newRow("junit folder missing") << "--junit /nonexistent/j.xml info tcp:h:1"
                                          << "does not exist";
    QTest::newRow("metrics is a folder") << "--metrics / info tcp:h:1"
                                         << "not the folder";
    QTest::newRow("one file, two reports") << "--junit r.txt --retry-file r.txt info tcp:h:1"
                                           << "named for two reports";
    QTest::newRow("batch zero") << "--batch 0 info tcp:h:1"
                                << "--batch";
    QTest::newRow("batch over 100%") << "--batch 1,101% info tcp:h:1"
                                     << "\"101%\"";
    QTest::newRow("batch empty item") << "--batch 1,,2 info tcp:h:1"
                                      << "--batch";
    QTest::newRow("batch text") << "--batch some info tcp:h:1"
                                << "--batch";
    QTest::newRow("max fail over 100") << "--batch 1 --max-fail-percent 101 info tcp:h:1"
                                       << "--max-fail-percent";
    QTest::newRow("max fail negative") << "--batch 1 --max-fail-percent -1 info tcp:h:1"
                                       << "--max-fail-percent";
    QTest::newRow("max fail without batch") << "--max-fail-percent 10 info tcp:h:1"
                                            << "needs --batch";
}

void TestCliArguments::usageErrors() {
    QFETCH(QString, line);
    QFETCH(QString, hint);
    const ParsedArguments parsed = parseArguments(split(line));
    QCOMPARE(parsed.action, ParsedArguments::Action::UsageError);
    QVERIFY2(parsed.error.contains(hint), qPrintable(parsed.error));
}

void TestCliArguments::helpAndVersionWin() {
    QCOMPARE(parseArguments(split("info --bogus --help")).action, ParsedArguments::Action::Help);
    QCOMPARE(parseArguments(split("-h")).action, ParsedArguments::Action::Help);
    QCOMPARE(parseArguments(split("--version clear-memory tcp:h:1")).action,
             ParsedArguments::Action::Version);
    // After "--" they are arguments like any other.
    QCOMPARE(parseArguments(split("info -- --help")).action, ParsedArguments::Action::UsageError);
    const QString usage = varo::cli::usageText();
    for (const char *part : {"Exit codes", "0  every target succeeded", "1  at least one target",
                             "2  usage or input error", "--targets FILE", "--jobs N"}) {
        QVERIFY2(usage.contains(QLatin1String(part)), part);
    }
}

void TestCliArguments::targetsFile() {
    const QString path = m_dir.filePath(QStringLiteral("fleet.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("# site A\n"
               "tcp:10.0.0.7:5757\n"
               "\n"
               "   serial:/dev/ttyUSB0@115200   # bench adapter\n"
               "serial:/dev/serial/by-path/pci#2\t# a device path may hold #\n"
               "\r\n");
    file.close();
    ParsedArguments parsed = parseArguments(
        {QStringLiteral("info"), QStringLiteral("serial:2"), QStringLiteral("--targets"), path});
    QVERIFY2(parsed.action == ParsedArguments::Action::Run, qPrintable(parsed.error));
    QCOMPARE(describe(parsed.request),
             QStringLiteral("info serial:2,tcp:10.0.0.7:5757,serial:/dev/ttyUSB0@115200,"
                            "serial:/dev/serial/by-path/pci#2 jobs=16"));
    QCOMPARE(parsed.request.targets[2].settings.baudRate, 115200);

    // A bad line is named by file and line number.
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("tcp:10.0.0.7:5757\n# ok\ntcp:10.0.0.8\n");
    file.close();
    parsed = parseArguments({QStringLiteral("info"), QStringLiteral("--targets"), path});
    QCOMPARE(parsed.action, ParsedArguments::Action::UsageError);
    QVERIFY2(parsed.error.startsWith(path + QStringLiteral(":3: bad target")),
             qPrintable(parsed.error));

    // Only comments: no target.
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("# nothing yet\n");
    file.close();
    parsed = parseArguments({QStringLiteral("info"), QStringLiteral("--targets"), path});
    QCOMPARE(parsed.action, ParsedArguments::Action::UsageError);
    QVERIFY(parsed.error.contains(QLatin1String("no target")));
}

void TestCliArguments::inputChecks_data() {
    QTest::addColumn<QString>("line"); // {dir} is the temporary folder
    QTest::addColumn<QString>("hint"); // empty: accepted
    QTest::newRow("image fine") << "flash {dir}/image.hex serial:2"
                                << "";
    QTest::newRow("image missing") << "flash {dir}/none.hex serial:2"
                                   << "cannot read the image";
    QTest::newRow("image empty") << "flash {dir}/empty.hex serial:2"
                                 << "is empty";
    QTest::newRow("image only a trailer") << "flash {dir}/trailer.hex serial:2"
                                          << "holds no data";
    QTest::newRow("profile missing") << "program --profile {dir}/none.ini serial:2"
                                     << "cannot read the profile";
    QTest::newRow("upload one file") << "upload --out {dir}/records.txt serial:2"
                                     << "";
    QTest::newRow("upload one into a folder") << "upload --out {dir} serial:2"
                                              << "";
    QTest::newRow("upload several into a folder") << "upload --out {dir} serial:2 tcp:h:1"
                                                  << "";
    QTest::newRow("upload several into a file") << "upload --out {dir}/records.txt serial:2 tcp:h:1"
                                                << "existing folder";
    // Nothing is overwritten unless asked, and the folder must exist before anything is sent.
    QTest::newRow("upload onto a file") << "upload --out {dir}/image.hex serial:2"
                                        << "add --overwrite";
    QTest::newRow("upload onto a file, overwrite") << "upload --overwrite --out {dir}/image.hex "
                                                      "serial:2"
                                                   << "";
    QTest::newRow("upload onto a symbolic link") << "upload --overwrite --out {dir}/link.txt "
                                                    "serial:2"
                                                 << "symbolic link";
    QTest::newRow("upload into no folder") << "upload --out {dir}/none/records.txt serial:2"
                                           << "does not exist";
    // A misspelt key is refused unless allowed; warnings and missing keys are only noted.
    QTest::newRow("profile unknown key") << "program --profile {dir}/misspelt.json serial:2"
                                         << "prox.enabeld";
    QTest::newRow("profile unknown key allowed")
        << "program --allow-unknown-keys --profile {dir}/misspelt.json serial:2"
        << "";
    QTest::newRow("upload several same file")
        << "upload --out {dir} serial:/dev/a_b serial:/dev/a/b"
        << "same file";
}

void TestCliArguments::inputChecks() {
    QFETCH(QString, line);
    QFETCH(QString, hint);
    QFile image(m_dir.filePath(QStringLiteral("image.hex")));
    QVERIFY(image.open(QIODevice::WriteOnly));
    image.write(QByteArray(100, 'A'));
    image.close();
    QFile trailer(m_dir.filePath(QStringLiteral("trailer.hex")));
    QVERIFY(trailer.open(QIODevice::WriteOnly));
    trailer.write(QByteArray(44, 'A'));
    trailer.close();
    QFile empty(m_dir.filePath(QStringLiteral("empty.hex")));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    QFile::link(m_dir.filePath(QStringLiteral("elsewhere.txt")),
                m_dir.filePath(QStringLiteral("link.txt")));
    QFile misspelt(m_dir.filePath(QStringLiteral("misspelt.json")));
    QVERIFY(misspelt.open(QIODevice::WriteOnly));
    misspelt.write(R"({"format": "varo-reader-profile", "version": 1,
                      "general": {"prox.enabeld": 0, "prox.enabled": 1}})");
    misspelt.close();

    ParsedArguments parsed =
        parseArguments(split(line.replace(QStringLiteral("{dir}"), m_dir.path())));
    QVERIFY2(parsed.action == ParsedArguments::Action::Run, qPrintable(parsed.error));
    const QString error = varo::cli::checkInputs(parsed.request);
    if (hint.isEmpty()) {
        QVERIFY2(error.isEmpty(), qPrintable(error));
        if (parsed.request.command == varo::cli::Command::Program) {
            const varo::link::ProfileNotes &notes = parsed.request.profileNotes;
            QCOMPARE(notes.unknownKeys, QStringList{QStringLiteral("general.prox.enabeld")});
            QVERIFY(!notes.missingKeys.isEmpty());
            QVERIFY(varo::cli::inputNotes(parsed.request).join('\n').contains("prox.enabeld"));
        }
    } else {
        QVERIFY2(error.contains(hint), qPrintable(error));
    }
}

void TestCliArguments::uploadFilePerTarget() {
    ParsedArguments parsed =
        parseArguments(split("upload --out /data/run7 tcp:10.0.0.7:5757 serial:/dev/ttyUSB0"));
    parsed.request.startedUtc = QDateTime(QDate(2026, 12, 8), QTime(13, 7, 0), Qt::UTC);
    QCOMPARE(varo::cli::uploadFileFor(parsed.request, parsed.request.targets[0]),
             QStringLiteral("/data/run7/tcp_10.0.0.7_5757-20261208T130700Z.txt"));
    QCOMPARE(varo::cli::uploadFileFor(parsed.request, parsed.request.targets[1]),
             QStringLiteral("/data/run7/serial__dev_ttyUSB0-20261208T130700Z.txt"));
    parsed = parseArguments(split("upload --out /data/one.txt serial:2"));
    QCOMPARE(varo::cli::uploadFileFor(parsed.request, parsed.request.targets[0]),
             QStringLiteral("/data/one.txt"));
}

QTEST_GUILESS_MAIN(TestCliArguments)
#include "tst_cliarguments.moc"
