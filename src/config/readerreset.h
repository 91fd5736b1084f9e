#pragma once

#include "link/operationresult.h"

#include <QObject>
#include <QPointer>
#include <QString>

namespace varo::link {
class ReaderLink;
} // namespace varo::link

namespace varo::config {

class ProgressLog;

// do_reset: sends NUL "U1" (no wake-up, no reply awaited) and reports on the progress lists.
// The whole operation happens inside start(); it claims the link under kOperationName only for
// that moment, so it is refused while another operation holds the link. "Reset Complete" is
// printed only once the system has taken the write; a failed write prints its reason instead.
class ReaderReset : public QObject {
    Q_OBJECT
public:
    static inline const QString kOperationName = QStringLiteral("Reset Reader");

    ReaderReset(link::ReaderLink *link, ProgressLog *log, QObject *parent = nullptr);

    // Returns false, changing nothing, when another operation holds the link; refused() names it.
    bool start();

signals:
    void refused(const QString &operation);
    // Ok ("Reset Complete"), or LinkError with the reason the command could not be written.
    void finished(const varo::link::OperationResult &result);

private:
    QPointer<link::ReaderLink> m_link;
    ProgressLog *m_log;
};

} // namespace varo::config
