#include "sim/readersimulator.h"

#include "sim/replyscheduler.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <array>
#include <utility>

namespace varo::sim {

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
const QByteArray kEntrySequence("\x00\x1b\x0d\x00\x1b\x0d", 6);
const QByteArray kResetCommand("\0U1", 3);
const QByteArray kRestartCommand("\0X", 2);

// Held bytes that could start an entry sequence are released as ordinary bytes after this long.
constexpr int kEntryHoldMs = 300;
constexpr int kStreamTickMs = 10;

// Line commands whose code is the whole command.
const std::array<QByteArray, 11> kExactCodes{"V",  "t",  "z",  "lc",          "lr",           "l",
                                             "|5", "|1", "|2", kResetCommand, kRestartCommand};
// Line commands whose code is the first character and whose payload follows it.
const QByteArray kPayloadCodes("\\gh+");

bool isDigits(const QByteArray &text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

QString printable(const QByteArray &bytes) {
    QString text;
    for (const char c : bytes) {
        const auto byte = quint8(c);
        if (byte >= 0x20 && byte < 0x7f && c != '<') {
            text += QLatin1Char(c);
        } else {
            text += QStringLiteral("<%1>").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
        }
    }
    return text;
}

} // namespace

ReaderSimulator::ReaderSimulator(SimOptions options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options)) {
    m_out = std::make_unique<ReplyScheduler>(
        [this](const QByteArray &bytes) { emit bytesToSend(bytes); },
        [this] { emit closeRequested(); },
        [this] { return std::max(0, m_options.lineRateBaud / 10); });

    m_entryHoldTimer = new QTimer(this);
    m_entryHoldTimer->setSingleShot(true);
    connect(m_entryHoldTimer, &QTimer::timeout, this, &ReaderSimulator::flushHeldEntryBytes);

    m_streamTimer = new QTimer(this);
    m_streamTimer->setInterval(kStreamTickMs);
    connect(m_streamTimer, &QTimer::timeout, this, &ReaderSimulator::streamTick);

    m_clockOption = m_options.clock;
    m_clockBase = m_options.clock;
    m_clockTimer.start();
}

ReaderSimulator::~ReaderSimulator() = default;

SimOptions &ReaderSimulator::options() {
    return m_options;
}

const SimOptions &ReaderSimulator::options() const {
    return m_options;
}

// ---------------------------------------------------------------------------------------------
// Input

void ReaderSimulator::feed(const QByteArray &bytes) {
    if (bytes.isEmpty()) {
        return;
    }
    if (m_received.size() < kMaxRecordedBytes) {
        m_received += bytes.left(kMaxRecordedBytes - m_received.size());
    }
    emit bytesReceived(bytes);
    // A fault may drop the link half-way through; the rest of this read died with it.
    const quint64 link = m_linkGeneration;
    for (const char byte : bytes) {
        if (m_linkGeneration != link) {
            break;
        }
        route(byte);
    }
    if (!m_entryHeld.isEmpty()) {
        m_entryHoldTimer->start(kEntryHoldMs);
    }
}

// Finds entry sequences in the stream. Outside the loader's data phases, bytes that may begin
// one are held back until it is complete (the pieces are then never seen as commands) or
// broken. In loopback mode nothing is held: every byte is echoed at once and only tracked.
void ReaderSimulator::route(char byte) {
    switch (m_mode) {
    case Mode::LoaderBlocks:
    case Mode::LoaderTrailer:
        handleByte(byte);
        return;
    case Mode::Loopback:
        m_entryTrack = (byte == kEntrySequence.at(m_entryTrack)) ? m_entryTrack + 1
                       : (byte == kEntrySequence.at(0))          ? 1
                                                                 : 0;
        handleByte(byte);
        if (m_entryTrack == kEntrySequence.size()) {
            enterLoader();
        }
        return;
    case Mode::Line:
    case Mode::LoaderCommand:
    case Mode::LoaderFill:
        break;
    }
    m_entryHeld += byte;
    while (!m_entryHeld.isEmpty() && !kEntrySequence.startsWith(m_entryHeld)) {
        const char first = m_entryHeld.at(0);
        m_entryHeld.remove(0, 1);
        handleByte(first);
        if (m_mode == Mode::LoaderBlocks || m_mode == Mode::LoaderTrailer ||
            m_mode == Mode::Loopback) {
            // The released byte opened a data phase: what is still held belongs to it.
            const QByteArray rest = std::exchange(m_entryHeld, {});
            for (const char c : rest) {
                route(c);
            }
            return;
        }
    }
    if (m_entryHeld == kEntrySequence) {
        m_entryHeld.clear();
        enterLoader();
    }
}

