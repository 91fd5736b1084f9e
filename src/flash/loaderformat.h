#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>

#include <optional>

namespace varo::flash {

// The wire format of the reader's firmware loader and the texts the download shows.

inline const QByteArray kEntrySequence = QByteArrayLiteral("\x00\x1B\x0D\x00\x1B\x0D");
constexpr char kBlockAck = 'K';
constexpr char kCompletionReply = 'B';
constexpr char kEndOfData = 0x00;
constexpr int kFillPassLength = 52;
constexpr char kFillByte = char(0xFF);

namespace texts {
inline const QString kPreparing = QStringLiteral("Preparing to Download Flash");
inline const QString kLastBlock = QStringLiteral("Downloading - 100 % complete");
inline const QString kEarlyEnd = QStringLiteral("Early end of binary file");
inline const QString kComplete = QStringLiteral("Download complete");
inline const QString kTimeoutError = QStringLiteral("Timeout Error");
inline const QString kDownloadError = QStringLiteral("Download Error");
} // namespace texts

// Exclusive-or of the block's data bytes, starting from 0.
quint8 blockChecksum(QByteArrayView data);

// The date sent after the trailer: "MMDDYYYY".
QByteArray downloadDate(QDate date);

// "Downloading - NN % complete": the whole percentage of `acknowledged` in `total`, rounded
// down, as two digits.
QString progressText(qint64 acknowledged, qint64 total);

// "Timeout Error" / "Download Error", or with ", error code N" where the step is reported.
QString failureText(const QString &error, std::optional<int> errorCode);

// The message for an image file that cannot be read.
QString fileErrorText(const QString &path, const QString &reason);

} // namespace varo::flash
