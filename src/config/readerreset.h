#pragma once

#include "link/operation.h"

#include <QObject>
#include <QPointer>
#include <QString>

namespace varo::link {
class ReaderLink;
} // namespace varo::link

namespace varo::config {

class ProgressLog;

// do_reset: sends NUL "U1" (no wake-up, no reply awaited) and reports on the progress lists.
// The whole operation happens inside start() (finished() comes from inside it); it claims the
// link (Operation::ResetReader) only for that moment, so it is refused while another operation
// holds the link. "Reset Complete" is printed only once the system has taken the write; a failed
// write prints its reason instead.
class ReaderReset : public link::ReaderOperation {
    Q_OBJECT
public:
    ReaderReset(link::ReaderLink *link, ProgressLog *log, QObject *parent = nullptr);

    link::Operation operation() const override { return link::Operation::ResetReader; }
    // Refused as every ReaderOperation is. finished(): Ok ("Reset Complete"), or LinkError with
    // the reason the command could not be written.
    bool start() override;
    bool isRunning() const override { return false; }

private:
    QPointer<link::ReaderLink> m_link;
    ProgressLog *m_log;
};

} // namespace varo::config
