// docs/profile-keys.md against the field catalogue: the keys, kinds and simple defaults that the
// document lists for each screen are exactly the ones a profile holds.

#include "config/configmodel.h"
#include "config/defaults.h"
#include "config/fieldcatalog.h"
#include "config/fieldkeys.h"
#include "config/readerprofile.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QTest>

using namespace varo::config;

namespace {

// One key of the document, its placeholders filled in.
struct DocumentedKey {
    QString value;    // "check", "digits 2", "hex 4", "choice: ..."
    QString fallback; // the Default cell when it is one plain value, else empty
};

// What the placeholders of a screen's table stand for; the document says the same in words.
QHash<QChar, QStringList> placeholders(SetupScreen screen) {
    QHash<QChar, QStringList> values;
    values[u'R'] = {"1", "2", "3", "4", "5"};
    if (screen == SetupScreen::Wiegand) {
        values[u'F'] = {"1", "2", "3"};
        values[u'P'] = {"site", "id", "issue"};
        values[u'M'] = {"1", "2", "3"};
    } else if (screen == SetupScreen::Barcode) {
        values[u'M'] = {"1", "2"};
        for (const char *symbology : kSymbologies) {
            if (QLatin1String(symbology) != QLatin1String("hiddenRow"))
                values[u'S'].append(QLatin1String(symbology));
        }
    }
    return values;
}

// "maskM.rowR.start" with M and R filled in every way; a placeholder is an upper-case letter
// standing alone between dots.
QStringList expand(const QString &pattern, const QHash<QChar, QStringList> &values) {
    QStringList parts = pattern.split(u'.');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString part = parts.at(i);
        const QChar letter = part.size() == 1  ? part.at(0)
                             : part.size() > 1 ? part.back()
                                               : QChar();
        const QString stem = part.size() == 1 ? QString() : part.chopped(1);
        if (!letter.isUpper() || !values.contains(letter) ||
            (part.size() > 1 && !stem.at(0).isLower()))
            continue;
        QStringList expanded;
        for (const QString &value : values.value(letter)) {
            QStringList filled = parts;
            filled[i] = stem + value;
            expanded += expand(filled.join(u'.'), values);
        }
        return expanded;
    }
    return {pattern};
}

QString cellNames(const QString &cell) {
    static const QRegularExpression kQuoted(QStringLiteral("`([^`]+)`"));
    QStringList names;
    for (const auto &match : kQuoted.globalMatch(cell))
        names << match.captured(1);
    return names.join(u' ');
}

// Every key the document lists, screen by screen.
QHash<SetupScreen, QHash<QString, DocumentedKey>> readDocument(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression kSection(QStringLiteral("^## `(\\w+)`"));
    static const QRegularExpression kRange(QStringLiteral("^`([^`]+)\\.1` to `[^`]+\\.5`$"));
    static const QRegularExpression kPlain(QStringLiteral("^(\\d+|\"[0-9A-F]*\")$"));
    QHash<SetupScreen, QHash<QString, DocumentedKey>> keys;
    std::optional<SetupScreen> screen;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.startsWith(QLatin1String("## "))) {
            const auto match = kSection.match(line);
            screen = match.hasMatch() ? screenNamed(match.captured(1)) : std::nullopt;
            continue;
        }
        if (!screen || !line.startsWith(QLatin1String("| `")))
            continue;
        const QStringList cells = line.mid(1, line.size() - 2).split(u'|');
        const QString keyCell = cells.value(0).trimmed();
        QStringList patterns;
        if (const auto range = kRange.match(keyCell); range.hasMatch()) {
            for (int i = 1; i <= 5; ++i)
                patterns << QStringLiteral("%1.%2").arg(range.captured(1)).arg(i);
        } else {
            patterns << cellNames(keyCell);
        }
        const QString fallback = cells.value(3).trimmed();
        const QStringList notFor = cellNames(cells.value(4)).split(u' ', Qt::SkipEmptyParts);
        for (const QString &pattern : patterns) {
            for (const QString &key : expand(pattern, placeholders(*screen))) {
                if (notFor.contains(key.section(u'.', 0, 0)))
                    continue;
                keys[*screen].insert(key,
                                     {cells.value(2).trimmed(),
                                      kPlain.match(fallback).hasMatch() ? fallback : QString()});
            }
        }
    }
    return keys;
}

// The Value cell a profile entry calls for.
QString valueOf(const ProfileEntry &entry) {
    switch (entry.kind) {
    case FieldKind::Check:
        return QStringLiteral("check");
    case FieldKind::Option: {
        QStringList words;
        for (const QString &word : entry.words)
            words << QStringLiteral("`\"%1\"`").arg(word);
        return QStringLiteral("choice: ") + words.join(QStringLiteral(", "));
    }
    case FieldKind::Text:
        break;
    }
    return QStringLiteral("%1 %2")
        .arg(entry.rule == InputRule::Hex ? QStringLiteral("hex") : QStringLiteral("digits"))
        .arg(entry.maxLength);
}

} // namespace

class ProfileKeysTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        m_documented = readDocument(QStringLiteral(VARO_SOURCE_DIR "/docs/profile-keys.md"));
        QVERIFY(!m_documented.isEmpty());
    }

    void documentListsTheProfile_data() {
        QTest::addColumn<int>("screen");
        for (SetupScreen screen : profileScreens())
            QTest::newRow(qPrintable(screenName(screen))) << int(screen);
    }
    void documentListsTheProfile() {
        QFETCH(int, screen);
        const auto setup = SetupScreen(screen);
        const QHash<QString, DocumentedKey> documented = m_documented.value(setup);
        ConfigModel defaults;
        loadDefaults(defaults);
        QStringList inProfile;
        for (const ProfileEntry &entry : profileEntries()) {
            if (entry.screen != setup)
                continue;
            inProfile << entry.key;
            QVERIFY2(documented.contains(entry.key), qPrintable(entry.key + " is not documented"));
            const DocumentedKey &doc = documented.value(entry.key);
            QCOMPARE(doc.value, valueOf(entry));
            if (doc.fallback.isEmpty() || entry.kind == FieldKind::Option)
                continue;
            const QString field = screenName(setup) + u'.' + entry.key;
            const QString actual = entry.kind == FieldKind::Check
                                       ? QString::number(defaults.check(field))
                                       : u'"' + defaults.text(field) + u'"';
            QCOMPARE(doc.fallback, actual);
        }
        for (auto it = documented.cbegin(); it != documented.cend(); ++it)
            QVERIFY2(inProfile.contains(it.key()), qPrintable(it.key() + " is not in a profile"));
    }

private:
    QHash<SetupScreen, QHash<QString, DocumentedKey>> m_documented;
};

QTEST_GUILESS_MAIN(ProfileKeysTest)
#include "tst_profilekeys.moc"
