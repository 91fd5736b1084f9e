#include "cli/commandchecks.h"

#include "config/configmodel.h"
#include "config/readerprofile.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace varo::cli {

QString takeModeArgument(QStringList &positionals, Request &request) {
    if (positionals.isEmpty()) {
        return QStringLiteral("mode needs collection, online or prox-dump");
    }
    const QString mode = positionals.takeFirst();
    for (const ReaderMode known :
         {ReaderMode::Collection, ReaderMode::Online, ReaderMode::ProxDump}) {
        if (mode == readerModeName(known)) {
            request.mode = known;
            return {};
        }
    }
    return QStringLiteral("unknown mode \"%1\": use collection, online or prox-dump").arg(mode);
}

QString takeImageArgument(QStringList &positionals, Request &request) {
    if (positionals.isEmpty()) {
        return QStringLiteral("flash needs an IMAGE file");
    }
    request.imagePath = positionals.takeFirst();
    return {};
}

QString needsConfirmation(const Request &request) {
    if (!request.confirmed) {
        return QStringLiteral("clear-memory erases every stored transaction: add --yes to confirm");
    }
    return {};
}

QString needsOutPath(const Request &request) {
    if (request.outPath.isEmpty()) {
        return QStringLiteral("upload needs --out PATH");
    }
    return {};
}

QString loadProgramSettings(Request &request) {
    if (!request.profilePath.isEmpty()) {
        QFile profile(request.profilePath);
        if (!profile.open(QIODevice::ReadOnly)) {
            return QStringLiteral("cannot read the profile %1: %2")
                .arg(request.profilePath, profile.errorString());
        }
    }
    QString problems;
    request.programSettings = config::loadProgramSettings(request.profilePath, &problems);
    if (!request.programSettings) {
        return QStringLiteral("the profile %1 is not valid:\n%2")
            .arg(request.profilePath, problems);
    }
    return {};
}

QString checkImage(Request &request) {
    QFile image(request.imagePath);
    if (!image.open(QIODevice::ReadOnly)) {
        return QStringLiteral("cannot read the image %1: %2")
            .arg(request.imagePath, image.errorString());
    }
    if (image.size() == 0) {
        return QStringLiteral("the image %1 is empty").arg(request.imagePath);
    }
    return {};
}

QString checkUploadFiles(Request &request) {
    const QFileInfo out(request.outPath);
    if (request.targets.size() > 1 && !out.isDir()) {
        return QStringLiteral("with several targets --out must be an existing folder (one file "
                              "per target): %1")
            .arg(request.outPath);
    }
    if (request.targets.size() == 1 && out.isDir()) {
        return QStringLiteral("--out is a folder; with one target it names the file: %1")
            .arg(request.outPath);
    }
    QSet<QString> files;
    for (const Target &target : request.targets) {
        const QString file = uploadFileFor(request, target);
        if (files.contains(file)) {
            return QStringLiteral("two targets would upload into the same file %1").arg(file);
        }
        files.insert(file);
    }
    return {};
}

} // namespace varo::cli
