#include "cli/commandchecks.h"

#include "config/configmodel.h"
#include "config/defaults.h"
#include "config/readerprofile.h"
#include "flash/loaderprofile.h"

#include "common/controltext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

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

namespace {

using config::ProfileProblem;

// What a loaded profile holds beside its errors: warnings, missing and unknown keys.
link::ProfileNotes notesOf(const config::ProfileLoadResult &loaded) {
    link::ProfileNotes notes;
    for (const ProfileProblem &problem : loaded.problems) {
        switch (problem.kind) {
        case ProfileProblem::Kind::Warning:
            notes.warnings.append(problem.key.isEmpty()
                                      ? problem.rule
                                      : problem.key + QStringLiteral(": ") + problem.rule);
            break;
        case ProfileProblem::Kind::MissingKey:
            notes.missingKeys.append(problem.key);
            break;
        case ProfileProblem::Kind::UnknownKey:
            notes.unknownKeys.append(problem.key);
            break;
        case ProfileProblem::Kind::Refused:
        case ProfileProblem::Kind::Error:
            break;
        }
    }
    return notes;
}

// "a, b, c and 12 more": a long list of keys shortened for a line on stderr (the report has
// them all).
QString keyList(const QStringList &keys) {
    constexpr qsizetype kShown = 10;
    QString text = namedControls(keys.mid(0, kShown).join(QStringLiteral(", ")));
    if (keys.size() > kShown) {
        text += QStringLiteral(" and %1 more").arg(keys.size() - kShown);
    }
    return text;
}

} // namespace

QString loadProgramSettings(Request &request) {
    auto model = std::make_shared<config::ConfigModel>();
    config::loadDefaults(*model);
    if (request.profilePath.isEmpty()) {
        request.programSettings = std::move(model);
        return {};
    }
    if (QFile profile(request.profilePath); !profile.open(QIODevice::ReadOnly)) {
        return QStringLiteral("cannot read the profile %1: %2")
            .arg(request.profilePath, profile.errorString());
    }
    const config::ProfileLoadResult loaded = config::loadProfileFile(request.profilePath, *model);
    if (loaded.hasErrors()) {
        return QStringLiteral("the profile %1 is not valid:\n%2")
            .arg(request.profilePath, namedControls(loaded.report(), LineBreaks::Keep));
    }
    request.profileNotes = notesOf(loaded);
    if (!request.profileNotes.unknownKeys.isEmpty() && !request.allowUnknownKeys) {
        return QStringLiteral("the profile %1 holds keys that name no setting (a misspelling?): "
                              "%2; add --allow-unknown-keys to program it anyway")
            .arg(request.profilePath,
                 namedControls(request.profileNotes.unknownKeys.join(QStringLiteral(", "))));
    }
    if (!config::applyProfile(loaded, *model)) {
        return QStringLiteral("the profile %1 is not valid:\n%2")
            .arg(request.profilePath, namedControls(loaded.report(), LineBreaks::Keep));
    }
    request.programSettings = std::move(model);
    return {};
}

QStringList inputNotes(const Request &request) {
    const link::ProfileNotes &notes = request.profileNotes;
    QStringList lines;
    for (const QString &warning : notes.warnings) {
        lines.append(QStringLiteral("warning: ") + namedControls(warning));
    }
    if (!notes.missingKeys.isEmpty()) {
        lines.append(QStringLiteral("the profile lacks %1 keys, which keep their defaults: %2")
                         .arg(notes.missingKeys.size())
                         .arg(keyList(notes.missingKeys)));
    }
    if (!notes.unknownKeys.isEmpty()) {
        lines.append(QStringLiteral("ignored keys that name no setting: %1")
                         .arg(keyList(notes.unknownKeys)));
    }
    return lines;
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
    // The loader sends the last bytes as the trailer: an image no longer holds no data.
    const flash::DownloadKind kind =
        request.boot2 ? flash::DownloadKind::Boot2 : flash::DownloadKind::Firmware;
    const qsizetype trailer = std::max(flash::LoaderProfile::forDownload(kind, false).trailerLength,
                                       flash::LoaderProfile::forDownload(kind, true).trailerLength);
    if (image.size() <= trailer) {
        return QStringLiteral("the image %1 holds no data: %2 bytes, no more than its trailer")
            .arg(request.imagePath)
            .arg(image.size());
    }
    return {};
}

namespace {

// Why the single upload file cannot be written as asked (empty when it can).
QString singleFileProblem(const Request &request) {
    const QFileInfo out(request.outPath);
    if (!out.absoluteDir().exists()) {
        return QStringLiteral("the folder of --out does not exist: %1").arg(out.absolutePath());
    }
    if (out.isSymLink()) {
        return QStringLiteral("--out is a symbolic link, which is never followed: %1")
            .arg(request.outPath);
    }
    if (out.exists() && !request.overwrite) {
        return QStringLiteral("%1 exists: add --overwrite to replace it").arg(request.outPath);
    }
    return {};
}

} // namespace

QString checkUploadFiles(Request &request) {
    const QFileInfo out(request.outPath);
    if (request.targets.size() > 1 && !out.isDir()) {
        return QStringLiteral("with several targets --out must be an existing folder (one file "
                              "per target): %1")
            .arg(request.outPath);
    }
    request.outIsFolder = out.isDir();
    if (request.targets.size() == 1 && !request.outIsFolder) {
        return singleFileProblem(request);
    }
    QSet<QString> files;
    for (const Target &target : request.targets) {
        const QString file = uploadFileFor(request, target);
        if (files.contains(file)) {
            return QStringLiteral("two targets would upload into the same file %1").arg(file);
        }
        if (QFileInfo(file).exists() || QFileInfo(file).isSymLink()) {
            return QStringLiteral("%1 exists already").arg(file);
        }
        files.insert(file);
    }
    return {};
}

} // namespace varo::cli
