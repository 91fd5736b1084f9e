#include "sim/simfault.h"

#include <QStringList>

#include <array>
#include <utility>

namespace varo::sim {

namespace {

const std::array<std::pair<const char *, FaultMode>, 5> kFaultNames{{
    {"silent", FaultMode::Silent},
    {"close", FaultMode::Close},
    {"empty", FaultMode::Empty},
    {"refuse", FaultMode::Refuse},
    {"loader-nak", FaultMode::LoaderNak},
}};

} // namespace

std::optional<FaultMode> faultModeFromName(const QString &name) {
    for (const auto &[text, mode] : kFaultNames) {
        if (name == QLatin1String(text)) {
            return mode;
        }
    }
    return std::nullopt;
}

QString faultModeNames() {
    QStringList names;
    for (const auto &entry : kFaultNames) {
        names.append(QString::fromLatin1(entry.first));
    }
    return names.join(QStringLiteral(", "));
}

void applyFault(SimOptions &options, FaultMode mode) {
    switch (mode) {
    case FaultMode::Silent:
        options.silent = true;
        break;
    case FaultMode::Close:
        options.closeAfterCommands = 0;
        break;
    case FaultMode::Empty:
        options.emptyReplies = true;
        break;
    case FaultMode::Refuse:
        break;
    case FaultMode::LoaderNak:
        options.wrongAckAtBlock = 1;
        break;
    }
}

std::optional<FaultyReaders> parseFaultyReaders(const QString &list, int readerCount,
                                                FaultMode defaultMode, QString *error) {
    FaultyReaders result;
    for (const QString &item : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString indexText = item.section(QLatin1Char(':'), 0, 0).trimmed();
        const QString modeText = item.section(QLatin1Char(':'), 1).trimmed();
        bool ok = false;
        const int index = indexText.toInt(&ok);
        if (!ok || index < 0 || index >= readerCount) {
            *error = QStringLiteral("\"%1\" is not a reader index from 0 to %2")
                         .arg(indexText)
                         .arg(readerCount - 1);
            return std::nullopt;
        }
        FaultMode mode = defaultMode;
        if (item.contains(QLatin1Char(':'))) {
            const auto named = faultModeFromName(modeText);
            if (!named) {
                *error = QStringLiteral("unknown fault mode \"%1\" (known: %2)")
                             .arg(modeText, faultModeNames());
                return std::nullopt;
            }
            mode = *named;
        }
        result.modes.insert(index, mode);
    }
    return result;
}

} // namespace varo::sim
