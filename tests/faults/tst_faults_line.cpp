#include "linefaults.h"

#include "config/commandtable.h"
#include "config/configmodel.h"
#include "config/defaults.h"
#include "config/programrun.h"
#include "config/progresslog.h"
#include "utilities/maintenancecommands.h"
#include "utilities/uploadsession.h"
#include "utilities/utilitytexts.h"

#include <QFile>
#include <QTemporaryDir>

using namespace varo;
using namespace std::chrono_literals;
using Medium = FaultRig::Medium;
using Outcome = link::ResultCode;

namespace {

QByteArray fileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray lines(const QList<QByteArray> &records) {
    QByteArray all;
    for (const QByteArray &r : records)
        all += r + "\r\n";
    return all;
}

const QList<QByteArray> kRecords{"0001,2010-03-05", "<b>bold</b>", "A&amp;B",
                                 QByteArray("n\x00l\x80\xff", 5), "last"};

// A programming run on the rig; the outcome, or nullopt when it did not start or end.
struct Programming {
    explicit Programming(FaultRig &rig)
        : run(&rig.link, &model, &log) {
        config::loadDefaults(model);
    }
    std::optional<Outcome> program() {
        QSignalSpy finished(&run, &config::ProgramRun::finished);
        if (!run.start() || (finished.isEmpty() && !finished.wait(20000)))
            return std::nullopt;
        return finished.first().first().value<link::OperationResult>().code;
    }
    QStringList picture1() const { return log.lines(config::ProgressList::Left); }

    config::ConfigModel model;
    config::ProgressLog log;
    config::ProgramRun run;
};

// Runs an upload into `path` and waits for its end.
struct Upload {
    Upload(FaultRig &rig, const QString &path)
        : session(&rig.link) {
        session.setFileChooser([path](utilities::UploadSession::FileChosen done) { done(path); });
        QObject::connect(&session, &utilities::UploadSession::statusTextChanged,
                         [this](const QString &t) { status = t; });
    }
    bool run() {
        QSignalSpy finished(&session, &utilities::UploadSession::finished);
        return session.start() && (!finished.isEmpty() || finished.wait(20000));
    }
    utilities::UploadSession session;
    QString status;
};

} // namespace

class TestLineFaults : public QObject {
    Q_OBJECT
private slots:
    void programRun_data();
    void programRun();
    void firmwareButton_data();
    void firmwareButton();
    void upload_data();
    void upload();
    void overlongReplyWithCr_data();
    void overlongReplyWithCr();

private:
    QTemporaryDir m_dir;
};

void TestLineFaults::programRun_data() {
    addFaultRows({Fault::DropByReader, Fault::DropWhileWaiting, Fault::Garbage, Fault::SingleBytes,
                  Fault::JustInTime, Fault::TooLate, Fault::Flood, Fault::HighBytes});
}

