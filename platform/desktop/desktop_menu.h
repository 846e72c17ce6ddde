// The desktop's application menu kept in step with the machine's Start menu,
// the part Wine's menu builder plays for a prefix: a shortcut the converter
// made becomes a desktop entry, a menu folder and icons in the user's XDG
// folders; entries whose shortcut or whole machine is gone are withdrawn.
//
// Every file is named "vornalux-setup-" + a hash of the machine folder + ...,
// and carries the key X-Vornalux-Setup-Item = machine folder "|" Windows path
// of what it stands for (a Windows path cannot hold "|"). A file without that
// key is never changed or removed, and no link is followed out of the folders.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/icon_export.h"
#include "platform/grpconv/converter.h"
#include "platform/posix/machine.h"

namespace vx::desktop {

using posix::Machine;

// Set to a non-empty value, it keeps a run from publishing anything.
constexpr const char* kNoDesktopMenuVariable = "VORNALUX_NO_DESKTOP_MENU";

// The user's base folders; nullopt when neither the XDG variable nor HOME
// gives one (then nothing is published or withdrawn).
struct MenuFolders {
    std::string data;    // $XDG_DATA_HOME, else ~/.local/share
    std::string config;  // $XDG_CONFIG_HOME, else ~/.config
};
std::optional<MenuFolders> UserMenuFolders();

class DesktopMenu {
public:
    DesktopMenu(const Machine& machine, MenuFolders folders);

    // Writes the entry, menu file, folder files and icons (`icons`, largest
    // first, may be empty) of a shortcut the converter created, replacing
    // this machine's earlier ones in place. False with the reason.
    bool Publish(const grpconv::CreatedShortcut& shortcut, const std::vector<IconPng>& icons,
                 std::string& error);

    // Withdraws this machine's entries whose shortcut is no longer there.
    void WithdrawGone();

private:
    const Machine& machine_;
    MenuFolders folders_;
    std::string machineKey_;   // the machine folder as the key names it
    std::string machineHash_;  // 8 hex digits
};

// Withdraws the entries of every machine whose folder no longer exists.
void WithdrawVanishedMachines(const MenuFolders& folders);

// In the user's folders, when there are any: the entries of `machine` whose
// shortcut is gone, after a delete in its Start menu.
void WithdrawGoneShortcuts(const Machine& machine);
// The same, and the entries of vanished machines: at each start.
void TidyDesktopMenu(const Machine& machine);

}  // namespace vx::desktop
