#include "firmwareimage.h"

#include "loaderformat.h"

#include <QFile>
#include <QFileInfo>

namespace varo::flash {

FirmwareImage FirmwareImage::split(const QByteArray &file, qsizetype trailerLength) {
    if (file.size() <= trailerLength)
        return {{}, file};
    return {file.left(file.size() - trailerLength), file.right(trailerLength)};
}

ImageFileContent readImageFile(const QString &path) {
    if (QFileInfo(path).isDir())
        return {{}, fileErrorText(path, QStringLiteral("It is a folder, not a file."))};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, fileErrorText(path, file.errorString())};
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {{}, fileErrorText(path, file.errorString())};
    return {std::move(bytes), {}};
}

} // namespace varo::flash
