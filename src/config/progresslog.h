#pragma once

#include "commandtable.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace varo::config {

// The two progress lists of the programming screen (left and right), without widgets.
// Printing a line appends the text and ends the line; printing without line end leaves the
// write position after the text, so the next print continues the same line.
class ProgressLog : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void printLine(ProgressList list, const QString &text);
    void print(ProgressList list, const QString &text);
    void clear();

    // Everything printed into `list`, each ended line followed by "\n".
    QString text(ProgressList list) const;
    // The lines of `list`, the unfinished one included.
    QStringList lines(ProgressList list) const;

signals:
    // `text` was appended at the end of `list` ("\n" for each line end).
    void appended(varo::config::ProgressList list, const QString &text);
    void cleared();

private:
    QString &buffer(ProgressList list);

    QString m_picture1;
    QString m_picture2;
};

} // namespace varo::config
