#pragma once

#include "fieldcatalog.h"

#include <QString>

#include <optional>

namespace varo::config {

// Decides a user's edit of a text field: `before` is the field's text, `after` the text the edit
// would leave. Returns the text to keep, or nothing when the edit is refused and the field keeps
// `before`.
//
// Digit fields accept "0" to "9"; hex fields also "A" to "F", typed lower case kept upper case.
// Deleting is always possible. An edit may not take the text beyond `maxLength` characters;
// a longer text set by the program can still be shortened.
std::optional<QString> acceptEdit(InputRule rule, int maxLength, const QString &before,
                                  const QString &after);

} // namespace varo::config
