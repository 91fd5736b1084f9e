#include "readerprofile.h"

#include "configmodel.h"
#include "defaults.h"
#include "keystrokerule.h"
#include "validation.h"

#include "common/atomicfile.h"
#include "common/controltext.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QSet>

#include <climits>
#include <cmath>

namespace varo::config {

namespace {

constexpr qsizetype kShownValueLength = 40;
constexpr qsizetype kShownKeyLength = 60;
constexpr qsizetype kListedKeys = 20;

QList<ProfileEntry> makeEntries() {
    // Texts set by the defaults may be longer than the typing limit ("04" in a one-character
    // "# Bars" field); a profile may hold what the defaults hold.
    ConfigModel defaults;
    loadDefaults(defaults);
    QHash<QString, QString> constBoxOf;
    for (const ConstPair &pair : constPairs())
        constBoxOf.insert(pair.startField, pair.constBox);

    QList<ProfileEntry> entries;
    QHash<QString, qsizetype> groupEntry; // option group -> its entry
    for (SetupScreen screen : profileScreens()) {
        for (const QString &field : fieldsInLayoutOrder(screen)) {
            const FieldInfo &info = defaults.info(field);
            if (info.hidden || info.disabled)
                continue;
            if (info.kind == FieldKind::Option) {
                const QString groupKey = info.keyOnScreen().section(u'.', 0, -2);
                const QString word = info.key.section(u'.', -1);
                auto it = groupEntry.find(info.group);
                if (it == groupEntry.end()) {
                    ProfileEntry entry;
                    entry.screen = screen;
                    entry.key = groupKey;
                    entry.kind = FieldKind::Option;
                    entry.field = field;
                    it = groupEntry.insert(info.group, entries.size());
                    entries.append(entry);
                }
                entries[*it].members.append(field);
                entries[*it].words.append(word);
                continue;
            }
            ProfileEntry entry;
            entry.screen = screen;
            entry.key = info.keyOnScreen();
            entry.kind = info.kind;
            entry.field = field;
            if (info.kind == FieldKind::Text) {
                entry.maxLength = qMax(info.maxLength, int(defaults.text(field).size()));
                entry.rule = info.rule;
                entry.constBox = constBoxOf.value(field);
            }
            entries.append(entry);
        }
    }
    return entries;
}

QString qualified(const QString &screen, const QString &key) {
    return screen + u'.' + key;
}

QString shortened(const QString &text, qsizetype length) {
    return text.size() <= length ? text : text.left(length) + QStringLiteral("...");
}

// A string as a JSON string literal, quotes included.
QString jsonString(const QString &text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// A value as it stands in the file, for messages.
QString jsonText(const QJsonValue &value) {
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return shortened(QString::fromUtf8(array.mid(1, array.size() - 2)), kShownValueLength);
}

QString ruleForCharacters(InputRule rule) {
    return rule == InputRule::Hex
               ? QStringLiteral("only the digits 0 to 9 and the letters A to F are accepted")
               : QStringLiteral("only the digits 0 to 9 are accepted");
}

// The text the profile gives a field, or the broken rule.
struct TextCheck {
    QString text;
    QString broken;
};

TextCheck checkText(const ProfileEntry &entry, const QJsonValue &value) {
    if (!value.isString())
        return {{}, QStringLiteral("must be a text in double quotes")};
    const QString text = value.toString();
    // The same rule as typing: accepted characters (hex letters kept upper case), then length.
    const std::optional<QString> typed = acceptEdit(entry.rule, INT_MAX, QString(), text);
    if (!typed)
        return {{}, ruleForCharacters(entry.rule)};
    if (typed->size() > entry.maxLength)
        return {{}, QStringLiteral("at most %1 characters").arg(entry.maxLength)};
    return {*typed, {}};
}

// A key as the file spells it, fit to show: control characters by name, long keys shortened.
QString shownKey(const QString &key) {
    return shortened(namedControls(key), kShownKeyLength);
}

// The first key that appears twice in one object of `json` (valid JSON), with the keys of the
// objects holding it in front ("general.prox.enabled"); empty when every key is unique. A JSON
// reader keeps only one of the two values, so the file's intent is unclear.
QString duplicateKey(const QByteArray &json) {
    struct Level {
        bool object = false;
        bool expectKey = false;
        QString name; // the key this object is the value of
        QSet<QString> keys;
    };
    QList<Level> levels;
    QString lastKey;
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json.at(i);
        if (c == '{' || c == '[') {
            levels.append({c == '{', c == '{', lastKey, {}});
            lastKey.clear();
        } else if (c == '}' || c == ']') {
            if (!levels.isEmpty())
                levels.removeLast();
        } else if (c == ',') {
            if (!levels.isEmpty() && levels.last().object)
                levels.last().expectKey = true;
            lastKey.clear();
        } else if (c == '"') {
            const qsizetype start = i;
            bool escaped = false;
            for (++i; i < json.size(); ++i) {
                if (escaped)
                    escaped = false;
                else if (json.at(i) == '\\')
                    escaped = true;
                else if (json.at(i) == '"')
                    break;
            }
            if (levels.isEmpty() || !levels.last().object || !levels.last().expectKey)
                continue;
            Level &level = levels.last();
            level.expectKey = false;
            const QByteArray token = json.mid(start, i - start + 1);
            const QString key =
                token.contains('\\')
                    ? QJsonDocument::fromJson('[' + token + ']').array().at(0).toString()
                    : QString::fromUtf8(token.mid(1, token.size() - 2));
            if (level.keys.contains(key)) {
                QStringList path;
                for (qsizetype l = 1; l < levels.size(); ++l)
                    path << levels.at(l).name;
                path << key;
                return path.join(u'.');
            }
            level.keys.insert(key);
            lastKey = key;
        }
    }
    return {};
}

void addProblem(ProfileLoadResult &result, ProfileProblem::Kind kind, const QString &key,
                const QString &value, const QString &rule) {
    result.problems.append({kind, key, value, rule});
}

QString tooLargeText(qint64 bytes) {
    return QStringLiteral("The file is too large for a reader profile (%1 bytes).").arg(bytes);
}

void refuse(ProfileLoadResult &result, const QString &rule) {
    result.values.clear();
    addProblem(result, ProfileProblem::Kind::Refused, {}, {}, rule);
}

void writeValue(ConfigModel &model, const ProfileValue &value) {
    switch (value.kind) {
    case FieldKind::Check:
        model.setCheck(value.field, value.check);
        break;
    case FieldKind::Option:
        model.select(value.field);
        break;
    case FieldKind::Text:
        model.setText(value.field, value.text);
        break;
    }
}

// Every value of `from` into `to`: check boxes first (the Const rule may rewrite a Start text),
// then the texts and selections.
void copyValues(const ConfigModel &from, ConfigModel &to) {
    for (const FieldInfo &info : fieldCatalog()) {
        if (info.kind == FieldKind::Check)
            to.setCheck(info.key, from.check(info.key));
    }
    for (const FieldInfo &info : fieldCatalog()) {
        if (info.kind == FieldKind::Text)
            to.setText(info.key, from.text(info.key));
        else if (info.kind == FieldKind::Option && from.isSelected(info.key))
            to.select(info.key);
    }
}

// The values of one screen's object.
void readScreen(ProfileLoadResult &result, SetupScreen screen, const QJsonObject &object) {
    QSet<QString> known;
    for (const ProfileEntry &entry : profileEntries()) {
        if (entry.screen != screen)
            continue;
        known.insert(entry.key);
        const QString key = qualified(screenName(screen), entry.key);
        const auto it = object.constFind(entry.key);
        if (it == object.constEnd()) {
            addProblem(result, ProfileProblem::Kind::MissingKey, key, {}, {});
            continue;
        }
        const QJsonValue value = *it;
        switch (entry.kind) {
        case FieldKind::Check: {
            const double number = value.toDouble(-1);
            if (!value.isDouble() || (number != 0 && number != 1)) {
                addProblem(result, ProfileProblem::Kind::Error, key, jsonText(value),
                           QStringLiteral("must be 0 or 1"));
                break;
            }
            result.values.append({entry.field, FieldKind::Check, int(number), {}});
            break;
        }
        case FieldKind::Text: {
            const TextCheck checked = checkText(entry, value);
            if (!checked.broken.isEmpty()) {
                addProblem(result, ProfileProblem::Kind::Error, key, jsonText(value),
                           checked.broken);
                break;
            }
            result.values.append({entry.field, FieldKind::Text, 0, checked.text});
            break;
        }
        case FieldKind::Option: {
            const qsizetype at = value.isString() ? entry.words.indexOf(value.toString()) : -1;
            if (at < 0) {
                QStringList quoted;
                for (const QString &word : entry.words)
                    quoted << jsonString(word);
                addProblem(
                    result, ProfileProblem::Kind::Error, key, jsonText(value),
                    QStringLiteral("must be one of %1").arg(quoted.join(QStringLiteral(", "))));
                break;
            }
            result.values.append({entry.members.at(at), FieldKind::Option, 0, {}});
            break;
        }
        }
    }
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!known.contains(it.key()))
            addProblem(result, ProfileProblem::Kind::UnknownKey,
                       qualified(screenName(screen), shownKey(it.key())), jsonText(it.value()), {});
    }
}

