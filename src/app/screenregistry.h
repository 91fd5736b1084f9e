#pragma once

#include "commandmenu.h"

#include <optional>
#include <span>

class QWidget;

namespace varo::link {
class ReaderLink;
}
namespace varo::config {
class ConfigModel;
class GeneralScreen;
class WiegandScreen;
class BarcodeScreen;
class CommportsScreen;
class PgmForm;
} // namespace varo::config
namespace varo::utilities {
class UtilitiesScreen;
}
namespace varo::flash {
class FlashScreen;
}
namespace varo::terminal {
class TerminalScreen;
}
namespace varo::loopback {
class LoopbackScreen;
}

namespace varo::app {

class CommForm;

// The screens the main window hosts, one child window each.
enum class ScreenId {
    Communications,
    GeneralSetup,
    WiegandSetup,
    BarcodeSetup,
    ReaderPorts,
    ProgramReader,
    Utilities,
    FlashFirmware,
    FlashBoot2,
    Terminal,
    Loopback,
};

// The class of each screen, so typed accessors need no unchecked casts.
template <ScreenId> struct ScreenType;
template <> struct ScreenType<ScreenId::Communications> { using type = CommForm; };
template <> struct ScreenType<ScreenId::GeneralSetup> { using type = config::GeneralScreen; };
template <> struct ScreenType<ScreenId::WiegandSetup> { using type = config::WiegandScreen; };
template <> struct ScreenType<ScreenId::BarcodeSetup> { using type = config::BarcodeScreen; };
template <> struct ScreenType<ScreenId::ReaderPorts> { using type = config::CommportsScreen; };
template <> struct ScreenType<ScreenId::ProgramReader> { using type = config::PgmForm; };
template <> struct ScreenType<ScreenId::Utilities> { using type = utilities::UtilitiesScreen; };
template <> struct ScreenType<ScreenId::FlashFirmware> { using type = flash::FlashScreen; };
template <> struct ScreenType<ScreenId::FlashBoot2> { using type = flash::FlashScreen; };
template <> struct ScreenType<ScreenId::Terminal> { using type = terminal::TerminalScreen; };
template <> struct ScreenType<ScreenId::Loopback> { using type = loopback::LoopbackScreen; };

// What a screen is made from.
struct ScreenParts {
    link::ReaderLink *link;
    config::ConfigModel *config;
};

// One registered screen: its id, the command-menu entry that brings it to front (if any) and
// the factory that makes it.
struct ScreenEntry {
    ScreenId id;
    std::optional<MenuEntry> menuEntry;
    QWidget *(*make)(const ScreenParts &parts);
};

// Every screen, in the order of ScreenId.
std::span<const ScreenEntry> screenRegistry();
const ScreenEntry &screenEntry(ScreenId id);
// The screen a command-menu entry brings to front; none for "Program Reader" and "Reset
// Reader", which act on the progress screen after a question.
std::optional<ScreenId> screenFor(MenuEntry entry);

} // namespace varo::app
