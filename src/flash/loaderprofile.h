#pragma once

#include "loadertimings.h"

#include <QByteArray>

#include <chrono>

namespace varo::flash {

// What is being downloaded: a firmware image or a bootloader extension image.
enum class DownloadKind { Firmware, Boot2 };

// How the loader's replies are read.
enum class ReplyMatching {
    PerCharacter, // serial: one character at a time
    PerBlock,     // TCP: everything received so far at once
};

// The differences between the download variants. One loader engine runs every profile.
struct LoaderProfile {
    using Wait = std::chrono::milliseconds LoaderTimings::*;

    // Bytes at the end of the file sent unchanged after the data, followed by the date.
    // 0: the whole file is data and only the end-of-data marker follows it.
    qsizetype trailerLength = 44;
    Wait entryPause = &LoaderTimings::tcpEntryPause;
    bool drainAfterPause = false; // drop all but the last waiting character before the request
    char startRequest = 'B';
    QByteArray readyReply = "TK";
    Wait readyTimeout = &LoaderTimings::replyTimeout;
    int blockSize = 50;            // data bytes of a full block; also the progress step
    bool announceLastBlock = true; // "Downloading - 100 % complete" before the last block
    int fillPasses = 0;            // 52 x 0xFF, each answered by "B", after the final "B"
    ReplyMatching matching = ReplyMatching::PerBlock;
    bool reportsErrorCodes = false; // failure messages name the failed step
    bool failureClearsStatus = false;

    static LoaderProfile firmware(bool tcp);
    static LoaderProfile boot2Tcp();
    static LoaderProfile boot2Serial();
    // The profile for a download of `kind` over the link mode in use.
    static LoaderProfile forDownload(DownloadKind kind, bool tcp);
};

} // namespace varo::flash