// A constant mask row starts at "00": a Start text that the Const rule would overwrite is refused
// rather than silently changed.
void checkConstRows(ProfileLoadResult &result, const ConfigModel &scratch) {
    for (const ProfileValue &value : std::as_const(result.values)) {
        if (value.kind != FieldKind::Text)
            continue;
        for (const ConstPair &pair : constPairs()) {
            if (pair.startField != value.field || scratch.check(pair.constBox) != 1 ||
                value.text == QLatin1String("00"))
                continue;
            addProblem(result, ProfileProblem::Kind::Error, value.field, jsonString(value.text),
                       QStringLiteral("must be \"00\" while %1 is 1").arg(pair.constBox));
        }
    }
}

// The parameter checks that precede programming, on the values the screens would hold.
void runParameterChecks(ProfileLoadResult &result, const ConfigModel &scratch) {
    for (const CheckFailure &failure : checkAll(scratch)) {
        QStringList keys;
        QStringList values;
        for (const QString &field : failure.fields) {
            keys << field;
            values << jsonString(scratch.text(field));
        }
        addProblem(
            result, failure.warning ? ProfileProblem::Kind::Warning : ProfileProblem::Kind::Error,
            keys.join(QStringLiteral(", ")), values.join(QStringLiteral(", ")), failure.message);
    }
}

