#pragma once

#include <QString>

#include <functional>

namespace varo::common {

// Asks the user a Yes/No question without blocking. Calls `answer` exactly once, later or at
// once; true means Yes. The screens ask through ui::questionAsker(); tests answer directly.
using Asker = std::function<void(const QString &question, std::function<void(bool yes)> answer)>;

} // namespace varo::common