void ReaderSimulator::flushHeldEntryBytes() {
    const QByteArray held = std::exchange(m_entryHeld, {});
    for (const char byte : held) {
        handleByte(byte);
    }
}

void ReaderSimulator::handleByte(char byte) {
    switch (m_mode) {
    case Mode::Line:
        handleLineByte(byte);
        break;
    case Mode::LoaderCommand:
        handleLoaderCommand(byte);
        break;
    case Mode::LoaderBlocks:
        handleBlockByte(quint8(byte));
        break;
    case Mode::LoaderTrailer:
        handleTrailerByte(byte);
        break;
    case Mode::LoaderFill:
        handleFillByte(byte);
        break;
    case Mode::Loopback:
        handleEchoByte(byte);
        break;
    }
}

void ReaderSimulator::linkReset() {
    ++m_linkGeneration;
    m_out->clear();
    m_mode = Mode::Line;
    m_line.clear();
    m_crRun = 0;
    m_entryHeld.clear();
    m_entryTrack = 0;
    m_entryHoldTimer->stop();
    m_blockLength = -1;
    m_block.clear();
}

// ---------------------------------------------------------------------------------------------
// Line mode

void ReaderSimulator::handleLineByte(char byte) {
    if (m_options.echoTyped) {
        m_out->enqueue(QByteArray(1, byte));
    }
    if (byte == kLf) {
        return;
    }
    if (byte != kCr) {
        if (m_line.size() < kMaxLineBytes) {
            m_line += byte;
        }
        return;
    }
    const QByteArray command = std::exchange(m_line, {});
    if (!command.isEmpty()) {
        m_crRun = 0;
        handleCommand(command);
        return;
    }
    ++m_wakeups;
    if (++m_crRun == 2) {
        m_crRun = 0;
        if (!m_options.wakeupReply.isEmpty()) {
            m_out->enqueue(m_options.wakeupReply);
        }
    }
}

QByteArray ReaderSimulator::codeOf(const QByteArray &command) {
    for (const QByteArray &code : kExactCodes) {
        if (command == code) {
            return code;
        }
    }
    if (command.size() >= 4 && command.at(0) == 'X' && isDigits(command.mid(1, 3))) {
        return command.left(4);
    }
    return command.left(1);
}