bool isProfileScreen(const QString &name) {
    const std::optional<SetupScreen> screen = screenNamed(name);
    return screen && profileScreens().contains(*screen);
}

QString listOfKeys(const QList<const ProfileProblem *> &problems) {
    QStringList keys;
    for (const ProfileProblem *problem : problems) {
        if (keys.size() == kListedKeys) {
            keys << QStringLiteral("and %1 more").arg(problems.size() - kListedKeys);
            break;
        }
        keys << problem->key;
    }
    return keys.join(QStringLiteral(", "));
}

} // namespace

const QList<SetupScreen> &profileScreens() {
    static const QList<SetupScreen> screens = {SetupScreen::General, SetupScreen::Wiegand,
                                               SetupScreen::Barcode};
    return screens;
}

const QList<ProfileEntry> &profileEntries() {
    static const QList<ProfileEntry> entries = makeEntries();
    return entries;
}

bool ProfileLoadResult::isRefused() const {
    for (const ProfileProblem &problem : problems) {
        if (problem.kind == ProfileProblem::Kind::Refused)
            return true;
    }
    return false;
}

bool ProfileLoadResult::hasErrors() const {
    for (const ProfileProblem &problem : problems) {
        if (problem.kind == ProfileProblem::Kind::Refused ||
            problem.kind == ProfileProblem::Kind::Error)
            return true;
    }
    return false;
}

