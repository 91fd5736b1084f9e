#pragma once

#include "operationresult.h"
#include "waitend.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace varo::link {

// Every operation that claims the link. Its display name names it in claims, trace rows and
// messages ("The link is busy: Program Reader is running.").
enum class Operation {
    ProgramReader,
    ResetReader,
    Utilities,
    Upload,
    Terminal,
    FirmwareDownload,
    Loopback,
};

// "Program Reader", "Reset Reader", "Utilities", "Upload Stored Data", "Terminal Mode",
// "Firmware download", "Loopback Test".
QString operationName(Operation operation);

// One command of a run and the reply it got (the line without its CR).
struct CommandReply {
    QString command;
    QString reply;

    bool operator==(const CommandReply &) const = default;
};

struct MemoryCounts {
    int totalSlots = 0;
    int used = 0;
    int uploaded = 0;
    QByteArray reply; // the reader's reply as received
};

struct UploadCounts {
    QString file;
    qint64 records = 0; // whole records written to the file
};

struct TransferCounts {
    qint64 acknowledged = 0; // bytes the reader has acknowledged
    qint64 total = 0;
};

struct EchoCounts {
    qint64 sent = 0;
    qint64 errors = 0;  // bytes whose echo was wrong or did not come, counted by the engine
    QString firstError; // the first of them as the test's line shows it (" 65: timeout")
};

// Whether a run that looked at the reader before acting went on to act: Acted (also every run
// that did not look first), Skipped (nothing to do: the clock within its drift, the version
// already there), WouldAct (a dry run that would have acted).
enum class Gate { Acted, Skipped, WouldAct };

// What a front end reports of the profile a programming run sends.
struct ProfileNotes {
    QStringList warnings;    // the checks' warnings, one line each
    QStringList missingKeys; // keys the profile lacks: those fields keep the defaults
    QStringList unknownKeys; // keys that name no field (ignored)
};

// What an operation read or did, typed; each engine fills the members it knows as it runs (an
// unset member was not read). Front ends turn it into their own text and records.
struct OperationData {
    std::optional<QString> firmwareId;   // the identification as shown
    QByteArray firmwareIdReply;          // its raw reply
    std::optional<QString> readerTime;   // as shown
    QByteArray readerTimeReply;          // its raw reply
    std::optional<MemoryCounts> memory;  // memory usage
    std::optional<QString> modeReply;    // the reply to a mode switch
    QList<CommandReply> replies;         // programming run: every command and its reply
    std::optional<UploadCounts> upload;  // records written and the file
    std::optional<TransferCounts> bytes; // firmware download
    std::optional<EchoCounts> echo;      // loopback test
    int step = 0; // a run of several steps: the step it is in, or ended in (0 = the first)
    // The reader time as a moment, when its reply was twelve digits forming a real date and
    // time (the reader keeps the wall-clock time it was set to, without a zone).
    std::optional<QDateTime> readerClock;
    // The reader time minus the workstation's wall-clock time when the reply came, in seconds.
    std::optional<qint64> clockOffsetSeconds;
    std::optional<QDateTime> timeSet;   // the moment the reader accepted as its new time
    std::optional<qint64> driftSeconds; // set-time: the reader time minus the time it would set
    Gate gate = Gate::Acted;
    std::optional<ProfileNotes> profile;
};

// The one face of every engine a front end starts on the link (programming run, reset,
// maintenance commands, upload, firmware download, loopback test).
//
// Refusal, the same for every engine: start() returns false and changes nothing when it cannot
// start. When the link is held by an operation, refused() names it (the display name); an
// engine asked again while its own run goes on may return false without it (MaintenanceCommands
// ignores clicks while busy). Nothing else is emitted then; the caller tells the user.
// Once start() has returned true, finished() comes exactly once, possibly from inside start()
// (front ends that end their own work on it connect with Qt::QueuedConnection).
// Threading: the link's thread; nothing blocks.
class ReaderOperation : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual Operation operation() const = 0;
    // Runs the operation as configured. See the refusal rule above.
    virtual bool start() = 0;
    // Asks a running operation to end early. True when it ends by itself (finished() follows,
    // Cancelled); false when only the link's end ends it: the caller then disconnects the link
    // and the operation finishes with Disconnected.
    virtual bool stop() { return false; }
    virtual bool isRunning() const = 0;
    // What the operation has read or done so far; complete when finished() comes.
    const OperationData &data() const { return m_data; }

signals:
    void refused(const QString &activeOperation);
    // data() holds new counts (bytes, records, echoes).
    void progressed();
    void finished(const varo::link::OperationResult &result);

protected:
    OperationData m_data;
};

// The result an operation ends with when the link ends under it: Disconnected ("Disconnected")
// or LinkError with the medium's reason.
OperationResult resultOf(const LinkEnd &end);
// The result of a reply wait: Ok with no message for a reply, Timeout with `timeoutMessage`,
// Disconnected ("Disconnected") or LinkError with the medium's reason.
OperationResult resultOf(const ReplyResult &reply, const QString &timeoutMessage = {});

} // namespace varo::link
