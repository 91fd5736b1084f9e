#pragma once

#include "cli/report.h"
#include "cli/request.h"

#include "link/linksettings.h"
#include "link/operationresult.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <memory>

namespace varo::link {
class ReaderLink;
}
namespace varo::config {
class ConfigModel;
}

namespace varo::cli {

// The waits a job's link and engines use. The product keeps the engines' own defaults; tests
// and the benchmark shorten them through the environment (see waitsFromEnvironment()).
struct JobWaits {
    bool shortened = false;
};

// VARO_CLI_SHORT_WAITS=1 shortens every reply, connect and pause wait (tests, benchmark).
JobWaits waitsFromEnvironment();

// One reader's run: its own link and engine, connect -> operation -> disconnect. Emits
// finished() exactly once, from the event loop, never from inside start(). The job owns
// everything it opens; deleting it after finished() is safe.
class TargetJob : public QObject {
    Q_OBJECT
public:
    // `model` (program only) outlives the job; it is only read.
    TargetJob(const Request &request, const Target &target, const config::ConfigModel *model,
              JobWaits waits, QObject *parent = nullptr);
    ~TargetJob() override;

    const Target &target() const { return m_target; }
    void start();
    // Ctrl+C: ends the link (an upload keeps what it has written); finished() follows with an
    // "interrupted" result unless the operation had already ended.
    void stop();

signals:
    void progressed(const QString &target, const QString &text);
    void finished(const varo::cli::TargetResult &result);

private:
    void onConnected(bool connected);
    void runOperation();
    void runInfoStep();
    void onOperationFinished(const link::OperationResult &result);
    void end(bool ok, const QString &exitReason, const QString &message);

    const Request &m_request;
    Target m_target;
    const config::ConfigModel *m_model;
    JobWaits m_waits;
    std::unique_ptr<link::ReaderLink> m_link;
    std::unique_ptr<QObject> m_engine; // the operation's engine
    std::unique_ptr<QObject> m_helper; // program: its progress log
    QElapsedTimer m_clock;
    QVariantMap m_data;
    QString m_lastStatus; // the engine's last status text: names what went wrong
    int m_infoStep = 0;
    bool m_stopping = false;
    bool m_ended = false;
};

// The LinkSettings a target opens: TCP host and port, or the serial device (or port number)
// and baud rate. A flash over serial always runs at 9600 baud.
link::LinkSettings linkSettingsFor(const Target &target, Command command);

// The reason code for an engine's result code.
QString reasonFor(link::ResultCode code);

} // namespace varo::cli
