#include "keystrokerule.h"

namespace varo::config {

namespace {

bool allowed(InputRule rule, QChar c) {
    if (c >= u'0' && c <= u'9')
        return true;
    return rule == InputRule::Hex && c >= u'A' && c <= u'F';
}

} // namespace

std::optional<QString> acceptEdit(InputRule rule, int maxLength, const QString &before,
                                  const QString &after) {
    if (after == before)
        return after;
    const QString kept = rule == InputRule::Hex ? after.toUpper() : after;
    for (QChar c : kept) {
        if (!allowed(rule, c))
            return std::nullopt;
    }
    if (kept.size() > maxLength && kept.size() >= before.size())
        return std::nullopt;
    return kept;
}

} // namespace varo::config
