#include "cli/targetjob.h"

#include "link/readerlink.h"
#include "utilities/maintenancecommands.h"

#include <QTimer>

#include <algorithm>
#include <chrono>

namespace varo::cli {

using link::OperationResult;
using link::ResultCode;
using namespace std::chrono_literals;

namespace {

// The command's data over what the look before it read.
link::OperationData mergedData(link::OperationData data, const link::OperationData &looked) {
    const auto keep = [](auto &mine, const auto &theirs) {
        if (!mine) {
            mine = theirs;
        }
    };
    keep(data.firmwareId, looked.firmwareId);
    keep(data.readerTime, looked.readerTime);
    keep(data.memory, looked.memory);
    keep(data.readerClock, looked.readerClock);
    keep(data.clockOffsetSeconds, looked.clockOffsetSeconds);
    if (data.firmwareIdReply.isEmpty()) {
        data.firmwareIdReply = looked.firmwareIdReply;
    }
    if (data.readerTimeReply.isEmpty()) {
        data.readerTimeReply = looked.readerTimeReply;
    }
    data.driftSeconds = looked.driftSeconds;
    data.gate = looked.gate;
    return data;
}

} // namespace

TargetJob::TargetJob(const Request &request, const Target &target, QObject *parent)
    : QObject(parent)
    , m_request(request)
    , m_row(commandRow(request.command))
    , m_target(target)
    , m_link(std::make_unique<link::ReaderLink>()) {
    m_link->setTraceName(target.text);
    if (request.shortWaits) {
        m_link->setTimings({400ms, 1500ms});
    }
}

TargetJob::~TargetJob() {
    // The operation first: it releases its claim on the link.
    m_operation.reset();
}

void TargetJob::start() {
    m_clock.start();
    const bool dryRun = m_request.check && !m_row.readOnly;
    if (dryRun) {
        m_lookSteps = checkSteps(m_row, m_request);
    } else if (m_row.look) {
        m_lookSteps = m_row.look(m_request);
    }
    connect(m_link.get(), &link::ReaderLink::connectFinished, this, &TargetJob::onConnected);
    // connectReader() may report a failure from inside the call; finished() must come later.
    QTimer::singleShot(0, this, [this] {
        if (m_stopping) {
            return end(false, Reason::Interrupted, {},
                       QStringLiteral("interrupted before connecting"));
        }
        // A look talks to the reader as it is set up; the operation may need other settings
        // (the loader's baud rate), and then gets a link of its own.
        m_link->connectReader(m_lookSteps.isEmpty() ? operationSettings() : m_target.settings);
    });
}

void TargetJob::stop() {
    if (m_stopping || m_ended) {
        return;
    }
    m_stopping = true;
    if (m_link->isConnecting()) {
        // Nothing was sent yet: drop the attempt.
        m_link.reset();
        QTimer::singleShot(0, this, [this] {
            end(false, Reason::Interrupted, QStringLiteral("connect"),
                QStringLiteral("interrupted while connecting"));
        });
        return;
    }
    if (m_operation && m_operation->stop()) {
        return; // it ends by itself
    }
    // Every operation ends its wait on the disconnect and reports through finished().
    if (!m_link->disconnectReader() && !m_operation) {
        QTimer::singleShot(0, this, [this] {
            end(false, Reason::Interrupted, {}, QStringLiteral("interrupted"));
        });
    }
}

void TargetJob::onConnected(bool connected) {
    if (m_ended) {
        return;
    }
    if (!connected) {
        const link::ConnectError error = m_link->connectError();
        const QString why =
            error.message.isEmpty() ? QStringLiteral("no connection") : error.message;
        return end(false, reasonFor(error.kind), QStringLiteral("connect"),
                   QStringLiteral("connect: ") + why);
    }
    if (m_stopping) {
        m_link->disconnectReader();
        return end(false, Reason::Interrupted, {}, QStringLiteral("interrupted after connecting"));
    }
    if (m_lookSteps.isEmpty() || m_lookDone) {
        return runOperation();
    }
    look();
}

link::LinkSettings TargetJob::operationSettings() const {
    return m_row.linkSettings ? m_row.linkSettings(m_target) : m_target.settings;
}

void TargetJob::look() {
    auto commands = std::make_unique<utilities::MaintenanceCommands>(m_link.get());
    commands->setSteps(m_lookSteps);
    m_operation = std::move(commands);
    connect(m_operation.get(), &link::ReaderOperation::finished, this, &TargetJob::onLooked,
            Qt::QueuedConnection);
    if (!m_operation->start()) {
        end(false, Reason::Refused, {}, QStringLiteral("the link is busy"));
    }
}

void TargetJob::onLooked(const OperationResult &result) {
    if (m_ended) {
        return;
    }
    m_looked = m_operation->data();
    m_operation.reset();
    m_lookDone = true;
    const int step = std::clamp(m_looked.step, 0, int(m_lookSteps.size()) - 1);
    const QString stepName = lookStepName(m_lookSteps[step].verb);
    if (!result.ok()) {
        const bool interrupted = m_stopping;
        const QString message = stepName + QStringLiteral(": ") + result.message;
        return end(false, interrupted ? Reason::Interrupted : reasonFor(result.code), stepName,
                   (interrupted ? QStringLiteral("interrupted during ") : QString()) + message);
    }
    const Plan plan = m_row.plan ? m_row.plan(m_request, m_looked) : Plan{};
    const QString name = QString::fromLatin1(m_row.name);
    switch (plan.action) {
    case Plan::Action::Refuse:
        return end(false, reasonFor(plan.refusal), name,
                   name + QStringLiteral(": ") + plan.message);
    case Plan::Action::Skip:
        m_looked.gate = link::Gate::Skipped;
        return end(true, Reason::Ok, {}, plan.message);
    case Plan::Action::Act:
        break;
    }
    if (m_request.check) {
        m_looked.gate = link::Gate::WouldAct;
        const QString what = plan.message.isEmpty() ? name : plan.message;
        return end(true, Reason::Ok, {}, QStringLiteral("would ") + what);
    }
    if (m_stopping) {
        return end(false, Reason::Interrupted, {}, QStringLiteral("interrupted"));
    }
    if (m_link->settings() != operationSettings()) {
        m_link->disconnectReader();
        m_link->connectReader(operationSettings()); // onConnected() runs the operation
        return;
    }
    runOperation();
}

void TargetJob::runOperation() {
    if (!m_row.make) {
        return end(false, Reason::Refused, {}, QStringLiteral("no operation"));
    }
    m_acting = true;
    m_operation = m_row.make({m_link.get(), m_request, m_target});
    // Some operations finish inside start(); the result is handled from the event loop.
    connect(m_operation.get(), &link::ReaderOperation::finished, this,
            &TargetJob::onOperationFinished, Qt::QueuedConnection);
    if (m_row.progress) {
        connect(m_operation.get(), &link::ReaderOperation::progressed, this, [this] {
            const QString text = m_row.progress(m_operation->data());
            if (!text.isEmpty()) {
                emit progressed(m_target.text, text);
            }
        });
    }
    if (!m_operation->start()) {
        const QString name = QString::fromLatin1(m_row.name);
        end(false, Reason::Refused, name, name + QStringLiteral(": the link is busy"));
    }
}

void TargetJob::onOperationFinished(const OperationResult &result) {
    if (m_ended) {
        return;
    }
    const link::OperationData data = resultData();
    const Verdict verdict = judge(m_row, result, data, m_request);
    m_link->disconnectReader();
    if (verdict.result.ok()) {
        return end(true, Reason::Ok, {}, verdict.result.message);
    }
    const bool interrupted = m_stopping && (result.code == ResultCode::Disconnected ||
                                            result.code == ResultCode::Cancelled);
    QString message = verdict.step + QStringLiteral(": ") + verdict.result.message;
    if (m_row.failureNote) {
        message += m_row.failureNote(data);
    }
    end(false, interrupted ? Reason::Interrupted : reasonFor(verdict.result.code), verdict.step,
        (interrupted ? QStringLiteral("interrupted during ") : QString()) + message);
}

link::OperationData TargetJob::resultData() const {
    link::OperationData data = m_operation && !m_acting ? m_operation->data() : m_looked;
    if (m_operation && m_acting) {
        data = mergedData(m_operation->data(), m_looked);
    }
    if (m_request.programSettings) {
        data.profile = m_request.profileNotes;
    }
    return data;
}

void TargetJob::end(bool ok, Reason reason, const QString &step, const QString &message) {
    if (m_ended) {
        return;
    }
    m_ended = true;
    if (m_link && m_link->isConnected()) {
        m_link->disconnectReader();
    }
    TargetResult result;
    result.target = m_target.text;
    result.ok = ok;
    result.exit = reason;
    result.message = message;
    result.seconds = double(m_clock.nsecsElapsed()) / 1e9;
    result.data = resultData();
    result.command = m_request.command;
    result.step = step;
    result.status = statusFor(result);
    emit finished(result);
}

} // namespace varo::cli
