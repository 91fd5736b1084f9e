// The firmware loader engine fed arbitrary loader replies, cut into arbitrary blocks, with time
// passing at arbitrary points (every wait is zero long, so a pass of the event loop ends it).
//
// Input: one byte choosing the profile (firmware or bootloader extension, TCP or serial) and
// one choosing the image, then events: a byte with the top bit set lets time pass; 0x40-0x7f
// delivers a reply token; below that, a length (0-63) and that many raw bytes.
//
// Whatever the replies, the bytes the engine writes must follow the loader protocol: entry
// sequence, start request, blocks in order with their own length and checksum, one block in
// flight, the end marker only after the last block, nothing after the end.

#include "fuzzinput.h"

#include "flash/firmwareloader.h"
#include "flash/loaderformat.h"
#include "link/readerlink.h"
#include "link/transport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <memory>

using namespace varo;
using varo::fuzz::FuzzInput;

namespace {

// A medium that records what is written and hands over what the test delivers.
class FakeTransport : public link::Transport {
public:
    void open() override {
        m_open = true;
        emit opened();
    }
    bool isOpen() const override { return m_open; }
    bool write(const QByteArray &bytes) override {
        if (!m_open)
            return false;
        written += bytes;
        return true;
    }
    void close() override { m_open = false; }
    void deliver(const QByteArray &bytes) { emit dataReceived(bytes); }

    QByteArray written;

private:
    bool m_open = false;
};

constexpr std::array<qsizetype, 10> kImageSizes{1, 33, 44, 45, 64, 95, 100, 144, 245, 1000};
const QDate kDate(2010, 3, 5);
const std::array<QByteArray, 16> kTokens{"TK", "YK", "K",   "B",  "T",   "Y", "KK", "KB",
                                         "N",  "BK", "TKK", "\r", "K\r", "",  "TB", "KKK"};

struct Images {
    QTemporaryDir dir;
    std::array<QString, kImageSizes.size()> paths;
    std::array<QByteArray, kImageSizes.size()> contents;