void ReaderSimulator::handleCommand(const QByteArray &command) {
    const int number = ++m_commandCount;
    const QByteArray code = codeOf(command);
    const QByteArray payload = command.mid(code.size());
    if (m_commands.size() >= kMaxRecordedCommands) {
        m_commands.remove(0, kMaxRecordedCommands / 2);
    }
    m_commands.append(command);
    if (m_values.size() >= kMaxRecordedCommands) {
        m_values.remove(0, kMaxRecordedCommands / 2);
    }
    m_values.append({code, payload});
    emit commandReceived(command);

    const int closeAfter = m_options.closeAfterCommands;
    if (closeAfter >= 0 && number > closeAfter) {
        m_out->enqueueClose();
        return;
    }

    bool closeAfterRecord = false;
    std::optional<QByteArray> answer;
    const bool exact =
        std::find(kExactCodes.cbegin(), kExactCodes.cend(), code) != kExactCodes.cend();
    if (exact && !payload.isEmpty()) {
        answer = QByteArray("?");
    } else if (code == "l") {
        answer = uploadNext(&closeAfterRecord);
    } else {
        answer = answerFor(code, payload);
    }

    const bool silenced =
        m_options.silent ||
        (!m_options.silentOnCode.isEmpty() && command.startsWith(m_options.silentOnCode)) ||
        (m_options.silentAfterCommands >= 0 && number > m_options.silentAfterCommands);
    if (answer && !silenced) {
        if (m_options.streamWithoutCr > 0) {
            const qint64 size = std::exchange(m_options.streamWithoutCr, 0);
            QByteArray flood(size, '\0');
            for (qint64 i = 0; i < size; ++i) {
                flood[i] = char('0' + i % 10);
            }
            m_out->enqueue(m_options.garbageBeforeReply + flood, m_options.replyDelayMs,
                           m_options.pieceSize, m_options.pieceGapMs);
        } else {
            reply(m_options.emptyReplies ? QByteArray() : *answer);
        }
    }
    if (closeAfterRecord || (closeAfter >= 0 && number == closeAfter)) {
        m_out->enqueueClose();
    }
}

// The reply to a line command other than "l"; nullopt when the reader sends nothing.
std::optional<QByteArray> ReaderSimulator::answerFor(const QByteArray &code,
                                                     const QByteArray &payload) {
    if (code == kResetCommand || code == kRestartCommand) {
        if (code == kRestartCommand) {
            m_uploadIndex = 0;
        }
        return std::nullopt;
    }
    if (code == "V") {
        return m_options.firmwareId;
    }
    if (code.size() == 4 && code.at(0) == 'X') {
        const int number = code.mid(1).toInt();
        if (number >= 1 && number <= 102) {
            return m_options.ackReply;
        }
        return QByteArray("?");
    }
    if (code == "\\" || code == "g" || code == "h") {
        return m_options.ackReply;
    }
    if (code == "|5" || code == "|1" || code == "|2") {
        return QByteArray("OK");
    }
    if (code == "t") {
        return now().toString(QStringLiteral("yyMMddHHmmss")).toLatin1();
    }
    if (code == "+") {
        return setClock(payload);
    }
    if (code == "z") {
        const auto field = [](int value) {
            return QByteArray::number(value).rightJustified(5, '0');
        };
        return field(m_options.totalSlots) + field(m_options.used) + field(m_options.uploaded);
    }
    if (code == "lc") {
        m_recordsCleared = true;
        m_uploadIndex = 0;
        m_options.used = 0;
        m_options.uploaded = 0;
        return QByteArray("OK");
    }
    if (code == "lr") {
        m_uploadIndex = 0;
        return QByteArray("OK");
    }
    return QByteArray("?");
}

// "+yymmddhhmmssw": sets the clock when the digits form a real moment and w is its weekday.
QByteArray ReaderSimulator::setClock(const QByteArray &payload) {
    if (payload.size() != 13 || !isDigits(payload)) {
        return "E";
    }
    const auto two = [&payload](int at) { return payload.mid(at, 2).toInt(); };
    const QDate date(2000 + two(0), two(2), two(4));
    const QTime time(two(6), two(8), two(10));
    const int weekday = payload.at(12) - '0';
    if (!date.isValid() || !time.isValid() || date.dayOfWeek() != weekday) {
        return "E";
    }
    now(); // picks up a changed options().clock before it is overridden
    m_clockBase = QDateTime(date, time);
    m_clockTimer.restart();
    return "O";
}

std::optional<QByteArray> ReaderSimulator::uploadNext(bool *closeAfter) {
    if (m_options.recordsBeforeSilence >= 0 && m_lAnswers >= m_options.recordsBeforeSilence) {
        return std::nullopt;
    }
    ++m_lAnswers;
    // A reader counts a record as uploaded once it has sent it.
    if (m_uploadIndex >= recordTotal()) {
        m_options.uploaded = std::max(m_options.uploaded, m_options.used);
        return "END";
    }
    const QByteArray record = recordAt(m_uploadIndex++);
    m_options.uploaded = std::max(m_options.uploaded, std::min(m_options.used, m_uploadIndex));
    ++m_recordsSent;
    *closeAfter = m_options.closeAfterRecords >= 0 && m_recordsSent >= m_options.closeAfterRecords;
    return record;
}

