#include "common/privatefile.h"
#include "support/simlink.h"
#include "utilities/uploadsession.h"
#include "utilities/utilitytexts.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace varo::utilities;
using namespace std::chrono_literals;
using Medium = SimLink::Medium;

namespace {
QByteArray fileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QByteArray lines(const QList<QByteArray> &records) {
    QByteArray all;
    for (const QByteArray &r : records)
        all += r + "\r\n";
    return all;
}

// Runs one upload into `path` and waits for its end.
struct Upload {
    Upload(SimLink &sl, const QString &path)
        : session(&sl.link) {
        session.setFileChooser([path](UploadSession::FileChosen done) { done(path); });
        QObject::connect(&session, &UploadSession::statusTextChanged,
                         [this](const QString &t) { status = t; });
        QObject::connect(&session, &UploadSession::fileErrorOccurred,
                         [this](const QString &p, const QString &r) {
                             errorPath = p;
                             errorReason = r;
                         });
    }
    bool run(int timeoutMs = 5000) {
        QSignalSpy finished(&session, &UploadSession::finished);
        return session.start() && (finished.count() > 0 || finished.wait(timeoutMs));
    }
    UploadSession session;
    QString status = QStringLiteral("earlier text");
    QString errorPath;
    QString errorReason;
};
} // namespace

class TestUploadSession : public QObject {
    Q_OBJECT
private slots:
    void completes_data();
    void completes();
    void silenceKeepsTheRecordsSoFar();
    void linkLostKeepsTheRecordsSoFar();
    void countsBeyondSixteenBits();
    void readyReplyDecides_data();
    void readyReplyDecides();
    void fileErrors_data();
    void fileErrors();
    void fileFullKeepsWholeRecords();
    void stopsAtTheRecordLimit_data();
    void privateFileIsCreatedExclusively_data();
    void privateFileIsCreatedExclusively();
    void stopsAtTheRecordLimit();
    void disconnectWhileChoosingEndsTheUpload();

private:
    QTemporaryDir m_dir;
};

void TestUploadSession::completes_data() {
    QTest::addColumn<Medium>("medium");
    QTest::addColumn<QList<QByteArray>>("records");
    const QList<QByteArray> endLike{"END ", "end", "x\tEND", " END"};
    QTest::newRow("tcp: none") << Medium::Tcp << QList<QByteArray>{};
    QTest::newRow("tcp: END look-alikes are data") << Medium::Tcp << endLike;
    QTest::newRow("pty: none") << Medium::Pty << QList<QByteArray>{};
    QTest::newRow("pty: five") << Medium::Pty << QList<QByteArray>{"1", "22", "", "4444", "5,5"};
}

void TestUploadSession::completes() {
    QFETCH(Medium, medium);
    QFETCH(QList<QByteArray>, records);
    SimLink sl;
    sl.sim.options().records = records;
    sl.sim.options().recordCount = 0;
    QVERIFY(sl.connect(medium));
    // An existing file is replaced, not appended to.
    const QString path = m_dir.filePath(QStringLiteral("upload.txt"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(4096, 'o'));
    old.close();

    Upload upload(sl, path);
    QVERIFY(upload.run());
    QCOMPARE(upload.status, completeText(records.size()));
    QCOMPARE(fileBytes(path), lines(records));
    // It holds card numbers: the owner alone may read it, replaced or new.
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0600u);
    QCOMPARE(sl.sim.received(), "lr\r" + QByteArray("l\r").repeated(records.size() + 1));
    QVERIFY(!sl.link.isBusy());
}

void TestUploadSession::silenceKeepsTheRecordsSoFar() {
    SimLink sl(100ms);
    sl.sim.options().recordCount = 8;
    sl.sim.options().recordsBeforeSilence = 5;
    QVERIFY(sl.connect(Medium::Tcp));
    const QString path = m_dir.filePath(QStringLiteral("silence.txt"));
    Upload upload(sl, path);
    QVERIFY(upload.run());
    QCOMPARE(upload.status, QStringLiteral("No response from reader"));
    QCOMPARE(fileBytes(path).count("\r\n"), 5);
    QCOMPARE(upload.session.recordCount(), 5);
}

