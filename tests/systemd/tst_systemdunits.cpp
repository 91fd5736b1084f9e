// The systemd units of the package: each service keeps the settings that run it without root
// and confined, and its command line (ExecStart, expanded with the unit's Environment= and the
// shipped options file as systemd does, every path moved into a temporary folder) works
// against simulated readers with a silent one among them. A unit whose varo-cli options this
// build lacks is skipped.

#include "cli/clirun.h"
#include "sim/readersimulator.h"
#include "sim/simfault.h"
#include "sim/simfleet.h"
#include "sim/simtcpserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMultiMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using varo::sim::FaultMode;
using varo::sim::SimFleet;
using varo::sim::SimOptions;

namespace {

const QString kUnitDir = QStringLiteral(VARO_SYSTEMD_DIR);

// The [Service] section of a unit: every key with its values in file order.
QMultiMap<QString, QString> serviceSection(const QString &path) {
    QMultiMap<QString, QString> section;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return section;
    }
    bool inService = false;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';'))) {
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            inService = line == QLatin1String("[Service]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inService && equals > 0) {
            section.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
        }
    }
    return section;
}

// Words as systemd splits a command line or an Environment= value: blanks separate, double or
// single quotes group, a backslash escapes the next character.
QStringList splitWords(const QString &text) {
    QStringList words;
    QString word;
    bool inWord = false;
    QChar quote;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            word += text[++i];
            inWord = true;
        } else if (!quote.isNull()) {
            if (c == quote) {
                quote = QChar();
            } else {
                word += c;
            }
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
            inWord = true;
        } else if (c.isSpace()) {
            if (inWord) {
                words.append(word);
            }
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.append(word);
    }
    return words;
}

void addAssignment(const QString &assignment, QMap<QString, QString> *environment) {
    const qsizetype equals = assignment.indexOf(QLatin1Char('='));
    if (equals > 0) {
        environment->insert(assignment.left(equals), assignment.mid(equals + 1));
    }
}

// KEY=VALUE lines of an EnvironmentFile=; # and ; start comments; quotes are removed.
void readEnvironmentFile(const QString &path, QMap<QString, QString> *environment) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';'))) {
            continue;
        }
        const QStringList words = splitWords(line);
        if (words.size() == 1) {
            addAssignment(words.first(), environment);
        }
    }
}

// systemd's expansion: a word that is exactly $NAME becomes the value's words (none when
// empty); ${NAME} inside a word is replaced by the value.
QStringList expand(const QStringList &words, const QMap<QString, QString> &environment) {
    static const QRegularExpression whole(QStringLiteral("^\\$([A-Za-z_][A-Za-z0-9_]*)$"));
    static const QRegularExpression braced(QStringLiteral("\\$\\{([A-Za-z_][A-Za-z0-9_]*)\\}"));
    QStringList expanded;
    for (QString word : words) {
        if (const auto match = whole.match(word); match.hasMatch()) {
            expanded += environment.value(match.captured(1))
                            .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
            continue;
        }
        QRegularExpressionMatch match;
        while ((match = braced.match(word)).hasMatch()) {
            word.replace(match.capturedStart(), match.capturedLength(),
                         environment.value(match.captured(1)));
        }
        expanded.append(word);
    }
    return expanded;
}

QString cliHelp() {
    return runVaroCli({QStringLiteral("--help")}).out;
}

// The JSON lines of a jsonl run; fails the test at the first line that is not an object.
QList<QJsonObject> jsonLines(const QString &out) {
    QList<QJsonObject> objects;
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError || !document.isObject()) {
            qWarning("not a JSON object: %s", qPrintable(line));
            return {};
        }
        objects.append(document.object());
    }
    return objects;
}

} // namespace

class TestSystemdUnits : public QObject {
    Q_OBJECT

private slots:
    void settings_data();
    void settings();
    void commandLine_data();
    void commandLine();

private:
    // Runs the unit's ExecStart with its paths moved under `root`, after creating the folders
    // systemd would (StateDirectory=, ReadWritePaths=) and copying the shipped options file.
    Outcome runUnit(const QString &unit, const QString &root);
};

void TestSystemdUnits::settings_data() {
    QTest::addColumn<QString>("unit");
    QTest::newRow("varo-collect") << QStringLiteral("varo-collect");
    QTest::newRow("varo-clock") << QStringLiteral("varo-clock");
}