void TestLineFaults::programRun() {
    QFETCH(Medium, medium);
    QFETCH(Fault, fault);
    FaultRig rig;
    QVERIFY(rig.connect(medium));
    armFault(rig, fault, 5);
    QSignalSpy linkErrors(&rig.link, &link::ReaderLink::linkErrorOccurred);
    Programming first(rig);
    const std::optional<Outcome> outcome = first.program();
    QVERIFY(outcome.has_value());
    const QStringList picture1 = first.picture1();

    switch (fault) {
    case Fault::DropByReader:
    case Fault::DropWhileWaiting: {
        // The run stops; the link error itself is the message the technician sees.
        QCOMPARE(*outcome, Outcome::LinkError);
        QVERIFY(!linkErrors.isEmpty());
        QVERIFY(!linkErrors.first().first().toString().isEmpty());
        // ...and the progress list ends saying so.
        const QString reason = linkErrors.first().first().toString();
        const QStringList p1 = first.log.lines(config::ProgressList::Left);
        const QStringList p2 = first.log.lines(config::ProgressList::Right);
        QVERIFY(p1.last().endsWith(reason) || p2.value(p2.size() - 1).endsWith(reason));
        break;
    }
    case Fault::TooLate: {
        // The fifth command (step 4) goes unanswered in time: its own message ends its list.
        QCOMPARE(*outcome, Outcome::Timeout);
        const config::CommandRow &row = config::commandTable().at(4);
        QCOMPARE(first.log.lines(row.list).last(), row.timeoutMessage);
        break;
    }
    case Fault::Flood:
        QCOMPARE(*outcome, Outcome::Timeout);
        break;
    case Fault::HighBytes:
        QCOMPARE(*outcome, Outcome::Ok);
        QVERIFY(picture1.contains(QString::fromLatin1("VARO " + kOddText)));
        break;
    case Fault::Garbage:
        QCOMPARE(*outcome, Outcome::Ok);
        QVERIFY(picture1.contains(QString::fromLatin1(QByteArray("\x1b[2J#~\x01VARO SIM V1.0"))));
        break;
    default:
        QCOMPARE(*outcome, Outcome::Ok);
        QVERIFY(picture1.contains(QStringLiteral("VARO SIM V1.0")));
    }
    QVERIFY(!first.run.isActive());
    QVERIFY(recover(rig, fault));

    Programming second(rig);
    QCOMPARE(second.program(), std::optional(Outcome::Ok));
    QVERIFY(second.picture1().contains(QStringLiteral("VARO SIM V1.0")));
    QVERIFY(!rig.link.isBusy());
}

void TestLineFaults::firmwareButton_data() {
    addFaultRows({Fault::DropByReader, Fault::DropWhileWaiting, Fault::Garbage, Fault::SingleBytes,
                  Fault::JustInTime, Fault::TooLate, Fault::Flood, Fault::HighBytes});
}

void TestLineFaults::firmwareButton() {
    QFETCH(Medium, medium);
    QFETCH(Fault, fault);
    FaultRig rig;
    QVERIFY(rig.connect(medium));
    armFault(rig, fault, 1);
    utilities::MaintenanceCommands commands(&rig.link);
    QString status = QStringLiteral("earlier");
    QString field = QStringLiteral("untouched");
    connect(&commands, &utilities::MaintenanceCommands::statusTextChanged,
            [&status](const QString &t) { status = t; });
    connect(&commands, &utilities::MaintenanceCommands::firmwareIdChanged,
            [&field](const QString &t) { field = t; });

    QSignalSpy linkErrors(&rig.link, &link::ReaderLink::linkErrorOccurred);
    QVERIFY(commands.run(utilities::Verb::ReadFirmwareId));
    QVERIFY(waitUntil([&] { return !commands.isBusy(); }, 15000));
    switch (fault) {
    case Fault::DropByReader:
    case Fault::DropWhileWaiting:
        // A link error ends the click quietly; a timeout says so.
        QVERIFY2(status == QStringLiteral("earlier") || status == utilities::texts::kNoResponse,
                 qPrintable(status));
        QCOMPARE(field, QString());
        QVERIFY(!linkErrors.isEmpty());
        break;
    case Fault::TooLate:
    case Fault::Flood:
        QCOMPARE(status, utilities::texts::kNoResponse);
        QCOMPARE(field, QString());
        break;
    case Fault::Garbage:
        QVERIFY2(field.endsWith(QStringLiteral("VARO SIM V1.0")), qPrintable(field));
        break;
    case Fault::HighBytes:
        QVERIFY2(field.startsWith(QStringLiteral("VARO <b>")), qPrintable(field));
        QVERIFY2(field.contains(QStringLiteral("&amp;")), qPrintable(field));
        break;
    default:
        QCOMPARE(field, QStringLiteral("VARO SIM V1.0"));
    }
    QVERIFY(recover(rig, fault));

    QVERIFY(commands.run(utilities::Verb::ReadFirmwareId));
    QVERIFY(waitUntil([&] { return !commands.isBusy(); }, 5000));
    QCOMPARE(field, QStringLiteral("VARO SIM V1.0"));
    QVERIFY(!rig.link.isBusy());
}

void TestLineFaults::upload_data() {
    addFaultRows({Fault::DropByReader, Fault::DropWhileWaiting, Fault::Garbage, Fault::SingleBytes,
                  Fault::JustInTime, Fault::TooLate, Fault::Flood, Fault::HighBytes});
}

