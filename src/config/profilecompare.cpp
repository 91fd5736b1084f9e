#include "profilecompare.h"

#include "configmodel.h"
#include "readerprofile.h"

#include <QHash>

namespace varo::config {

namespace {

// The entry a loaded value belongs to; for an option button, its group's entry.
const ProfileEntry *entryOf(const QString &field) {
    static const QHash<QString, const ProfileEntry *> byField = [] {
        QHash<QString, const ProfileEntry *> table;
        for (const ProfileEntry &entry : profileEntries()) {
            if (entry.kind == FieldKind::Option) {
                for (const QString &member : entry.members)
                    table.insert(member, &entry);
            } else {
                table.insert(entry.field, &entry);
            }
        }
        return table;
    }();
    return byField.value(field);
}

QString selectedWord(const ConfigModel &model, const ProfileEntry &entry) {
    const qsizetype at = entry.members.indexOf(model.selectedIn(model.info(entry.field).group));
    return at < 0 ? QString() : entry.words.at(at);
}

} // namespace

QList<ProfileDifference> compareProfile(const ConfigModel &model, const ProfileLoadResult &loaded) {
    QList<ProfileDifference> differences;
    for (const ProfileValue &value : loaded.values) {
        const ProfileEntry *entry = entryOf(value.field);
        if (!entry)
            continue;
        QString onScreen;
        QString inFile;
        switch (value.kind) {
        case FieldKind::Check:
            onScreen = QString::number(model.check(value.field));
            inFile = QString::number(value.check);
            break;
        case FieldKind::Text:
            onScreen = model.text(value.field);
            inFile = value.text;
            break;
        case FieldKind::Option:
            onScreen = selectedWord(model, *entry);
            inFile = entry->words.value(entry->members.indexOf(value.field));
            break;
        }
        if (onScreen != inFile)
            differences.append({entry->screen, entry->key, onScreen, inFile});
    }
    return differences;
}

QString screenCaption(SetupScreen screen) {
    switch (screen) {
    case SetupScreen::General:
        return QStringLiteral("General");
    case SetupScreen::Wiegand:
        return QStringLiteral("Wie/Prox/Mag");
    case SetupScreen::Barcode:
        return QStringLiteral("Barcode");
    case SetupScreen::Commports:
        break;
    }
    return screenName(screen);
}

} // namespace varo::config
