#pragma once

#include "link/operation.h"
#include "link/operationclaim.h"
#include "link/operationresult.h"

#include "validation.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

namespace varo::link {
class ReaderLink;
struct ReplyResult;
} // namespace varo::link

namespace varo::config {

class ConfigModel;
class ProgressLog;

// do_program: checks the configuration, then sends "V" and the 49 programming commands one at a
// time, each built from the model just before it goes out, and prints every step into the
// progress lists.
//
// A small state machine driven by the link's reply callbacks: start() does the checks, the
// wake-up and sends "V", then returns; every later step runs when the awaited reply (or its
// time-out) arrives. Exactly one exchange is in flight at any time. The run claims the link
// for its whole length (Operation::ProgramReader) and releases it at every end. Every command
// and its reply are kept in data().replies.
//
// finished() carries how the run ended: Ok ("Programming Complete"), Invalid (a check failed;
// nothing was sent), LinkError (the wake-up could not be written, or the link broke while a
// reply was awaited), Timeout (a command, or "V", got no reply; its time-out message is
// printed) or Disconnected (the user disconnected during the run). A run that ends on the link
// ends its progress list with a line that says why.
class ProgramRun : public link::ReaderOperation {
    Q_OBJECT
public:
    ProgramRun(link::ReaderLink *link, const ConfigModel *model, ProgressLog *log,
               QObject *parent = nullptr);
    ~ProgramRun() override;

    link::Operation operation() const override { return link::Operation::ProgramReader; }
    // Starts a run (refused as every ReaderOperation is).
    bool start() override;
    bool isRunning() const override { return m_active; }
    bool isActive() const { return m_active; }

private:
    void sendStep();
    void onReply(const link::ReplyResult &result);
    void stopOnLink(const QString &why, link::ResultCode code);
    void finish(link::ResultCode code, const QString &message = {});
    ValidationResult checked() const;
    QByteArray commandAt(qsizetype step) const;

    QPointer<link::ReaderLink> m_link;
    const ConfigModel *m_model;
    ProgressLog *m_log;
    link::OperationClaim m_claim;
    bool m_active = false;
    qsizetype m_step = 0; // index into the command table; 0 is "V"
};

} // namespace varo::config
