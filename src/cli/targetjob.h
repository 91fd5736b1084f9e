#pragma once

#include "cli/commandtable.h"
#include "cli/report.h"
#include "cli/request.h"

#include "link/operation.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>

namespace varo::link {
class ReaderLink;
}

namespace varo::cli {

// One reader's run: its own link and the operation its command row makes, connect -> look ->
// operation -> disconnect. The look reads what the row's plan decides on (the clock, the memory
// counts, the firmware identification) over the target's own settings; with --check the run ends
// after it, having sent nothing that changes the reader. An operation that needs other settings
// (the loader's baud rate) reconnects with them after the look. Emits finished() exactly once, from
// the event loop, never from inside start(). The job owns everything it opens; deleting it after
// finished() is safe.
class TargetJob : public QObject {
    Q_OBJECT
public:
    // `request` outlives the job. With request.shortWaits every reply, connect and pause wait is
    // short (tests, benchmark); otherwise the engines keep their own defaults.
    TargetJob(const Request &request, const Target &target, QObject *parent = nullptr);
    ~TargetJob() override;

    const Target &target() const { return m_target; }
    void start();
    // Ctrl+C: ends the operation (an upload keeps what it has written); finished() follows with
    // an "interrupted" result unless the operation had already ended.
    void stop();

signals:
    void progressed(const QString &target, const QString &text);
    void finished(const varo::cli::TargetResult &result);

private:
    void onConnected(bool connected);
    link::LinkSettings operationSettings() const;
    void look();
    void onLooked(const link::OperationResult &result);
    void runOperation();
    void onOperationFinished(const link::OperationResult &result);
    // What the run read and did: the operation's data over what the look read.
    link::OperationData resultData() const;
    void end(bool ok, Reason reason, const QString &step, const QString &message);

    const Request &m_request;
    const CommandRow &m_row;
    Target m_target;
    std::unique_ptr<link::ReaderLink> m_link;
    std::unique_ptr<link::ReaderOperation> m_operation; // the look's, then the command's
    QList<utilities::MaintenanceStep> m_lookSteps;
    link::OperationData m_looked;
    bool m_lookDone = false;
    bool m_acting = false; // m_operation is the command's
    QElapsedTimer m_clock;
    bool m_stopping = false;
    bool m_ended = false;
};

} // namespace varo::cli