void TestUploadSession::linkLostKeepsTheRecordsSoFar() {
    SimLink sl;
    const QList<QByteArray> records{"A\x01\xff", "B", "C C", "D", "E"};
    sl.sim.options().records = records;
    sl.sim.options().closeAfterRecords = 3;
    QVERIFY(sl.connect(Medium::Tcp));
    const QString path = m_dir.filePath(QStringLiteral("lost.txt"));
    Upload upload(sl, path);
    QVERIFY(upload.run());
    QCOMPARE(fileBytes(path), lines(records.mid(0, 3)));
    QCOMPARE(upload.status, uploadedText(3));
    QVERIFY(!sl.link.isBusy());
}

void TestUploadSession::countsBeyondSixteenBits() {
    constexpr int kRecords = 40000;
    SimLink sl(2s);
    sl.sim.options().recordCount = kRecords;
    QVERIFY(sl.connect(Medium::Tcp));
    const QString path = m_dir.filePath(QStringLiteral("many.txt"));
    Upload upload(sl, path);
    QString last;
    QString beforeLast;
    connect(&upload.session, &UploadSession::statusTextChanged, this,
            [&](const QString &text) { beforeLast = std::exchange(last, text); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(upload.run(60000));
    qInfo("%d records in %lld ms", kRecords, clock.elapsed());
    QCOMPARE(upload.status, completeText(kRecords));
    QCOMPARE(beforeLast, uploadedText(kRecords));
    const QByteArray bytes = fileBytes(path);
    QCOMPARE(bytes.count("\r\n"), kRecords);
    QVERIFY(bytes.startsWith("REC00001,"));
}

void TestUploadSession::readyReplyDecides_data() {
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QString>("status");
    QTest::newRow("no reply") << true << "No response from reader";
    QTest::newRow("not OK") << false << "invalid response from reader";
}

void TestUploadSession::readyReplyDecides() {
    QFETCH(bool, silent);
    QFETCH(QString, status);
    SimLink sl(100ms);
    sl.sim.options().silent = silent;
    sl.sim.options().emptyReplies = true;
    QVERIFY(sl.connect(Medium::Pty));
    Upload upload(sl, {});
    bool asked = false;
    upload.session.setFileChooser([&asked](UploadSession::FileChosen done) {
        asked = true;
        done(std::nullopt);
    });
    QVERIFY(upload.run());
    QCOMPARE(upload.status, status);
    QVERIFY(!asked);
    QCOMPARE(sl.sim.received(), QByteArray("lr\r"));
}

void TestUploadSession::fileErrors_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<qsizetype>("linesSent"); // "l" requests before the error
    QFile plain(m_dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    QTest::newRow("disk full") << QStringLiteral("/dev/full") << qsizetype(1);
    QTest::newRow("parent is a file")
        << m_dir.filePath(QStringLiteral("plain/upload.txt")) << qsizetype(0);
    QTest::newRow("a folder") << m_dir.path() << qsizetype(0);
    const QString link = m_dir.filePath(QStringLiteral("link.txt"));
    QFile::remove(link);
    QVERIFY(QFile::link(m_dir.filePath(QStringLiteral("plain")), link));
    QTest::newRow("a symbolic link") << link << qsizetype(0);
}

void TestUploadSession::fileErrors() {
    QFETCH(QString, path);
    QFETCH(qsizetype, linesSent);
    SimLink sl;
    QVERIFY(sl.connect(Medium::Tcp));
    Upload upload(sl, path);
    QVERIFY(upload.run());
    QCOMPARE(upload.errorPath, path);
    QVERIFY(!upload.errorReason.isEmpty());
    QCOMPARE(upload.status, QStringLiteral("Upload stopped,  0 transactions saved"));
    QCOMPARE(sl.sim.received(), "lr\r" + QByteArray("l\r").repeated(linesSent));
    QVERIFY(!sl.link.isBusy());
}

void TestUploadSession::fileFullKeepsWholeRecords() {
    // A file size limit fails the third record part-way through.
    SimLink sl;
    sl.sim.options().records = {QByteArray(40, 'a'), QByteArray(40, 'b'), QByteArray(40, 'c')};
    QVERIFY(sl.connect(Medium::Tcp));
    const QString path = m_dir.filePath(QStringLiteral("limited.txt"));
    Upload upload(sl, path);
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limit = saved;
    limit.rlim_cur = 100;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool ran = upload.run();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(ran);
    QCOMPARE(upload.status, savedText(2));
    QCOMPARE(upload.errorPath, path);
    QCOMPARE(fileBytes(path), lines(sl.sim.options().records.mid(0, 2)));
}

void TestUploadSession::stopsAtTheRecordLimit_data() {
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("kept");
    QTest::addColumn<bool>("complete");
    // Limit 3.
    QTest::newRow("at the limit, then END") << 3 << 3 << true;
    QTest::newRow("one beyond") << 4 << 3 << false;
    QTest::newRow("endless") << 50 << 3 << false;
}

void TestUploadSession::stopsAtTheRecordLimit() {
    QFETCH(int, sent);
    QFETCH(int, kept);
    QFETCH(bool, complete);
    SimLink sl;
    sl.sim.options().recordCount = sent;
    QVERIFY(sl.connect(Medium::Tcp));
    const QString path = m_dir.filePath(QStringLiteral("limit.txt"));
    Upload upload(sl, path);
    upload.session.setMaxRecordsForTests(3);
    QSignalSpy finished(&upload.session, &UploadSession::finished);
    QVERIFY(upload.run());
    const auto result = finished.first().first().value<varo::link::OperationResult>();
    QCOMPARE(result.ok(), complete);
    QCOMPARE(upload.status, complete ? completeText(kept) : tooManyRecordsText(3));
    if (!complete) {
        QCOMPARE(result.code, varo::link::ResultCode::WrongReply);
        QVERIFY2(result.message.contains(QStringLiteral("more than 3 records")),
                 qPrintable(result.message));
    }
    QCOMPARE(fileBytes(path).count("\r\n"), kept);
    QCOMPARE(sl.sim.received(), "lr\r" + QByteArray("l\r").repeated(kept + 1));
    QVERIFY(!sl.link.isBusy());
    QCOMPARE(UploadSession::kMaxRecords, 99'999);
}

// The helper a report or upload writer uses to never overwrite: O_EXCL, no link followed, 0600.
void TestUploadSession::privateFileIsCreatedExclusively_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason"); // empty: created
    QFile existing(m_dir.filePath(QStringLiteral("existing.txt")));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("old records");
    existing.close();
    QFile::remove(m_dir.filePath(QStringLiteral("dangling")));
    QVERIFY(QFile::link(m_dir.filePath(QStringLiteral("nowhere")),
                        m_dir.filePath(QStringLiteral("dangling"))));
    QTest::newRow("new") << "fresh.txt"
                         << "";
    QTest::newRow("existing") << "existing.txt"
                              << "the file exists";
    QTest::newRow("dangling link") << "dangling"
                                   << "the file exists";
}

void TestUploadSession::privateFileIsCreatedExclusively() {
    QFETCH(QString, name);
    QFETCH(QString, reason);
    const QString path = m_dir.filePath(name);
    QFile file;
    const std::optional<QString> error = varo::createPrivateFile(file, path);
    QCOMPARE(error.value_or(QString()), reason);
    if (reason.isEmpty()) {
        QVERIFY(file.isOpen());
        QCOMPARE(file.write("x"), qint64(1));
        file.close();
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);
    } else {
        QVERIFY(!file.isOpen());
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("nowhere"))));
    }
    QFile old(m_dir.filePath(QStringLiteral("existing.txt")));
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old records"));
}

void TestUploadSession::disconnectWhileChoosingEndsTheUpload() {
    SimLink sl;
    QVERIFY(sl.connect(Medium::Tcp));
    UploadSession session(&sl.link);
    UploadSession::FileChosen later;
    session.setFileChooser([&later](UploadSession::FileChosen done) { later = std::move(done); });
    QVERIFY(session.start());
    QVERIFY(!session.start());
    QTRY_VERIFY(later);
    QVERIFY(sl.link.disconnectReader());
    QVERIFY(!session.isRunning());
    QVERIFY(!sl.link.isBusy());
    // The dialog's late answer starts nothing.
    later(m_dir.filePath(QStringLiteral("late.txt")));
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("late.txt"))));
    QCOMPARE(sl.sim.received(), QByteArray("lr\r"));
}

QTEST_GUILESS_MAIN(TestUploadSession)
#include "tst_upload_session.moc"
