#include "cli/request.h"

#include <QDir>

#include <array>
#include <utility>

namespace varo::cli {

namespace {

const std::array<std::pair<Command, const char *>, 11> kCommandNames{{
    {Command::Ports, "ports"},
    {Command::Info, "info"},
    {Command::Program, "program"},
    {Command::Reset, "reset"},
    {Command::SetTime, "set-time"},
    {Command::ClearMemory, "clear-memory"},
    {Command::Restart, "restart"},
    {Command::Mode, "mode"},
    {Command::Upload, "upload"},
    {Command::Flash, "flash"},
    {Command::Loopback, "loopback"},
}};

} // namespace

QString commandName(Command command) {
    for (const auto &[known, name] : kCommandNames) {
        if (known == command) {
            return QString::fromLatin1(name);
        }
    }
    return {};
}

std::optional<Command> commandFromName(const QString &name) {
    for (const auto &[command, known] : kCommandNames) {
        if (name == QLatin1String(known)) {
            return command;
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
    if (request.targets.size() <= 1) {
        return request.outPath;
    }
    QString name;
    for (const QChar c : target.text) {
        name += (c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('-'))
                    ? c
                    : QLatin1Char('_');
    }
    return QDir(request.outPath).filePath(name + QStringLiteral(".txt"));
}

} // namespace varo::cli
