#include "goldencommands.h"
#include "support/permissions.h"

#include "common/atomicfile.h"
#include "config/commandtable.h"
#include "config/configmodel.h"
#include "config/defaults.h"
#include "config/fieldcatalog.h"
#include "config/profilecompare.h"
#include "config/readerprofile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace varo::config;
using varo::config::test::goldenCommandText;
using varo::config::test::kDefaultCommands;

namespace {

using Kind = ProfileProblem::Kind;

enum class Failure { ReadOnlyFolder, SizeLimit, FileSync, FolderSync };

// The synchronisation shim: call number t_failingSync fails as a failing disk would.
int t_failingSync = 0;
int t_syncCalls = 0;
int failingSync(int fd) {
    if (++t_syncCalls == t_failingSync) {
        errno = EIO;
        return -1;
    }
    return ::fsync(fd);
}

// Everything the model holds, for telling whether anything changed.
QStringList snapshot(const ConfigModel &model) {
    QStringList state;
    for (const FieldInfo &info : fieldCatalog())
        state << QStringLiteral("%1=%2/%3/%4/%5")
                     .arg(info.key, model.text(info.key))
                     .arg(model.check(info.key))
                     .arg(model.isSelected(info.key))
                     .arg(model.isEnabled(info.key));
    return state;
}

QList<QByteArray> commands(const ConfigModel &model) {
    QList<QByteArray> texts;
    for (const CommandRow &row : commandTable())
        texts << buildCommand(row, model);
    return texts;
}

QJsonObject defaultProfile() {
    ConfigModel model;
    loadDefaults(model);
    return QJsonDocument::fromJson(writeProfile(model)).object();
}

// `profile` with `value` (JSON text) at "screen.key" ("general.speaker.goodReadTime"); a value
// of "-" removes the key.
QByteArray edited(QJsonObject profile, const QString &qualifiedKey, const QByteArray &value) {
    const QString screen = qualifiedKey.section(u'.', 0, 0);
    const QString key = qualifiedKey.section(u'.', 1);
    QJsonObject object = profile.value(screen).toObject();
    if (value == "-")
        object.remove(key);
    else
        object.insert(key, QJsonDocument::fromJson("[" + value + "]").array().at(0));
    profile.insert(screen, object);
    return QJsonDocument(profile).toJson();
}

QList<ProfileProblem> problemsOf(const ProfileLoadResult &result, Kind kind) {
    QList<ProfileProblem> found;
    for (const ProfileProblem &problem : result.problems) {
        if (problem.kind == kind)
            found << problem;
    }
    return found;
}

} // namespace

Q_DECLARE_METATYPE(Failure)

class ReaderProfileTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_model = std::make_unique<ConfigModel>();
        loadDefaults(*m_model);
    }

    // Each field is known by its key; its control keeps a name of its own, unique on the screen.
    void everyFieldHasAKeyAndAControlName_data() {
        QTest::addColumn<int>("screen");
        for (SetupScreen screen : kSetupScreens)
            QTest::newRow(qPrintable(screenName(screen))) << int(screen);
    }
    void everyFieldHasAKeyAndAControlName() {
        QFETCH(int, screen);
        const auto setup = SetupScreen(screen);
        const QStringList fields = m_model->fieldNames(setup);
        const QStringList layout = fieldsInLayoutOrder(setup);
        const QRegularExpression keyShape(
            QStringLiteral("^%1\\.[a-z][A-Za-z0-9]*(\\.[a-zA-Z0-9]+)*$").arg(screenName(setup)));
        QSet<QString> objectNames;
        for (const QString &field : fields) {
            QVERIFY2(keyShape.match(field).hasMatch(), qPrintable(field));
            const FieldInfo &info = m_model->info(field);
            QCOMPARE(info.key, field);
            QVERIFY2(!info.objectName.isEmpty(), qPrintable(field));
            QVERIFY2(!objectNames.contains(info.objectName), qPrintable(info.objectName));
            objectNames.insert(info.objectName);
        }
        QCOMPARE(layout.size(), fields.size());
        QCOMPARE(QSet<QString>(layout.begin(), layout.end()),
                 QSet<QString>(fields.begin(), fields.end()));
    }

    // Defaults saved and loaded into screens that differ everywhere give the golden commands.
    void roundTripGivesTheGoldenCommands() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("site.json"));
        QCOMPARE(saveProfileFile(path, *m_model), std::nullopt);

        ConfigModel other;
        loadDefaults(other);
        for (const ProfileEntry &entry : profileEntries()) {
            if (entry.kind == FieldKind::Check)
                other.setCheck(entry.field, 1 - other.check(entry.field));
            else if (entry.kind == FieldKind::Text && other.isEnabled(entry.field))
                other.setText(entry.field, QString(qMin(entry.maxLength, 2), u'9'));
            else if (entry.kind == FieldKind::Option)
                other.select(entry.members.last());
        }
        const QList<QByteArray> before = commands(other);

        const ProfileLoadResult loaded = loadProfileFile(path, other);
        QVERIFY2(!loaded.hasProblems(), qPrintable(loaded.report()));
        QVERIFY(applyProfile(loaded, other));

        const QList<QByteArray> after = commands(other);
        QCOMPARE(after.size(), kDefaultCommands.size());
        int changedByLoad = 0;
        for (qsizetype i = 0; i < after.size(); ++i) {
            QCOMPARE(after.at(i), goldenCommandText(kDefaultCommands.at(i)));
            changedByLoad += before.at(i) != after.at(i);
        }
        QVERIFY(changedByLoad > 40); // the load really rewrote the screens
        QCOMPARE(writeProfile(other), writeProfile(*m_model));
    }

    void fileIsReadableAndInLayoutOrder() {
        const QByteArray text = writeProfile(*m_model);
        QVERIFY(
            text.startsWith("{\n    \"format\": \"varo-reader-profile\",\n    \"version\": 1,\n"));
        QVERIFY(text.contains("\n        \"speaker.frequencyHex\": \"08C0\",\n"));
        QVERIFY(text.contains("\n        \"prox.enabled\": 1,\n"));
        QVERIFY(text.contains("\n        \"priority\": \"none\"\n    }\n}\n"));
        QVERIFY(!text.contains("commports") && !text.contains("hiddenRow"));
        qsizetype at = 0;
        for (const ProfileEntry &entry : profileEntries()) {
            const qsizetype next = text.indexOf("\"" + entry.key.toUtf8() + "\":", at);
            QVERIFY2(next > at, qPrintable(entry.key));
            at = next;
        }
    }

    // A changed option changes exactly the commands that carry it.
    void changedProfileChangesExactlyItsCommands_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArrayList>("expected"); // the commands that change, as sent

        QTest::newRow("check box")
            << "general.prox.goodReadBeep" << QByteArray("0") << QByteArrayList{"X07310000"};
        QTest::newRow("hex text, lower case")
            << "general.speaker.frequencyHex" << QByteArray("\"0a1f\"")
            << QByteArrayList{"X09500A1F07"};
        QTest::newRow("option group")
            << "barcode.priority" << QByteArray("\"large\"") << QByteArrayList{"X0372200010"};
        QTest::newRow("prefix character") << "barcode.code39.prefix.1" << QByteArray("\"065\"")
                                          << QByteArrayList{"X016065000000000000"};
        QTest::newRow("reader id")
            << "general.storage.readerId" << QByteArray("\"42\"") << QByteArrayList{"g   42"};
        QTest::newRow("wiegand total bits") << "wiegand.format2.totalBits" << QByteArray("\"34\"")
                                            << QByteArrayList{"X076034000000000000"};
        QTest::newRow("bars count at its default length")
            << "barcode.i2of5.bars.count" << QByteArray("\"06\"")
            << QByteArrayList{"X0041000000600"};
    }
    void changedProfileChangesExactlyItsCommands() {
        QFETCH(QString, key);
        QFETCH(QByteArray, value);
        QFETCH(QByteArrayList, expected);

        const ProfileLoadResult loaded =
            readProfile(edited(defaultProfile(), key, value), *m_model);
        QVERIFY2(!loaded.hasProblems(), qPrintable(loaded.report()));
        QVERIFY(applyProfile(loaded, *m_model));
        QByteArrayList changed;
        const QList<QByteArray> after = commands(*m_model);
        for (qsizetype i = 0; i < after.size(); ++i) {
            if (after.at(i) != goldenCommandText(kDefaultCommands.at(i)))
                changed << after.at(i);
        }
        QCOMPARE(changed, expected);
    }

    // One row per rule: the value is refused with the rule named, and nothing is applied even
    // though the file also holds a valid change.
    void everyRuleIsEnforced_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("rule");

        QTest::newRow("check box 0 or 1")
            << "general.prox.enabled" << QByteArray("2") << "must be 0 or 1";
        QTest::newRow("check box as text")
            << "wiegand.format1.site.lsb" << QByteArray("\"1\"") << "must be 0 or 1";
        QTest::newRow("check box as boolean")
            << "barcode.alphaDelete" << QByteArray("true") << "must be 0 or 1";
        QTest::newRow("text as number")
            << "general.led1.goodReadTime" << QByteArray("12") << "must be a text in double quotes";
        QTest::newRow("digits only") << "wiegand.format1.site.start" << QByteArray("\"1A\"")
                                     << "only the digits 0 to 9 are accepted";
        QTest::newRow("digits only, no blanks")
            << "general.storage.readerDescription" << QByteArray("\"12 34\"")
            << "only the digits 0 to 9 are accepted";
        QTest::newRow("hex digits") << "wiegand.magstripe.separatorHex" << QByteArray("\"0G\"")
                                    << "only the digits 0 to 9 and the letters A to F are accepted";
        QTest::newRow("length") << "general.speaker.goodReadTime" << QByteArray("\"123\"")
                                << "at most 2 characters";
        QTest::newRow("length of a longer default")
            << "barcode.code39.bars.count" << QByteArray("\"123\"") << "at most 2 characters";
        QTest::newRow("option value") << "barcode.priority" << QByteArray("\"medium\"")
                                      << "must be one of \"none\", \"small\", \"large\"";
        QTest::newRow("option as number") << "barcode.priority" << QByteArray("1")
                                          << "must be one of \"none\", \"small\", \"large\"";
        QTest::newRow("const row starts at 00")
            << "wiegand.mask2.row4.start" << QByteArray("\"05\"")
            << "must be \"00\" while wiegand.mask2.row4.const is 1";
        QTest::newRow("check: empty field") << "wiegand.format3.id.chars" << QByteArray("\"\"")
                                            << "Error - Empty field in wiegand/prox formatting";
        QTest::newRow("check: beyond the bit stream")
            << "wiegand.format1.id.length" << QByteArray("\"18\"")
            << "Error - Wie/prox format 1 - id field goes beyond end of bit stream";
        QTest::newRow("check: length without start")
            << "wiegand.format2.issue.length" << QByteArray("\"04\"")
            << "Error - Wie/prox format 2 - issue field has a length but specifies start of 0";
        QTest::newRow("check: barcode timeout")
            << "barcode.timeout" << QByteArray("\"1\"")
            << "Error - Barcode timeout must be between 2 and 15";
        QTest::newRow("check: relay time") << "general.speaker.dutyCycleOn" << QByteArray("\"26\"")
                                           << "Error - Relay time cannot be greater than 25";
        QTest::newRow("check: led time") << "general.led2.goodReadTime" << QByteArray("\"30\"")
                                         << "Error - Led trigger time cannot be greater than 25";
        QTest::newRow("screen not an object") << "barcode" << QByteArray("[1, 2]")
                                              << "must be an object holding the screen's options";
    }
    void everyRuleIsEnforced() {
        QFETCH(QString, key);
        QFETCH(QByteArray, value);
        QFETCH(QString, rule);

        QJsonObject profile = defaultProfile();
        // A valid change alongside, which must not be applied either.
        QJsonObject general = profile.value(QStringLiteral("general")).toObject();
        general.insert(QStringLiteral("storage.readerId"), QStringLiteral("777"));
        profile.insert(QStringLiteral("general"), general);
        if (key == QLatin1String("wiegand.mask2.row4.start")) {
            QJsonObject wiegand = profile.value(QStringLiteral("wiegand")).toObject();
            wiegand.insert(QStringLiteral("mask2.row4.const"), 1);
            profile.insert(QStringLiteral("wiegand"), wiegand);
        }
        QByteArray json;
        if (!key.contains(u'.')) {
            profile.insert(key, QJsonDocument::fromJson("[" + value + "]").array().at(0));
            json = QJsonDocument(profile).toJson();
        } else {
            json = edited(profile, key, value);
        }
        const QStringList before = snapshot(*m_model);

        const ProfileLoadResult loaded = readProfile(json, *m_model);
        QVERIFY(loaded.hasErrors());
        QVERIFY(!loaded.isRefused());
        // One broken value may break more than one check (a length without a start also ends
        // beyond the bit stream); each error names the key, one of them the rule of the row.
        const QList<ProfileProblem> errors = problemsOf(loaded, Kind::Error);
        QVERIFY(!errors.isEmpty());
        bool ruleFound = false;
        for (const ProfileProblem &error : errors) {
            QVERIFY2(error.key.split(QStringLiteral(", ")).contains(key), qPrintable(error.key));
            QVERIFY(loaded.report().contains(error.key + QStringLiteral(" = ")));
            ruleFound = ruleFound || error.rule == rule;
        }
        QVERIFY2(ruleFound, qPrintable(loaded.report()));
        QVERIFY(!applyProfile(loaded, *m_model));
        QCOMPARE(snapshot(*m_model), before);
    }

    void everyProblemIsListedNotOnlyTheFirst() {
        QJsonObject profile = defaultProfile();
        QByteArray json = edited(profile, QStringLiteral("general.prox.enabled"), "7");
        profile = QJsonDocument::fromJson(json).object();
        json = edited(profile, QStringLiteral("barcode.timeout"), "\"0\"");
        profile = QJsonDocument::fromJson(json).object();
        json = edited(profile, QStringLiteral("wiegand.format1.site.start"), "\"\"");

        const ProfileLoadResult loaded = readProfile(json, *m_model);
        const QString report = loaded.report();
        // The empty Start also leaves a Length without a Start: four errors.
        QCOMPARE(problemsOf(loaded, Kind::Error).size(), 4);
        QVERIFY2(report.contains(QStringLiteral("general.prox.enabled = 7: must be 0 or 1")),
                 qPrintable(report));
        QVERIFY(report.contains(QStringLiteral(
            "barcode.timeout = \"0\": Error - Barcode timeout must be between 2 and 15")));
        QVERIFY(report.contains(QStringLiteral("wiegand.format1.site.start = \"\": Error - Empty "
                                               "field in wiegand/prox formatting")));
    }

    void warningsDoNotBlock() {
        const QByteArray json =
            edited(defaultProfile(), QStringLiteral("wiegand.format1.site.chars"), "\"02\"");
        const ProfileLoadResult loaded = readProfile(json, *m_model);
        QVERIFY(!loaded.hasErrors());
        const QList<ProfileProblem> warnings = problemsOf(loaded, Kind::Warning);
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(warnings.first().rule,
                 QStringLiteral("Warning - Wie/prox format 1 - site bit length may not fit in "
                                "character size"));
        QVERIFY(applyProfile(loaded, *m_model));
        QCOMPARE(m_model->text(QStringLiteral("wiegand.format1.site.chars")), QStringLiteral("02"));
    }

    void unknownKeysAreIgnoredMissingKeysKept() {
        QJsonObject profile = defaultProfile();
        profile.insert(QStringLiteral("comment"), QStringLiteral("site A"));
        QJsonObject general = profile.value(QStringLiteral("general")).toObject();
        general.insert(QStringLiteral("led3.colour"), QStringLiteral("blue"));
        general.insert(QStringLiteral("storage.readerId"), QStringLiteral("12"));
        general.remove(QStringLiteral("led1.goodReadTime"));
        profile.insert(QStringLiteral("general"), general);
        profile.remove(QStringLiteral("barcode"));
        m_model->setText(QStringLiteral("general.led1.goodReadTime"), QStringLiteral("9"));
        m_model->setText(QStringLiteral("barcode.timeout"), QStringLiteral("5"));

        const ProfileLoadResult loaded = readProfile(QJsonDocument(profile).toJson(), *m_model);
        QVERIFY2(!loaded.hasErrors(), qPrintable(loaded.report()));
        QStringList unknown;
        for (const ProfileProblem &p : problemsOf(loaded, Kind::UnknownKey))
            unknown << p.key;
        QCOMPARE(unknown, (QStringList{"comment", "general.led3.colour"}));
        QStringList missing;
        for (const ProfileProblem &p : problemsOf(loaded, Kind::MissingKey))
            missing << p.key;
        QCOMPARE(missing, (QStringList{"general.led1.goodReadTime", "barcode (all)"}));
        QVERIFY(loaded.report().contains(QStringLiteral(
            "Keys missing from the file, current values kept: general.led1.goodReadTime")));

        QVERIFY(applyProfile(loaded, *m_model));
        QCOMPARE(m_model->text(QStringLiteral("general.led1.goodReadTime")), QStringLiteral("9"));
        QCOMPARE(m_model->text(QStringLiteral("barcode.timeout")), QStringLiteral("5"));
        QCOMPARE(m_model->text(QStringLiteral("general.storage.readerId")), QStringLiteral("12"));
    }

    void longListsAreShortened() {
        QJsonObject profile = defaultProfile();
        QJsonObject general = profile.value(QStringLiteral("general")).toObject();
        for (int i = 0; i < 500; ++i)
            general.insert(QStringLiteral("extra%1").arg(i), QString(500, u'x'));
        profile.insert(QStringLiteral("general"), general);
        const ProfileLoadResult loaded = readProfile(QJsonDocument(profile).toJson(), *m_model);
        QCOMPARE(problemsOf(loaded, Kind::UnknownKey).size(), 500);
        QVERIFY(loaded.report().contains(QStringLiteral("and 480 more")));
        QVERIFY(loaded.report().size() < 2000);
    }

    void otherFilesAreRefused_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << QByteArray() << "it is not valid JSON";
        QTest::newRow("not json") << QByteArray("Check9=1\n") << "it is not valid JSON";
        QTest::newRow("array") << QByteArray("[1]") << "it does not hold a JSON object";
        QTest::newRow("no format") << QByteArray("{\"version\": 1}") << "its \"format\" is missing";
        QTest::newRow("other format")
            << QByteArray("{\"format\": \"other-tool\", \"version\": 1}")
            << "its \"format\" is \"other-tool\", not \"varo-reader-profile\"";
        QTest::newRow("newer version")
            << QByteArray("{\"format\": \"varo-reader-profile\", \"version\": 2, \"general\": {}}")
            << "written by a newer version of the utility (profile version 2)";
        QTest::newRow("version as text")
            << QByteArray("{\"format\": \"varo-reader-profile\", \"version\": \"1\"}")
            << "The profile's \"version\" is \"1\"";
        QTest::newRow("version 0")
            << QByteArray("{\"format\": \"varo-reader-profile\", \"version\": 0}")
            << "must be a whole number from 1";
        QTest::newRow("version 1.5")
            << QByteArray("{\"format\": \"varo-reader-profile\", \"version\": 1.5}")
            << "must be a whole number from 1";
        QTest::newRow("too large") << QByteArray(kMaxProfileBytes + 1, ' ') << "too large";
        QTest::newRow("duplicate screen key")
            << QByteArray("{\"format\": \"varo-reader-profile\", \"version\": 1,\n"
                          " \"general\": {\"prox.enabled\": 1, \"x\": [{\"a\": 1, \"b\": 2}],"
                          " \"prox.enabled\": 0}}")
            << "The profile holds the key \"general.prox.enabled\" twice";
        QTest::newRow("duplicate spelt with an escape")
            << QByteArray("{\"format\": \"varo-reader-profile\", \"version\": 1,"
                          " \"general\": {}, \"gen\\u0065ral\": {}}")
            << "the key \"general\" twice";
        QTest::newRow("duplicate format")
            << QByteArray("{\"format\": \"varo-reader-profile\", \"version\": 1,"
                          " \"format\": \"varo-reader-profile\"}")
            << "the key \"format\" twice";
    }
    void otherFilesAreRefused() {
        QFETCH(QByteArray, json);
        QFETCH(QString, message);
        const QStringList before = snapshot(*m_model);
        const ProfileLoadResult loaded = readProfile(json, *m_model);
        QVERIFY(loaded.isRefused());
        QVERIFY(loaded.values.isEmpty());
        QVERIFY2(loaded.report().contains(message), qPrintable(loaded.report()));
        QVERIFY(!applyProfile(loaded, *m_model));
        QCOMPARE(snapshot(*m_model), before);
    }

    void largeFileIsReportedWithItsSize() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.json"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(5'000'000));
        file.close();
        const ProfileLoadResult loaded = loadProfileFile(path, *m_model);
        QVERIFY(loaded.isRefused());
        QVERIFY2(loaded.report().contains(QStringLiteral("(5000000 bytes)")),
                 qPrintable(loaded.report()));
    }

    void controlCharactersInKeysAreNamed() {
        QJsonObject profile = defaultProfile();
        profile.insert(QStringLiteral("x\x1b[2J"), 1);
        const ProfileLoadResult loaded = readProfile(QJsonDocument(profile).toJson(), *m_model);
        QVERIFY2(loaded.report().contains(QStringLiteral("x<ESC>[2J")),
                 qPrintable(loaded.report()));
        QVERIFY(!loaded.report().contains(QChar(0x1b)));
    }

    void unreadableFileIsRefusedWithItsName() {
        const QString path = QStringLiteral("/nonexistent/varo/site.json");
        const ProfileLoadResult loaded = loadProfileFile(path, *m_model);
        QVERIFY(loaded.isRefused());
        QVERIFY(loaded.report().contains(path));
    }

    // A failed save leaves the old profile as it was and names the file and the reason.
    void failedSaveKeepsTheOldFile_data() {
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("oldKept"); // false: the new file is in place, yet not durable
        QTest::newRow("read-only folder") << Failure::ReadOnlyFolder << "Permission denied" << true;
        QTest::newRow("disk full") << Failure::SizeLimit << "File too large" << true;
        QTest::newRow("file sync fails")
            << Failure::FileSync << "could not be written to the disk: Input/output error" << true;
        QTest::newRow("folder sync fails")
            << Failure::FolderSync
            << "its folder could not be written to the disk: Input/output error" << false;
    }
    void failedSaveKeepsTheOldFile() {
        QFETCH(Failure, failure);
        QFETCH(QString, reason);
        QFETCH(bool, oldKept);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("site.json"));
        const QByteArray old = "{\"format\": \"varo-reader-profile\", \"version\": 1}\n";
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(old);
        }
        std::optional<QString> error;
        if (failure == Failure::FileSync || failure == Failure::FolderSync) {
            t_failingSync = failure == Failure::FileSync ? 1 : 2;
            t_syncCalls = 0;
            const auto previous = varo::detail::setSyncFunctionForTests(failingSync);
            error = saveProfileFile(path, *m_model);
            varo::detail::setSyncFunctionForTests(previous);
            QCOMPARE(t_syncCalls, t_failingSync);
        } else if (failure == Failure::ReadOnlyFolder) {
            QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
            FilePermissionsApply guard;
            if (!guard.works())
                QSKIP("cannot give up root's override of file permissions here");
            error = saveProfileFile(path, *m_model);
        } else {
            rlimit saved{};
            QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
            rlimit limit = saved;
            limit.rlim_cur = 1000;
            const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
            error = saveProfileFile(path, *m_model);
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, oldHandler);
        }
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(error.has_value());
        QVERIFY2(error->contains(path) && error->contains(reason), qPrintable(*error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll() == old, oldKept);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("site.json")});
    }

    void compareListsExactlyTheDifferences_data() {
        QTest::addColumn<QStringList>("changes");  // field=value on screen
        QTest::addColumn<QStringList>("expected"); // screen|key|on screen|in file
        QTest::newRow("none") << QStringList{} << QStringList{};
        QTest::newRow("check box") << QStringList{"general.speaker.startupTone=1"}
                                   << QStringList{"general|speaker.startupTone|1|0"};
        QTest::newRow("text") << QStringList{"wiegand.format1.totalBits=34"}
                              << QStringList{"wiegand|format1.totalBits|34|26"};
        QTest::newRow("option") << QStringList{"barcode.priority.small"}
                                << QStringList{"barcode|priority|small|none"};
        QTest::newRow("const rule")
            << QStringList{"barcode.mask2.row4.const=1", "barcode.mask2.row4.lenValue=123"}
            << QStringList{"barcode|mask2.row4.const|1|0", "barcode|mask2.row4.lenValue|123|000"};
        QTest::newRow("several screens")
            << QStringList{"general.storage.readerId=12345", "barcode.i2of5.enabled=0",
                           "barcode.ind2of5.prefix.5=255"}
            << QStringList{"general|storage.readerId|12345|", "barcode|i2of5.enabled|0|1",
                           "barcode|ind2of5.prefix.5|255|000"};
    }
    void compareListsExactlyTheDifferences() {
        QFETCH(QStringList, changes);
        QFETCH(QStringList, expected);
        const ProfileLoadResult loaded = readProfile(writeProfile(*m_model), *m_model);
        for (const QString &change : changes) {
            const QString field = change.section(u'=', 0, 0);
            const QString value = change.section(u'=', 1);
            if (m_model->info(field).kind == FieldKind::Option)
                m_model->select(field);
            else if (m_model->info(field).kind == FieldKind::Check)
                m_model->setCheck(field, value.toInt());
            else
                m_model->setText(field, value);
        }
        QStringList found;
        for (const ProfileDifference &d : compareProfile(*m_model, loaded))
            found << QStringList{screenName(d.screen), d.key, d.onScreen, d.inFile}.join(u'|');
        QCOMPARE(found, expected);
    }

private:
    std::unique_ptr<ConfigModel> m_model;
};

QTEST_GUILESS_MAIN(ReaderProfileTest)
#include "tst_readerprofile.moc"
