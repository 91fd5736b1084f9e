#pragma once

#include <QProcess>
#include <QSignalSpy>
#include <QString>
#include <QStringList>

// How one varo-cli run ended: its exit code (-1 when it did not start, crashed or hung) and
// what it printed.
struct Outcome {
    int code = -1;
    QString out;
    QString err;
};

// Runs varo-cli without blocking the event loop the simulators of the test run on.
inline Outcome
runVaroCli(const QStringList &arguments, int timeoutMs = 20000,
           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VARO_CLI_PATH), arguments);
    Outcome outcome;
    if (!process.waitForStarted(5000))
        return outcome;
    QSignalSpy finished(&process, &QProcess::finished);
    if (!finished.wait(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return outcome;
    }
    outcome.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = QString::fromUtf8(process.readAllStandardOutput());
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}
