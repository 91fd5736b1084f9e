#pragma once

#include <QDateTime>
#include <QString>

namespace varo::utilities {

// The screen's fixed texts, exactly as the technician sees them.
namespace texts {
inline const QString kApplicationTitle = QStringLiteral("Ostrel  Varo Utility V1.0");
inline const QString kNotConnected = QStringLiteral("Not Connected");
inline const QString kLinkBusy = QStringLiteral("Link busy");
inline const QString kNoResponse = QStringLiteral("No response from reader");
inline const QString kModeSwitched = QStringLiteral("Mode Switched");
inline const QString kInvalidHours = QStringLiteral("Invalid hours to add/subtract");
inline const QString kTimeSet = QStringLiteral("Time set in reader");
inline const QString kTimeNotSet = QStringLiteral("Time not set");
inline const QString kMemoryReceived = QStringLiteral("Memory data received");
inline const QString kLogCleared = QStringLiteral("Log Cleared");
inline const QString kClearQuestion = QStringLiteral("Do you wish to clear the reader data");
inline const QString kInvalidResponse = QStringLiteral("invalid response from reader");
} // namespace texts

// "Transactions uploaded:  5": shown after each record written.
QString uploadedText(qint64 count);
// "Upload complete,  5 transactions received ": shown when the reader says "END".
QString completeText(qint64 count);
// Shown when the upload file could not be created or written.
QString savedText(qint64 count);
// "Upload file not saved: " + the count + " transactions received, none known to be safe on the
// disk": the file could not be flushed to the disk or closed at "END".
QString notSavedText(qint64 count);
// The upload stopped after `limit` records because the peer kept sending more.
QString tooManyRecordsText(qint64 limit);
// Message box text naming the upload file and the system's reason.
QString fileErrorText(const QString &path, const QString &reason);

// "Current Date/Time: 2010-03-05  14:02:33".
QString clockText(const QDateTime &now);

} // namespace varo::utilities