void ReaderSimulator::reply(const QByteArray &text) {
    m_out->enqueue(m_options.garbageBeforeReply + text + m_options.replyTerminator,
                   m_options.replyDelayMs, m_options.pieceSize, m_options.pieceGapMs);
}

int ReaderSimulator::recordTotal() const {
    if (m_recordsCleared) {
        return 0;
    }
    return m_options.records.isEmpty() ? std::max(0, m_options.recordCount)
                                       : int(m_options.records.size());
}

// Generated records look like a card transaction: sequence, time stamp, card number.
QByteArray ReaderSimulator::recordAt(int index) const {
    if (!m_options.records.isEmpty()) {
        return m_options.records.at(index);
    }
    const QDateTime stamp = m_options.clock.addSecs(-60LL * (recordTotal() - index));
    return "REC" + QByteArray::number(index + 1).rightJustified(5, '0') + ',' +
           stamp.toString(QStringLiteral("yyMMddHHmmss")).toLatin1() + ',' +
           QByteArray::number(1000000 + 37 * index).rightJustified(10, '0');
}

QDateTime ReaderSimulator::now() const {
    // A test may move the clock through options() at any time.
    if (m_options.clock != m_clockOption) {
        m_clockOption = m_options.clock;
        m_clockBase = m_options.clock;
        m_clockTimer.restart();
    }
    return m_clockBase.addMSecs(m_clockTimer.elapsed());
}

// ---------------------------------------------------------------------------------------------
// Loader

void ReaderSimulator::enterLoader() {
    ++m_entrySequences;
    m_mode = Mode::LoaderCommand;
    m_line.clear();
    m_crRun = 0;
    m_entryTrack = 0;
}

void ReaderSimulator::handleLoaderCommand(char byte) {
    if (byte == '*') {
        m_mode = Mode::Loopback;
        m_echoed = 0;
        m_entryTrack = 0;
        return;
    }
    if (byte != 'B' && byte != 'w') {
        // Not a loader request: the utility has gone back to line commands.
        m_mode = Mode::Line;
        handleLineByte(byte);
        return;
    }
    m_loaderCommand = QByteArray(1, byte);
    m_loaderData.clear();
    m_loaderTrailer.clear();
    m_loaderDate.clear();
    m_block.clear();
    m_blockLength = -1;
    m_blocksSeen = 0;
    m_loaderBlocks = 0;
    m_rejectedBlocks = 0;
    m_fillPasses = 0;
    m_fillCount = 0;
    m_loaderComplete = false;
    if (m_options.noReadyReply) {
        // A loader that does not answer has not started: nothing that follows is a block.
        m_mode = Mode::Line;
        return;
    }
    m_mode = Mode::LoaderBlocks;
    loaderAnswer(byte == 'B' ? "TK" : "YK");
}

void ReaderSimulator::handleBlockByte(quint8 byte) {
    if (m_blockLength < 0) {
        if (byte == 0) {
            if (m_loaderCommand == "B") {
                m_mode = Mode::LoaderTrailer;
            } else {
                m_loaderComplete = true;
                m_mode = Mode::Line;
                if (!m_options.noFinalB) {
                    loaderAnswer("B");
                }
                emit loaderFinished();
            }
            return;
        }
        m_blockLength = byte;
        m_block.clear();
        return;
    }
    if (m_block.size() < m_blockLength) {
        m_block += char(byte);
        return;
    }
    // `byte` is the checksum.
    const int blockNumber = ++m_blocksSeen;
    const int blockSize = m_loaderCommand == "B" ? kFlashBlockSize : kBootBlockSize;
    quint8 sum = 0;
    for (const char c : std::as_const(m_block)) {
        sum ^= quint8(c);
    }
    const bool valid = m_blockLength <= blockSize && sum == byte;
    m_blockLength = -1;
    if (blockNumber == m_options.silentAtBlock) {
        loaderFailed();
        return;
    }
    if (!valid || blockNumber == m_options.wrongAckAtBlock) {
        loaderAnswer("N");
        loaderFailed();
        return;
    }
    ++m_loaderBlocks;
    if (m_loaderData.size() + m_block.size() <= kMaxLoaderBytes) {
        m_loaderData += m_block;
    }
    loaderAnswer("K");
}

