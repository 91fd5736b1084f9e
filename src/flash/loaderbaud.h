#pragma once

#include "link/linksettings.h"

namespace varo::flash {

// The reader's loader talks at 9600 baud over serial, whatever rate the line mode uses.
inline constexpr qint32 kLoaderBaud = 9600;

// Whether a download can run on `settings` as they are: TCP, or serial at the loader's rate.
// The window refuses a download otherwise.
inline bool fitsLoader(const link::LinkSettings &settings) {
    return settings.isTcp() || settings.baudRate == kLoaderBaud;
}

// `settings` switched to the loader's rate (varo-cli's way: it opens the link for the download).
inline link::LinkSettings forLoader(link::LinkSettings settings) {
    if (!settings.isTcp())
        settings.baudRate = kLoaderBaud;
    return settings;
}

} // namespace varo::flash
