#include "loaderprofile.h"

namespace varo::flash {

namespace {

LoaderProfile serialBase() {
    LoaderProfile p;
    p.entryPause = &LoaderTimings::serialEntryPause;
    p.drainAfterPause = true;
    p.matching = ReplyMatching::PerCharacter;
    p.reportsErrorCodes = true;
    return p;
}

} // namespace

LoaderProfile LoaderProfile::firmware(bool tcp) {
    if (tcp)
        return {};
    LoaderProfile p = serialBase();
    p.failureClearsStatus = true;
    return p;
}

LoaderProfile LoaderProfile::boot2Tcp() {
    LoaderProfile p;
    p.announceLastBlock = false;
    p.fillPasses = 2;
    return p;
}

LoaderProfile LoaderProfile::boot2Serial() {
    LoaderProfile p = serialBase();
    p.trailerLength = 0;
    p.entryPause = &LoaderTimings::boot2SerialEntryPause;
    p.startRequest = 'w';
    p.readyReply = "YK";
    p.readyTimeout = &LoaderTimings::boot2ReadyTimeout;
    p.blockSize = 32;
    p.announceLastBlock = false;
    return p;
}

LoaderProfile LoaderProfile::forDownload(DownloadKind kind, bool tcp) {
    if (kind == DownloadKind::Firmware)
        return firmware(tcp);
    return tcp ? boot2Tcp() : boot2Serial();
}

} // namespace varo::flash