// Unprivileged and confined, options and targets from /etc, and only what links use.
void TestSystemdUnits::settings() {
    QFETCH(QString, unit);
    const auto service = serviceSection(kUnitDir + QLatin1Char('/') + unit + ".service");
    QVERIFY2(!service.isEmpty(), "no [Service] section");
    const struct {
        const char *key;
        const char *value;
    } required[] = {
        {"DynamicUser", "yes"},      {"SupplementaryGroups", "dialout"},
        {"ProtectSystem", "strict"}, {"NoNewPrivileges", "yes"},
        {"PrivateTmp", "yes"},       {"EnvironmentFile", "-/etc/default/varo-utility"},
        {"Type", "oneshot"},
    };
    for (const auto &row : required) {
        QCOMPARE(service.value(QLatin1String(row.key)), QLatin1String(row.value));
    }
    QVERIFY(service.value(QStringLiteral("StateDirectory"))
                .split(QLatin1Char(' '))
                .contains(QStringLiteral("varo")));
    const QStringList families =
        service.value(QStringLiteral("RestrictAddressFamilies")).split(QLatin1Char(' '));
    QVERIFY(!families.isEmpty());
    for (const QString &family : families) {
        QVERIFY2(QStringList({"AF_INET", "AF_INET6", "AF_UNIX", "AF_NETLINK"}).contains(family),
                 qPrintable(family));
    }
    const QStringList exec = splitWords(service.value(QStringLiteral("ExecStart")));
    QCOMPARE(exec.value(0), QStringLiteral("/usr/bin/varo-cli"));
    QCOMPARE(exec.value(exec.indexOf(QStringLiteral("--targets")) + 1),
             QStringLiteral("/etc/varo/targets"));
    QCOMPARE(exec.value(exec.indexOf(QStringLiteral("--format")) + 1), QStringLiteral("jsonl"));
}

void TestSystemdUnits::commandLine_data() {
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QStringList>("options"); // varo-cli options the unit needs
    QTest::newRow("varo-collect") << QStringLiteral("varo-collect")
                                  << QStringList{"--format", "--metrics", "--overwrite"};
    QTest::newRow("varo-clock") << QStringLiteral("varo-clock")
                                << QStringList{"--format", "--max-drift"};
}

Outcome TestSystemdUnits::runUnit(const QString &unit, const QString &root) {
    const auto service = serviceSection(kUnitDir + QLatin1Char('/') + unit + ".service");
    // Absolute paths of the unit, moved under the temporary root.
    const auto moved = [&root](QString word) {
        word.replace(QStringLiteral("/usr/bin/varo-cli"), QStringLiteral(VARO_CLI_PATH));
        for (const char *prefix : {"/etc/", "/var/lib/"}) {
            word.replace(QLatin1String(prefix), root + QLatin1String(prefix));
        }
        return word;
    };
    QMap<QString, QString> environment;
    for (const QString &value : service.values(QStringLiteral("Environment"))) {
        for (const QString &assignment : splitWords(value)) {
            addAssignment(assignment, &environment);
        }
    }
    QDir().mkpath(root + "/etc/default");
    QFile::copy(kUnitDir + "/varo-utility.default", root + "/etc/default/varo-utility");
    for (QString path : service.values(QStringLiteral("EnvironmentFile"))) {
        readEnvironmentFile(moved(path.remove(0, path.startsWith(QLatin1Char('-')) ? 1 : 0)),
                            &environment);
    }
    // StateDirectory= and ReadWritePaths= exist when the service starts.
    for (const QString &name :
         service.value(QStringLiteral("StateDirectory")).split(QLatin1Char(' '))) {
        QDir().mkpath(root + "/var/lib/" + name);
    }
    for (QString path : service.value(QStringLiteral("ReadWritePaths")).split(QLatin1Char(' '))) {
        if (!path.isEmpty()) {
            QDir().mkpath(moved(path.remove(0, path.startsWith(QLatin1Char('-')) ? 1 : 0)));
        }
    }
    QStringList words = expand(splitWords(service.value(QStringLiteral("ExecStart"))), environment);
    for (QString &word : words) {
        word = moved(word);
    }
    if (words.value(0) != QStringLiteral(VARO_CLI_PATH)) {
        qWarning("ExecStart does not run varo-cli: %s", qPrintable(words.join(' ')));
        return {};
    }
    words.removeFirst();
    // The tests' short reply waits, so the silent reader fails in a fraction of a second.
    words.prepend(QStringLiteral("--short-waits"));
    return runVaroCli(words, 60000);
}

