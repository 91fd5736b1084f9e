#pragma once

#include "fieldcatalog.h"

#include <QList>
#include <QString>

namespace varo::config {

class ConfigModel;
struct ProfileLoadResult;

// One option whose value on the screens differs from a profile's.
struct ProfileDifference {
    SetupScreen screen = SetupScreen::General;
    QString key;      // "speaker.goodReadTime"
    QString onScreen; // the value as a profile writes it: "1", "08C0", "none"
    QString inFile;
};

// The options that applying `loaded` would change, in file order. Options missing from the file
// are not listed: applying keeps them.
QList<ProfileDifference> compareProfile(const ConfigModel &model, const ProfileLoadResult &loaded);

// The caption of a setup screen for people: "General", "Wie/Prox/Mag", "Barcode".
QString screenCaption(SetupScreen screen);

} // namespace varo::config
