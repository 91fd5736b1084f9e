#include "support/simlink.h"
#include "utilities/uploadsession.h"
#include "utilities/utilitytexts.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

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