// The command line against three readers, the second silent: one JSON line per event, each
// reader's result, and what the job leaves in its folders.
void TestSystemdUnits::commandLine() {
    QFETCH(QString, unit);
    QFETCH(QStringList, options);
    const QString help = cliHelp();
    for (const QString &option : options) {
        if (!help.contains(option)) {
            QSKIP(qPrintable(QStringLiteral("varo-cli has no %1 yet").arg(option)));
        }
    }
    constexpr int kReaders = 3;
    constexpr int kSilent = 1;
    SimFleet fleet(SimOptions{}, kReaders, {{kSilent, FaultMode::Silent}});
    QString error;
    QVERIFY2(fleet.listen(0, &error), qPrintable(error));
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QStringList targets;
    for (int i = 0; i < kReaders; ++i) {
        targets.append(QStringLiteral("tcp:127.0.0.1:%1").arg(fleet.tcp(i)->port()));
    }
    QVERIFY(QDir().mkpath(root.filePath("etc/varo")));
    QFile targetsFile(root.filePath("etc/varo/targets"));
    QVERIFY(targetsFile.open(QIODevice::WriteOnly));
    targetsFile.write("# the test readers\n" + targets.join('\n').toUtf8() + '\n');
    targetsFile.close();

    const int runs = unit == QLatin1String("varo-clock") ? 2 : 1;
    for (int run = 0; run < runs; ++run) {
        const Outcome outcome = runUnit(unit, root.path());
        QCOMPARE(outcome.code, 1); // the silent reader failed
        const QList<QJsonObject> lines = jsonLines(outcome.out);
        QCOMPARE(lines.size(), kReaders + 2);
        QCOMPARE(lines.first().value("event").toString(), QStringLiteral("start"));
        QCOMPARE(lines.first().value("targets").toInt(), kReaders);
        QCOMPARE(lines.last().value("event").toString(), QStringLiteral("summary"));
        QCOMPARE(lines.last().value("exitCode").toInt(), 1);
        QStringList seen;
        for (qsizetype i = 1; i <= kReaders; ++i) {
            const QJsonObject result = lines[i];
            QCOMPARE(result.value("event").toString(), QStringLiteral("result"));
            const QString target = result.value("target").toString();
            seen.append(target);
            const bool silent = target == targets[kSilent];
            const QJsonObject data = result.value("data").toObject();
            if (silent) {
                QCOMPARE(result.value("status").toString(), QStringLiteral("failed"));
                QCOMPARE(result.value("exit").toString(), QStringLiteral("timeout"));
            } else if (unit == QLatin1String("varo-clock")) {
                // The simulated clock starts in 2010: set on the first run, within 2 s after.
                QCOMPARE(result.value("status").toString(),
                         run == 0 ? QStringLiteral("changed") : QStringLiteral("ok"));
                QVERIFY(data.contains("driftSeconds"));
            } else {
                QCOMPARE(result.value("status").toString(), QStringLiteral("changed"));
                QCOMPARE(data.value("records").toInt(), 5);
                const QFileInfo file(data.value("file").toString());
                QCOMPARE(file.absolutePath(), QDir(root.filePath("var/lib/varo/uploads")).path());
                QVERIFY(file.permissions().testFlag(QFile::ReadOwner));
                QVERIFY(!(file.permissions() & (QFile::ReadGroup | QFile::WriteGroup |
                                                QFile::ReadOther | QFile::WriteOther)));
            }
        }
        seen.sort();
        QStringList expected = targets;
        expected.sort();
        QCOMPARE(seen, expected);
    }
    if (unit == QLatin1String("varo-collect")) {
        QFile metrics(root.filePath("var/lib/prometheus/node-exporter/varo-collect.prom"));
        QVERIFY(metrics.open(QIODevice::ReadOnly));
        int up = 0;
        int down = 0;
        for (const QByteArray &line : metrics.readAll().split('\n')) {
            if (line.startsWith("varo_reader_up")) {
                (line.endsWith(" 0") ? down : up) += 1;
            }
        }
        QCOMPARE(up, kReaders - 1);
        QCOMPARE(down, 1);
    }
}

QTEST_GUILESS_MAIN(TestSystemdUnits)
#include "tst_systemdunits.moc"