void ReaderSimulator::handleTrailerByte(char byte) {
    if (m_loaderTrailer.size() < kTrailerSize) {
        m_loaderTrailer += byte;
        return;
    }
    m_loaderDate += byte;
    if (m_loaderDate.size() < kDateSize) {
        return;
    }
    m_loaderComplete = true;
    if (m_options.noFinalB) {
        m_mode = Mode::Line;
    } else {
        m_mode = Mode::LoaderFill;
        m_fillCount = 0;
        loaderAnswer("B");
    }
    emit loaderFinished();
}

void ReaderSimulator::handleFillByte(char byte) {
    if (quint8(byte) != 0xff) {
        m_mode = Mode::Line;
        m_fillCount = 0;
        handleLineByte(byte);
        return;
    }
    if (++m_fillCount == kFillPassSize) {
        m_fillCount = 0;
        ++m_fillPasses;
        loaderAnswer("B");
    }
}

void ReaderSimulator::loaderAnswer(const QByteArray &answer) {
    m_out->enqueue(answer, m_options.ackDelayMs, m_options.pieceSize, m_options.pieceGapMs);
}

// A block the loader refused or ignored ends the session; the utility gives up and starts
// again with an entry sequence or goes back to line commands.
void ReaderSimulator::loaderFailed() {
    ++m_rejectedBlocks;
    m_block.clear();
    m_blockLength = -1;
    m_mode = Mode::Line;
}

// ---------------------------------------------------------------------------------------------
// Loopback

void ReaderSimulator::handleEchoByte(char byte) {
    const qint64 index = ++m_echoed;
    if (index == m_options.dropEchoAt) {
        return;
    }
    QByteArray echo(1, byte);
    if (index == m_options.alterEchoAt) {
        echo[0] = char(quint8(byte) + 1);
    }
    if (index == m_options.doubleEchoAt) {
        echo += echo;
    }
    m_out->enqueue(echo);
}

// ---------------------------------------------------------------------------------------------
// Unsolicited stream

void ReaderSimulator::streamText(QByteArray text, int bytesPerSecond) {
    stopStream();
    if (bytesPerSecond <= 0) {
        emit bytesToSend(text);
        emit streamFinished();
        return;
    }
    m_streamText = std::move(text);
    m_streamRate = bytesPerSecond;
    m_streamPos = 0;
    m_streamClock.start();
    m_streamTimer->start();
    streamTick();
}

void ReaderSimulator::streamTick() {
    const qint64 due =
        std::min<qint64>(m_streamText.size(), m_streamClock.elapsed() * m_streamRate / 1000 + 1);
    if (due > m_streamPos) {
        const QByteArray chunk = m_streamText.mid(m_streamPos, due - m_streamPos);
        m_streamPos = due;
        emit bytesToSend(chunk);
    }
    if (m_streamPos >= m_streamText.size()) {
        stopStream();
        emit streamFinished();
    }
}

void ReaderSimulator::stopStream() {
    m_streamTimer->stop();
    m_streamText.clear();
    m_streamPos = 0;
}

bool ReaderSimulator::streaming() const {
    return m_streamTimer->isActive();
}

// ---------------------------------------------------------------------------------------------
// Recording and results

QByteArray ReaderSimulator::received() const {
    return m_received;
}