QString ProfileLoadResult::report() const {
    QStringList lines;
    QList<const ProfileProblem *> unknown;
    QList<const ProfileProblem *> missing;
    for (const ProfileProblem &problem : problems) {
        switch (problem.kind) {
        case ProfileProblem::Kind::Refused:
            lines << problem.rule;
            break;
        case ProfileProblem::Kind::Error:
        case ProfileProblem::Kind::Warning:
            lines << QStringLiteral("%1 = %2: %3").arg(problem.key, problem.value, problem.rule);
            break;
        case ProfileProblem::Kind::UnknownKey:
            unknown << &problem;
            break;
        case ProfileProblem::Kind::MissingKey:
            missing << &problem;
            break;
        }
    }
    if (!unknown.isEmpty())
        lines << QStringLiteral("Unknown keys, ignored: %1").arg(listOfKeys(unknown));
    if (!missing.isEmpty())
        lines << QStringLiteral("Keys missing from the file, current values kept: %1")
                     .arg(listOfKeys(missing));
    return lines.join(u'\n');
}

QByteArray writeProfile(const ConfigModel &model) {
    QString out;
    out += QStringLiteral("{\n    \"format\": %1,\n    \"version\": %2")
               .arg(jsonString(kProfileFormat))
               .arg(kProfileVersion);
    std::optional<SetupScreen> screen;
    for (const ProfileEntry &entry : profileEntries()) {
        if (entry.screen != screen) {
            if (screen)
                out += QStringLiteral("\n    }");
            screen = entry.screen;
            out += QStringLiteral(",\n    %1: {\n").arg(jsonString(screenName(entry.screen)));
        } else {
            out += QStringLiteral(",\n");
        }
        QString value;
        switch (entry.kind) {
        case FieldKind::Check:
            value = QString::number(model.check(entry.field));
            break;
        case FieldKind::Text:
            value = jsonString(model.text(entry.field));
            break;
        case FieldKind::Option: {
            // A group with nothing selected is written as an empty text; reading refuses it.
            const qsizetype at =
                entry.members.indexOf(model.selectedIn(model.info(entry.field).group));
            value = jsonString(at < 0 ? QString() : entry.words.at(at));
            break;
        }
        }
        out += QStringLiteral("        %1: %2").arg(jsonString(entry.key), value);
    }
    out += QStringLiteral("\n    }\n}\n");
    return out.toUtf8();
}

