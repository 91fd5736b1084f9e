#pragma once

#include "sim/simoptions.h"

#include <QMap>
#include <QString>

#include <optional>

namespace varo::sim {

// Ways a reader of a simulated fleet can be broken, so a fleet run has a few failing readers.
enum class FaultMode {
    Silent,    // never answers a line command (the utility times out)
    Close,     // drops the link at the first line command
    Empty,     // answers every line command with a bare terminator
    Refuse,    // its TCP port refuses connections and it has no pseudo-terminal
    LoaderNak, // the firmware loader answers "N" to the first block
};

std::optional<FaultMode> faultModeFromName(const QString &name);
QString faultModeNames(); // "silent, close, ..." for help texts

// Sets the options that make `mode` happen; Refuse is the front ends' business and changes
// nothing here.
void applyFault(SimOptions &options, FaultMode mode);

// Reads "2,5,7:close" into reader index -> mode: items are 0-based reader indexes below
// `readerCount`, optionally followed by ":MODE"; items without a mode get `defaultMode`.
// nullopt with `error` set on a bad item.
struct FaultyReaders {
    QMap<int, FaultMode> modes;
};
std::optional<FaultyReaders> parseFaultyReaders(const QString &list, int readerCount,
                                                FaultMode defaultMode, QString *error);

} // namespace varo::sim
