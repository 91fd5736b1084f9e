#pragma once

#include <QByteArray>
#include <QString>

namespace varo::flash {

// A download image in memory: the data sent in blocks and the trailer sent unchanged after it.
struct FirmwareImage {
    QByteArray data;
    QByteArray trailer;

    // The last `trailerLength` bytes are the trailer; a file no longer than that has no data.
    static FirmwareImage split(const QByteArray &file, qsizetype trailerLength);
};

// The whole content of an image file, or the message naming the file and why it cannot be
// read. The file is closed before this returns.
struct ImageFileContent {
    QByteArray bytes;
    QString error;

    bool ok() const { return error.isEmpty(); }
};

ImageFileContent readImageFile(const QString &path);

} // namespace varo::flash
