#pragma once

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
// that moment, so it is refused while another operation holds the link.
class ReaderReset : public QObject {
    Q_OBJECT
public:
    static inline const QString kOperationName = QStringLiteral("Reset Reader");

    ReaderReset(link::ReaderLink *link, ProgressLog *log, QObject *parent = nullptr);

    // Returns false, changing nothing, when another operation holds the link; refused() names it.
    bool start();

signals:
    void refused(const QString &operation);
    // `written` is false when the reset command could not be written.
    void finished(bool written);

private:
    QPointer<link::ReaderLink> m_link;
    ProgressLog *m_log;
};

} // namespace varo::config
