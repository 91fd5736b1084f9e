#include "cli/request.h"

#include "cli/commandtable.h"

#include <QDir>

namespace varo::cli {

QString commandName(Command command) {
    return QString::fromLatin1(commandRow(command).name);
}

std::optional<Command> commandFromName(const QString &name) {
    for (const CommandRow &row : commandRows()) {
        if (name == QLatin1String(row.name)) {
            return row.command;
        }
    }
    return std::nullopt;
}

QString readerModeName(ReaderMode mode) {
    switch (mode) {
    case ReaderMode::Collection:
        return QStringLiteral("collection");
    case ReaderMode::Online:
        return QStringLiteral("online");
    case ReaderMode::ProxDump:
        return QStringLiteral("prox-dump");
    }
    return {};
}

QString uploadFileFor(const Request &request, const Target &target) {
    if (request.targets.size() <= 1 && !request.outIsFolder) {
        return request.outPath;
    }
    QString name;
    for (const QChar c : target.text) {
        name += (c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('-'))
                    ? c
                    : QLatin1Char('_');
    }
    const QString started = request.startedUtc.toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    return QDir(request.outPath).filePath(name + u'-' + started + QStringLiteral(".txt"));
}

} // namespace varo::cli
