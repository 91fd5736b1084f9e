#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace varo::config {

class ConfigModel;

// Outcome of the parameter checks that precede a programming run.
struct ValidationResult {
    QStringList lines; // messages in printing order: warnings, then the error if one was found
    bool passed = true;
};

// Runs the checks in their fixed order: the first failing error check ends the checks and is the
// last line; warnings are collected and the checks go on.
ValidationResult validate(const ConfigModel &model);

// One failing check: its message and the fields that make it fail (the empty ones of an emptiness
// check, the ones above the limit of a limit check, all of them otherwise).
struct CheckFailure {
    QString message;
    QStringList fields;
    bool warning = false;
};
// Every failing check, in the same order as validate(), which stops at the first error; for
// reporting all problems of a configuration at once.
QList<CheckFailure> checkAll(const ConfigModel &model);

// The number formed by the leading decimal digits of `text`, 0 when there are none
// ("08C0" gives 8).
long long numericValue(const QString &text);
// A text that is empty once its leading and trailing spaces are removed.
bool isEmptyField(const QString &text);

} // namespace varo::config
