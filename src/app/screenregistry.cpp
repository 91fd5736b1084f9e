#include "screenregistry.h"

#include "commform.h"

#include "config/ui/barcodescreen.h"
#include "config/ui/commportsscreen.h"
#include "config/ui/generalscreen.h"
#include "config/ui/pgmform.h"
#include "config/ui/wiegandscreen.h"
#include "flash/flashscreen.h"
#include "loopback/loopbackscreen.h"
#include "terminal/terminalscreen.h"
#include "utilities/utilitiesscreen.h"

#include <algorithm>
#include <type_traits>

namespace varo::app {

namespace {

// A row whose factory must make exactly the class ScreenType names for the id.
template <ScreenId Id, typename Make>
constexpr ScreenEntry entry(std::optional<MenuEntry> menuEntry, Make) {
    using Made = std::invoke_result_t<Make, const ScreenParts &>;
    static_assert(std::is_same_v<Made, typename ScreenType<Id>::type *>,
                  "the factory makes another class than ScreenType names");
    return {Id, menuEntry, [](const ScreenParts &parts) -> QWidget * { return Make{}(parts); }};
}

constexpr auto makeComm = [](const ScreenParts &p) { return new CommForm(p.link); };
constexpr auto makeGeneral = [](const ScreenParts &p) {
    return new config::GeneralScreen(p.config);
};
constexpr auto makeWiegand = [](const ScreenParts &p) {
    return new config::WiegandScreen(p.config);
};
constexpr auto makeBarcode = [](const ScreenParts &p) {
    return new config::BarcodeScreen(p.config);
};
constexpr auto makePorts = [](const ScreenParts &p) {
    return new config::CommportsScreen(p.config);
};
constexpr auto makeProgram = [](const ScreenParts &p) {
    return new config::PgmForm(p.link, p.config);
};
constexpr auto makeUtilities = [](const ScreenParts &p) {
    return new utilities::UtilitiesScreen(p.link);
};
constexpr auto makeFlash = [](const ScreenParts &p) {
    return new flash::FlashScreen(p.link, flash::FlashScreen::Kind::Firmware);
};
constexpr auto makeBoot2 = [](const ScreenParts &p) {
    return new flash::FlashScreen(p.link, flash::FlashScreen::Kind::Boot2);
};
constexpr auto makeTerminal = [](const ScreenParts &p) {
    return new terminal::TerminalScreen(p.link);
};
constexpr auto makeLoopback = [](const ScreenParts &p) {
    return new loopback::LoopbackScreen(p.link);
};

const ScreenEntry kScreens[] = {
    entry<ScreenId::Communications>(MenuEntry::Communications, makeComm),
    entry<ScreenId::GeneralSetup>(MenuEntry::GeneralSetup, makeGeneral),
    entry<ScreenId::WiegandSetup>(MenuEntry::WiegandSetup, makeWiegand),
    entry<ScreenId::BarcodeSetup>(MenuEntry::BarcodeSetup, makeBarcode),
    entry<ScreenId::ReaderPorts>(std::nullopt, makePorts),
    entry<ScreenId::ProgramReader>(std::nullopt, makeProgram),
    entry<ScreenId::Utilities>(MenuEntry::Utilities, makeUtilities),
    entry<ScreenId::FlashFirmware>(MenuEntry::FlashNewFirmware, makeFlash),
    entry<ScreenId::FlashBoot2>(MenuEntry::BootExtension, makeBoot2),
    entry<ScreenId::Terminal>(MenuEntry::TerminalMode, makeTerminal),
    entry<ScreenId::Loopback>(std::nullopt, makeLoopback),
};

} // namespace

std::span<const ScreenEntry> screenRegistry() {
    return kScreens;
}

const ScreenEntry &screenEntry(ScreenId id) {
    Q_ASSERT(kScreens[int(id)].id == id);
    return kScreens[int(id)];
}

std::optional<ScreenId> screenFor(MenuEntry menuEntry) {
    const auto it = std::ranges::find(kScreens, std::optional(menuEntry), &ScreenEntry::menuEntry);
    return it == std::end(kScreens) ? std::nullopt : std::optional(it->id);
}

} // namespace varo::app
