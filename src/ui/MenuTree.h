#pragma once

#include "settings/JobSettings.h"

#include <optional>
#include <span>

namespace qm::ui {

// The commands the menu entries and buttons stand for.
enum class Command {
    None,
    New,
    Open,
    Save,
    SaveAs,
    Convert,
    AutoStart,
    AutoStop,
    InstallService,
    RemoveService,
    Exit,
    ToggleFlag,
    ViewManual,
    WebPage,
};

// One entry of the menu bar; a top-level menu has no parent, a separator the caption "-".
struct MenuEntry {
    const char* name;
    const char* parent; // nullptr for a menu of the bar
    const char* caption;
    Command command = Command::None;
    std::optional<MenuField> flag{}; // the job's menu flag the entry's check mark holds
    bool choosable = true;
};

// The menu bar in order: each menu followed by its entries.
std::span<const MenuEntry> MenuTree();

inline constexpr const char* WebPageAddress = "https://www.brackenfold.example/";

} // namespace qm::ui
