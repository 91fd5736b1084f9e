#pragma once

#include "fieldcatalog.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace varo::config {

class ConfigModel;

// A reader profile: the options of the setup screens `general`, `wiegand` and `barcode` in a
// UTF-8 JSON file, under their descriptive keys, one object per screen, in layout order:
//
//   { "format": "varo-reader-profile", "version": 1,
//     "general": { "prox.enabled": 1, ... }, "wiegand": { ... }, "barcode": { ... } }
//
// A check box is the number 0 or 1, a text field a string, an option group one key holding the
// chosen value ("priority": "none"). The reader's own port settings (`commports`) and the
// workstation's link settings are not part of a profile, nor are the cells that the screens never
// let the user change (the hidden symbology row, the grid cells disabled from creation).
//
// Everything here is free of widgets and sends nothing to the reader.

inline const QString kProfileFormat = QStringLiteral("varo-reader-profile");
inline constexpr int kProfileVersion = 1;
// Larger files are refused unread; a full profile is about 12 KB.
inline constexpr qint64 kMaxProfileBytes = 1024 * 1024;

// One option of a profile.
struct ProfileEntry {
    SetupScreen screen = SetupScreen::General;
    QString key; // "speaker.goodReadTime"; an option group's key ("priority")
    FieldKind kind = FieldKind::Text;
    QString field;       // check box or text field; the first member of an option group
    QStringList members; // option group: its buttons, in layout order
    QStringList words;   // option group: the value of each member ("none", "small", "large")
    int maxLength = 0;   // text: the longest text accepted (typing limit, or a longer default)
    InputRule rule = InputRule::None;
    QString constBox; // text: the Const box of the mask row whose Start this field is
};
// Every option of a profile: screen by screen, in layout order.
const QList<ProfileEntry> &profileEntries();
// The three screens of a profile, in file order.
const QList<SetupScreen> &profileScreens();

// A value read from a profile, as it is written into the model.
struct ProfileValue {
    QString field; // check box, text field, or the option button to select
    FieldKind kind = FieldKind::Text;
    int check = 0; // check box: 0 or 1
    QString text;  // text field
};

struct ProfileProblem {
    enum class Kind {
        Refused,    // not a profile of this format and version: nothing can be read from it
        Error,      // a value breaks a field rule or a parameter check: nothing may be applied
        Warning,    // a parameter check's warning: does not block
        UnknownKey, // reported and ignored
        MissingKey  // the field keeps its current value
    };
    Kind kind = Kind::Error;
    QString key; // "wiegand.format1.site.start"; several for a parameter check; empty for the file
    QString value; // the value in question as JSON text (shortened when long); empty when none
    QString rule;  // what is wrong
};

struct ProfileLoadResult {
    QList<ProfileValue> values; // the valid values of the file, in file order
    QList<ProfileProblem> problems;

    bool isRefused() const;
    // Refused, or an error: applyProfile() changes nothing.
    bool hasErrors() const;
    bool hasProblems() const { return !problems.isEmpty(); }
    // Every problem, one per line; long lists of unknown or missing keys are shortened.
    QString report() const;
};

// The profile text of the model's current values.
QByteArray writeProfile(const ConfigModel &model);

// Reads and checks a profile against the model it would be applied to; does not change `current`.
// Every value passes the field's rules (kind, accepted characters, length, option values, the
// Const rule of mask rows); then the parameter checks that precede programming run on a copy of
// `current` holding the loaded values. All problems are collected, not only the first.
ProfileLoadResult readProfile(const QByteArray &json, const ConfigModel &current);

// Writes the loaded values into `model`; false, changing nothing, when the result has errors.
bool applyProfile(const ProfileLoadResult &loaded, ConfigModel &model);

// readProfile() on the contents of a file; a file that cannot be read is refused with the reason.
ProfileLoadResult loadProfileFile(const QString &path, const ConfigModel &current);

// Writes the profile of `model` to `path` atomically: the old file stays as it was unless the new
// one was written completely. Returns the message naming the file and the reason on failure.
std::optional<QString> saveProfileFile(const QString &path, const ConfigModel &model);

// The settings a programming run without the window sends: the defaults, then the profile at
// `profilePath` if one is given. Empty when the profile has errors; `problems` then holds the
// report.
std::unique_ptr<ConfigModel> loadProgramSettings(const QString &profilePath, QString *problems);

} // namespace varo::config
