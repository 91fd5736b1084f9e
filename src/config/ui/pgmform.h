#pragma once

#include "config/programrun.h"

#include <QPointer>
#include <QWidget>

class QPlainTextEdit;

namespace varo::link {
class ReaderLink;
} // namespace varo::link

namespace varo::config {

class ConfigModel;
class ProgressLog;
class ReaderReset;

// Screen `pgmform`: the two progress lists of the reset and of the programming run (the left
// one fills first), and the two operations themselves. When an operation ends while the user
// is on this screen, the focus goes to its final line, so a screen reader reads the outcome.
class PgmForm : public QWidget {
    Q_OBJECT
public:
    PgmForm(link::ReaderLink *link, ConfigModel *model, QWidget *parent = nullptr);

    // do_reset: sends the reset command at once. Returns false when the link is busy with
    // another operation (a notice names it).
    bool doReset();
    // do_program: starts the checks and the programming run; the run goes on after this returns
    // and ends with programFinished(). Returns false when the link is busy (a notice names the
    // operation, which may be a run already in progress).
    bool doProgram();
    bool isProgramming() const;

    ProgressLog *progressLog() const { return m_log; }

signals:
    void programFinished(const varo::link::OperationResult &result);
    void resetFinished(const varo::link::OperationResult &result);
    // A start was refused because `operation` holds the link.
    void refused(const QString &operation);

private:
    void showBusy(const QString &operation);
    void focusLastLine();

    ProgressLog *m_log;
    ProgramRun *m_run;
    ReaderReset *m_reset;
    QPlainTextEdit *m_leftList;
    QPlainTextEdit *m_rightList;
    QPointer<QPlainTextEdit> m_lastWritten;
};

} // namespace varo::config
