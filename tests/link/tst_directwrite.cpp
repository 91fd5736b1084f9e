#include "link/serialtransport.h"
#include "link/tcptransport.h"
#include "rawpty.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace varo::link;

namespace {

// A pattern that shows any reordering or loss.
QByteArray pattern(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

} // namespace

// Writes go to the system at once while nothing is queued; what the system cannot take yet
// is queued, and later writes wait behind it.
class TestDirectWrite : public QObject {
    Q_OBJECT
private slots:
    void serialWritesKeepTheirOrderBeyondTheDeviceBuffer();
    void tcpWritesKeepTheirOrderBeyondTheSocketBuffer();
    void writeToAVanishedPeerFailsTheLink();
};

void TestDirectWrite::serialWritesKeepTheirOrderBeyondTheDeviceBuffer() {
    RawPty pty;
    QVERIFY(pty.isValid());
    SerialTransport transport(pty.slavePath(), 115200);
    QSignalSpy opened(&transport, &Transport::opened);
    transport.open();
    QCOMPARE(opened.count(), 1);

    // Far more than a pseudo-terminal holds: the first write is taken only in part.
    const QByteArray big = pattern(256 * 1024);
    QVERIFY(transport.write(big));
    QVERIFY(transport.write("END"));
    QVERIFY(transport.write(QByteArray(1, '\r')));
    const QByteArray expected = big + "END\r";
    QCOMPARE(pty.readAtLeast(expected.size(), 10000), expected);
}

void TestDirectWrite::tcpWritesKeepTheirOrderBeyondTheSocketBuffer() {
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TcpTransport transport(QStringLiteral("127.0.0.1"), server.serverPort());
    QSignalSpy opened(&transport, &Transport::opened);
    transport.open();
    QTRY_COMPARE(opened.count(), 1);
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *peer = server.nextPendingConnection();

    // More than the socket buffers on both ends hold while the peer does not read.
    const QByteArray big = pattern(16 * 1024 * 1024);
    QVERIFY(transport.write(big));
    QVERIFY(transport.write("END\r"));
    const QByteArray expected = big + "END\r";
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += peer->readAll(), received.size() >= expected.size()),
                             20000);
    QCOMPARE(received.size(), expected.size());
    QVERIFY(received == expected);
}

void TestDirectWrite::writeToAVanishedPeerFailsTheLink() {
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TcpTransport transport(QStringLiteral("127.0.0.1"), server.serverPort());
    QSignalSpy opened(&transport, &Transport::opened);
    QSignalSpy failed(&transport, &Transport::failed);
    transport.open();
    QTRY_COMPARE(opened.count(), 1);
    QTRY_VERIFY(server.hasPendingConnections());
    delete server.nextPendingConnection();

    // Writes after the peer has gone end in failed() (not in SIGPIPE), once.
    QTRY_VERIFY_WITH_TIMEOUT((transport.write("V\r"), !failed.isEmpty()), 5000);
    QCOMPARE(failed.count(), 1);
    QVERIFY(!transport.isOpen());
}

QTEST_GUILESS_MAIN(TestDirectWrite)
#include "tst_directwrite.moc"