ProfileLoadResult readProfile(const QByteArray &json, const ConfigModel &current) {
    ProfileLoadResult result;
    if (json.size() > kMaxProfileBytes) {
        refuse(result, tooLargeText(json.size()));
        return result;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        refuse(result, QStringLiteral("The file is not a reader profile: it is not valid JSON "
                                      "(%1 at character %2).")
                           .arg(error.errorString())
                           .arg(error.offset));
        return result;
    }
    if (!document.isObject()) {
        refuse(result, QStringLiteral("The file is not a reader profile: it does not hold a "
                                      "JSON object."));
        return result;
    }
    if (const QString twice = duplicateKey(json); !twice.isEmpty()) {
        refuse(result, QStringLiteral("The profile holds the key \"%1\" twice; keep one.")
                           .arg(shownKey(twice)));
        return result;
    }
    const QJsonObject root = document.object();
    if (root.value(QLatin1String("format")) != QJsonValue(kProfileFormat)) {
        refuse(result, QStringLiteral("The file is not a reader profile: its \"format\" is %1, "
                                      "not \"%2\".")
                           .arg(root.contains(QLatin1String("format"))
                                    ? jsonText(root.value(QLatin1String("format")))
                                    : QStringLiteral("missing"),
                                kProfileFormat));
        return result;
    }
    const QJsonValue version = root.value(QLatin1String("version"));
    const double number = version.toDouble(-1);
    if (!version.isDouble() || number < 1 || number != std::floor(number)) {
        refuse(result,
               QStringLiteral("The profile's \"version\" is %1; it must be a whole number "
                              "from 1.")
                   .arg(root.contains(QLatin1String("version")) ? jsonText(version)
                                                                : QStringLiteral("missing")));
        return result;
    }
    if (number > kProfileVersion) {
        refuse(result, QStringLiteral("The profile was written by a newer version of the utility "
                                      "(profile version %1); this version reads profile version "
                                      "%2.")
                           .arg(jsonText(version))
                           .arg(kProfileVersion));
        return result;
    }

    for (auto it = root.constBegin(); it != root.constEnd(); ++it) {
        const QString key = it.key();
        if (key != QLatin1String("format") && key != QLatin1String("version") &&
            !isProfileScreen(key))
            addProblem(result, ProfileProblem::Kind::UnknownKey, shownKey(key),
                       jsonText(it.value()), {});
    }
    for (SetupScreen screen : profileScreens()) {
        const QString name = screenName(screen);
        const auto it = root.constFind(name);
        if (it == root.constEnd()) {
            addProblem(result, ProfileProblem::Kind::MissingKey, name + QStringLiteral(" (all)"),
                       {}, {});
            continue;
        }
        if (!it->isObject()) {
            addProblem(result, ProfileProblem::Kind::Error, name, jsonText(*it),
                       QStringLiteral("must be an object holding the screen's options"));
            continue;
        }
        readScreen(result, screen, it->toObject());
    }

    ConfigModel scratch;
    copyValues(current, scratch);
    for (const ProfileValue &value : std::as_const(result.values))
        writeValue(scratch, value);
    checkConstRows(result, scratch);
    runParameterChecks(result, scratch);
    return result;
}

bool applyProfile(const ProfileLoadResult &loaded, ConfigModel &model) {
    if (loaded.hasErrors())
        return false;
    for (const ProfileValue &value : loaded.values)
        writeValue(model, value);
    return true;
}

ProfileLoadResult loadProfileFile(const QString &path, const ConfigModel &current) {
    QFile file(path);
    ProfileLoadResult result;
    if (!file.open(QIODevice::ReadOnly)) {
        refuse(result, QStringLiteral("Cannot read the reader profile \"%1\": %2")
                           .arg(namedControls(path), file.errorString()));
        return result;
    }
    // A larger file is refused by its real size, unread.
    if (file.size() > kMaxProfileBytes) {
        refuse(result, tooLargeText(file.size()));
        return result;
    }
    const QByteArray json = file.read(kMaxProfileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        refuse(result, QStringLiteral("Cannot read the reader profile \"%1\": %2")
                           .arg(namedControls(path), file.errorString()));
        return result;
    }
    if (json.size() > kMaxProfileBytes) { // a pipe or device: its size is not known before
        refuse(result, QStringLiteral("The file is too large for a reader profile (more than %1 "
                                      "bytes).")
                           .arg(kMaxProfileBytes));
        return result;
    }
    return readProfile(json, current);
}

std::optional<QString> saveProfileFile(const QString &path, const ConfigModel &model) {
    if (const std::optional<QString> reason = writeFileAtomically(path, writeProfile(model)))
        return QStringLiteral("Cannot save the reader profile \"%1\": %2")
            .arg(namedControls(path), *reason);
    return std::nullopt;
}

} // namespace varo::config

namespace varo::config {

std::unique_ptr<ConfigModel> loadProgramSettings(const QString &profilePath, QString *problems) {
    auto model = std::make_unique<ConfigModel>();
    loadDefaults(*model);
    if (profilePath.isEmpty())
        return model;
    const ProfileLoadResult loaded = loadProfileFile(profilePath, *model);
    if (loaded.hasErrors() || !applyProfile(loaded, *model)) {
        if (problems)
            *problems = loaded.report();
        return {};
    }
    return model;
}

} // namespace varo::config