void ReaderSimulator::clearReceived() {
    m_received.clear();
    m_commands.clear();
    m_values.clear();
}

QList<QByteArray> ReaderSimulator::commands() const {
    return m_commands;
}

int ReaderSimulator::commandCount() const {
    return m_commandCount;
}

int ReaderSimulator::wakeups() const {
    return m_wakeups;
}

void ReaderSimulator::resetCounters() {
    m_commandCount = 0;
    m_lAnswers = 0;
    m_recordsSent = 0;
}

QByteArray ReaderSimulator::lastValue(const QByteArray &code) const {
    for (auto it = m_values.crbegin(); it != m_values.crend(); ++it) {
        if (it->first == code) {
            return it->second;
        }
    }
    return {};
}

bool ReaderSimulator::hasValue(const QByteArray &code) const {
    return std::any_of(m_values.cbegin(), m_values.cend(),
                       [&code](const auto &value) { return value.first == code; });
}

QString ReaderSimulator::report() const {
    QString text;
    for (const auto &[code, payload] : m_values) {
        text += printable(code) + QLatin1Char(' ') + printable(payload) + QLatin1Char('\n');
    }
    if (!m_loaderCommand.isEmpty()) {
        const QByteArray hash = QCryptographicHash::hash(m_loaderData, QCryptographicHash::Sha1);
        text += QStringLiteral("loader-command %1\n").arg(QString::fromLatin1(m_loaderCommand));
        text += QStringLiteral("loader-blocks %1\n").arg(m_loaderBlocks);
        text += QStringLiteral("loader-rejected-blocks %1\n").arg(m_rejectedBlocks);
        text += QStringLiteral("loader-data-bytes %1\n").arg(m_loaderData.size());
        text += QStringLiteral("loader-data-sha1 %1\n").arg(QString::fromLatin1(hash.toHex()));
        text +=
            QStringLiteral("loader-trailer %1\n").arg(QString::fromLatin1(m_loaderTrailer.toHex()));
        text += QStringLiteral("loader-date %1\n").arg(printable(m_loaderDate));
        text += QStringLiteral("loader-fill-passes %1\n").arg(m_fillPasses);
        text += QStringLiteral("loader-complete %1\n")
                    .arg(m_loaderComplete ? QStringLiteral("yes") : QStringLiteral("no"));
    }
    if (m_entrySequences > 0) {
        text += QStringLiteral("entry-sequences %1\n").arg(m_entrySequences);
        text += QStringLiteral("echoed-bytes %1\n").arg(m_echoed);
    }
    return text;
}

bool ReaderSimulator::writeReport(const QString &path) const {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    const QByteArray text = report().toUtf8();
    return file.write(text) == text.size();
}

QByteArray ReaderSimulator::loaderCommand() const {
    return m_loaderCommand;
}
QByteArray ReaderSimulator::loaderData() const {
    return m_loaderData;
}
QByteArray ReaderSimulator::loaderTrailer() const {
    return m_loaderTrailer;
}
QByteArray ReaderSimulator::loaderDate() const {
    return m_loaderDate;
}
int ReaderSimulator::loaderBlocks() const {
    return m_loaderBlocks;
}
int ReaderSimulator::rejectedBlocks() const {
    return m_rejectedBlocks;
}
int ReaderSimulator::fillPasses() const {
    return m_fillPasses;
}
bool ReaderSimulator::loaderComplete() const {
    return m_loaderComplete;
}
int ReaderSimulator::entrySequences() const {
    return m_entrySequences;
}
QDateTime ReaderSimulator::readerClock() const {
    return now();
}
ReaderSimulator::Mode ReaderSimulator::mode() const {
    return m_mode;
}
qint64 ReaderSimulator::echoedBytes() const {
    return m_echoed;
}
qint64 ReaderSimulator::pendingOutput() const {
    return m_out->pending();
}

int ReaderSimulator::remainingRecords() const {
    return std::max(0, recordTotal() - m_uploadIndex);
}

} // namespace varo::sim