    Images() {
        quint32 state = 12345;
        for (std::size_t i = 0; i < kImageSizes.size(); ++i) {
            QByteArray bytes(kImageSizes[i], Qt::Uninitialized);
            for (char &b : bytes) {
                state = state * 1103515245u + 12345u;
                b = char(state >> 16);
            }
            paths[i] = dir.filePath(QStringLiteral("image%1.bin").arg(i));
            QFile file(paths[i]);
            if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
                fuzz::fail("cannot write the test images");
            contents[i] = bytes;
        }
    }
};

QCoreApplication &application() {
    static int argc = 1;
    static char name[] = "fuzz_loader_replies";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Checks the written stream against the protocol; returns whether the tail after the last
// block has been written in full.
bool checkWritten(const QByteArray &written, const flash::LoaderProfile &profile,
                  const QByteArray &data, const QByteArray &trailer, int *blocksWritten) {
    *blocksWritten = 0;
    if (written.isEmpty())
        return false;
    VARO_FUZZ_CHECK(written.startsWith(flash::kEntrySequence.left(written.size())));
    qsizetype at = flash::kEntrySequence.size();
    if (at >= written.size())
        return false;
    VARO_FUZZ_CHECK(written.at(at) == profile.startRequest);
    ++at;
    qsizetype offset = 0;
    while (at < written.size()) {
        const int length = quint8(written.at(at));
        if (length == 0) {
            VARO_FUZZ_CHECK(offset == data.size()); // the end marker follows the last block
            QByteArray expected;
            if (profile.trailerLength > 0)
                expected = trailer + flash::downloadDate(kDate);
            const QByteArray tail = written.mid(at + 1);
            VARO_FUZZ_CHECK(tail.startsWith(expected.left(tail.size())));
            const QByteArray fill = tail.mid(expected.size());
            VARO_FUZZ_CHECK(fill.count(flash::kFillByte) == fill.size());
            VARO_FUZZ_CHECK(fill.size() <= flash::kFillPassLength * profile.fillPasses);
            return tail.size() >= expected.size();
        }
        VARO_FUZZ_CHECK(length == qMin<qsizetype>(profile.blockSize, data.size() - offset));
        const QByteArray block = written.mid(at + 1, length);
        VARO_FUZZ_CHECK(block == data.mid(offset, block.size()));
        ++*blocksWritten;
        const qsizetype checksumAt = at + 1 + length;
        if (checksumAt >= written.size())
            break; // an unfinished block only while the engine is writing it
        VARO_FUZZ_CHECK(quint8(written.at(checksumAt)) == flash::blockChecksum(block));
        offset += length;
        at = checksumAt + 1;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size) {
    QCoreApplication &app = application();
    static const Images images;
    FuzzInput in(bytes, size);

    const std::uint8_t choice = in.byte();
    const bool tcp = choice & 1;
    const auto kind = (choice & 2) ? flash::DownloadKind::Boot2 : flash::DownloadKind::Firmware;
    const flash::LoaderProfile profile = flash::LoaderProfile::forDownload(kind, tcp);
    const std::size_t imageIndex = in.byte() % kImageSizes.size();
    const QByteArray &file = images.contents[imageIndex];
    const qsizetype dataLength = qMax<qsizetype>(0, file.size() - profile.trailerLength);
    const QByteArray data = file.left(dataLength);
    const QByteArray trailer = file.mid(dataLength);

    link::ReaderLink link;
    link::LinkSettings settings;
    settings.mode = tcp ? link::LinkMode::Tcp : link::LinkMode::Serial;
    FakeTransport *medium = nullptr;
    link.setTransportFactory([&medium](const link::LinkSettings &) {
        auto transport = std::make_unique<FakeTransport>();
        medium = transport.get();
        return std::unique_ptr<link::Transport>(std::move(transport));
    });
    link.connectReader(settings);
    VARO_FUZZ_CHECK(link.isConnected() && medium);

    auto loader = std::make_unique<flash::FirmwareLoader>(&link);
    flash::LoaderTimings timings;
    timings.replyTimeout = timings.boot2ReadyTimeout = std::chrono::milliseconds(0);
    timings.tcpEntryPause = timings.serialEntryPause = std::chrono::milliseconds(0);
    timings.boot2SerialEntryPause = std::chrono::milliseconds(0);
    loader->setTimings(timings);
    loader->setClock([] { return kDate; });

    int finishes = 0;
    QString message;
    qsizetype writtenAtFinish = -1;
    int acknowledgements = 0;
    QObject::connect(loader.get(), &flash::FirmwareLoader::finished, &app,
                     [&](const link::OperationResult &result) {
                         ++finishes;
                         message = result.message;
                         writtenAtFinish = medium->written.size();
                     });
    QObject::connect(loader.get(), &flash::FirmwareLoader::progressChanged, &app,
                     [&](qint64 acknowledged, qint64) {
                         if (acknowledged > 0)
                             ++acknowledgements;
                     });

    VARO_FUZZ_CHECK(loader->start(profile, images.paths[imageIndex]));
    while (!in.atEnd()) {
        const std::uint8_t event = in.byte();
        if (event & 0x80) {
            QCoreApplication::processEvents();
        } else {
            medium->deliver((event & 0x40) ? kTokens[event & 0x0f] : in.bytes(event & 0x3f));
            QCoreApplication::sendPostedEvents();
        }
        int blocks = 0;
        const bool tailWritten = checkWritten(medium->written, profile, data, trailer, &blocks);
        // Stop and wait: a block goes out only once the one before it was acknowledged.
        VARO_FUZZ_CHECK(blocks <= acknowledgements + 1);
        VARO_FUZZ_CHECK(finishes <= 1);
        if (finishes == 1) {
            VARO_FUZZ_CHECK(!loader->isRunning());
            VARO_FUZZ_CHECK(medium->written.size() == writtenAtFinish);
            if (message == flash::texts::kComplete)
                VARO_FUZZ_CHECK(tailWritten && acknowledgements * profile.blockSize >= data.size());
        }
    }
    loader.reset(); // a download still running is abandoned here
    VARO_FUZZ_CHECK(!link.isBusy());
    return 0;
}