void TestLineFaults::upload() {
    QFETCH(Medium, medium);
    QFETCH(Fault, fault);
    FaultRig rig;
    rig.sim.options().records = kRecords;
    rig.sim.options().recordCount = 0;
    QVERIFY(rig.connect(medium));
    // Commands: "lr", then one "l" per record; the fault meets the third record.
    if (fault == Fault::DropByReader)
        rig.sim.options().closeAfterRecords = 3;
    else
        armFault(rig, fault, 4);
    const QString path = m_dir.filePath(
        QString::fromLatin1(QTest::currentDataTag()).replace(QRegularExpression("[^a-z0-9]"), "_") +
        ".txt");
    Upload first(rig, path);
    QSignalSpy linkErrors(&rig.link, &link::ReaderLink::linkErrorOccurred);
    QVERIFY(first.run());
    QCOMPARE(!linkErrors.isEmpty(), dropsLink(fault));
    const qint64 saved = first.session.recordCount();
    // Every record received before the fault is in the file, byte for byte, and nothing else.
    if (saved > 0 || QFile::exists(path))
        QCOMPARE(fileBytes(path), lines(kRecords.mid(0, saved)));

    switch (fault) {
    case Fault::DropByReader:
        // Over a pseudo-terminal the hang-up may discard the last record still in the
        // terminal's queue; what arrived is in the file (checked above).
        if (medium == Medium::Tcp)
            QCOMPARE(saved, 3);
        else
            QVERIFY(saved == 2 || saved == 3);
        QCOMPARE(first.status, utilities::uploadedText(saved));
        break;
    case Fault::DropWhileWaiting:
        QCOMPARE(saved, 2);
        break;
    case Fault::Garbage:
        QCOMPARE(first.status, utilities::texts::kInvalidResponse);
        QCOMPARE(saved, 0);
        break;
    case Fault::TooLate:
    case Fault::Flood:
        QCOMPARE(first.status, utilities::texts::kNoResponse);
        QCOMPARE(saved, 2);
        break;
    default:
        QCOMPARE(first.status, utilities::completeText(kRecords.size()));
        QCOMPARE(saved, kRecords.size());
    }
    QVERIFY(!first.session.isRunning());
    QVERIFY(recover(rig, fault));

    rig.sim.options().records = kRecords;
    rig.sim.options().recordCount = 0;
    const QString again = path + ".again";
    Upload second(rig, again);
    QVERIFY(second.run());
    QCOMPARE(second.status, utilities::completeText(kRecords.size()));
    QCOMPARE(fileBytes(again), lines(kRecords));
    QVERIFY(!rig.link.isBusy());
}

void TestLineFaults::overlongReplyWithCr_data() {
    QTest::addColumn<Medium>("medium");
    QTest::newRow("tcp") << Medium::Tcp;
    QTest::newRow("pty") << Medium::Pty;
}

// A line longer than the reply cap fails like a timeout, its CR following or not, and the
// rest of that line (over TCP still waiting when the next exchange begins) is no reply either.
void TestLineFaults::overlongReplyWithCr() {
    QFETCH(Medium, medium);
    FaultRig rig;
    rig.sim.options().firmwareId = QByteArray(256 * 1024, 'A');
    QVERIFY(rig.connect(medium));
    QCOMPARE(rig.exchangeV(), QByteArray("<timeout>"));
    QVERIFY(rig.bounded());
    QVERIFY(!rig.link.isBusy());

    QVERIFY(rig.settle());
    rig.sim.options().firmwareId = "VARO SIM V1.0";
    const QByteArray next = rig.exchangeV();
    // A CR-ended tail that arrived between waits must not come back whole as the next reply.
    QVERIFY2(next.size() <= link::ReaderLink::kMaxReplyBytes,
             qPrintable(QString::number(next.size())));
    QVERIFY(rig.bounded());
}

QTEST_GUILESS_MAIN(TestLineFaults)
#include "tst_faults_line.moc"
