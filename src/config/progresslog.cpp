#include "progresslog.h"

namespace varo::config {

QString &ProgressLog::buffer(ProgressList list) {
    return list == ProgressList::Left ? m_picture1 : m_picture2;
}

void ProgressLog::printLine(ProgressList list, const QString &text) {
    print(list, text + u'\n');
}

void ProgressLog::print(ProgressList list, const QString &text) {
    if (text.isEmpty())
        return;
    buffer(list) += text;
    emit appended(list, text);
}

void ProgressLog::clear() {
    m_picture1.clear();
    m_picture2.clear();
    emit cleared();
}

QString ProgressLog::text(ProgressList list) const {
    return list == ProgressList::Left ? m_picture1 : m_picture2;
}

QStringList ProgressLog::lines(ProgressList list) const {
    QStringList result = text(list).split(u'\n');
    // An ended last line leaves an empty piece after its "\n".
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

} // namespace varo::config
