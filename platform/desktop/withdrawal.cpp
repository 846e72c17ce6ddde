// Withdrawal: the entries whose shortcut or machine is gone, then what no
// entry of ours needs any more.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <map>
#include <set>

#include "platform/desktop/desktop_menu.h"
#include "platform/desktop/entry_text.h"
#include "platform/desktop/item_key.h"
#include "platform/desktop/menu_folders.h"

namespace vx::desktop {

namespace {

using IsGone = std::function<bool(const std::string& machine, const std::string& item)>;

// What the entries left in place still need.
struct Kept {
    std::set<std::string> entries;  // names without ".desktop"
    std::set<std::string> icons;    // names without ".png"
};

Kept WithdrawEntries(int applications, const IsGone& isGone) {
    Kept kept;
    if (applications < 0) return kept;
    for (const std::string& name : ListFolder(applications)) {
        if (!name.starts_with(kPrefix) || !name.ends_with(".desktop")) continue;
        const auto bytes = ReadAt(applications, name);
        const auto key = bytes ? EntryKey(*bytes) : std::nullopt;
        const auto parts = key ? SplitKey(*key) : std::nullopt;
        if (!parts) continue;
        if (isGone(parts->machine, parts->item) && ::unlinkat(applications, name.c_str(), 0) == 0)
            continue;
        kept.entries.insert(name.substr(0, name.size() - 8));
        if (const auto icon = KeyValue(*bytes, "Icon")) kept.icons.insert(*icon);
    }
    return kept;
}

// Removes our menu files whose entry is gone; the text of all that are left.
std::string WithdrawMenuFiles(int merged, const std::set<std::string>& entries) {
    std::string menuTexts;
    if (merged < 0) return menuTexts;
    for (const std::string& name : ListFolder(merged)) {
        if (!name.ends_with(".menu")) continue;
        const auto bytes = ReadAt(merged, name);
        if (!bytes) continue;
        const bool ours = name.starts_with(kPrefix) && MenuKey(*bytes);
        if (ours && !entries.count(name.substr(0, name.size() - 5)) &&
            ::unlinkat(merged, name.c_str(), 0) == 0)
            continue;
        menuTexts += *bytes;
    }
    return menuTexts;
}

// Removes our folder files that no menu file names.
void WithdrawFolderFiles(int data, const std::string& menuTexts) {
    const UniqueFd directories = OpenBelow(data, "desktop-directories", nullptr);
    if (!directories) return;
    for (const std::string& name : ListFolder(directories.get()))
        if (name.starts_with(kPrefix) && name.ends_with(".directory") &&
            menuTexts.find("<Directory>" + XmlText(name) + "</Directory>") == std::string::npos)
            RemoveIfOurs(directories.get(), name,
                         [](const std::string& bytes) { return EntryKey(bytes).has_value(); });
}

// Removes our icons, of every size, that no entry names.
void WithdrawIcons(int data, const std::set<std::string>& icons) {
    const UniqueFd hicolor = OpenBelow(data, "icons/hicolor", nullptr);
    if (!hicolor) return;
    bool changed = false;
    for (const std::string& size : ListFolder(hicolor.get())) {
        const UniqueFd apps = OpenBelow(hicolor.get(), size + "/apps", nullptr);
        if (!apps) continue;
        for (const std::string& name : ListFolder(apps.get()))
            if (name.starts_with(kPrefix) && name.ends_with(".png") &&
                !icons.count(name.substr(0, name.size() - 4)))
                changed |= RemoveIfOurs(apps.get(), name, [](const std::string& bytes) {
                    return PngKey(bytes).has_value();
                });
    }
    if (changed) TouchIconTheme(data);
}

// Withdraws every entry of ours for which `isGone(machine, item)` holds, then
// what no entry of ours needs any more: orphaned menu files, folder files no
// menu file names, icons no entry names, and the empty folders we made.
void Withdraw(const MenuFolders& folders, const IsGone& isGone) {
    const UniqueFd data(OpenBase(folders.data));
    const UniqueFd config(OpenBase(folders.config));
    if (!data || !config) return;
    // A folder that is there but cannot be read (a link, say) hides what
    // refers to our other files: then nothing is taken.
    const UniqueFd applications = OpenBelow(data.get(), "applications", nullptr);
    if (!applications && errno != ENOENT) return;
    const UniqueFd merged = OpenBelow(config.get(), "menus/applications-merged", nullptr);
    if (!merged && errno != ENOENT) return;

    const Kept kept = WithdrawEntries(applications.get(), isGone);
    WithdrawFolderFiles(data.get(), WithdrawMenuFiles(merged.get(), kept.entries));
    WithdrawIcons(data.get(), kept.icons);
    RemoveEmptyRecordedFolders(data.get(), config.get());
}

}  // namespace

void DesktopMenu::WithdrawGone() {
    Withdraw(folders_, [this](const std::string& machine, const std::string& item) {
        if (machine != machineKey_) return false;
        const auto narrow = machine_.ToNarrow(item);
        const auto mapped = narrow ? machine_.Map(*narrow) : std::nullopt;
        return !mapped || !mapped->exists;
    });
}

void WithdrawVanishedMachines(const MenuFolders& folders) {
    std::map<std::string, bool> gone;
    Withdraw(folders, [&gone](const std::string& machine, const std::string&) {
        const auto [known, added] = gone.try_emplace(machine, false);
        if (added) {
            struct stat st {};
            known->second = machine.starts_with('/') && ::stat(machine.c_str(), &st) != 0 &&
                            (errno == ENOENT || errno == ENOTDIR);
        }
        return known->second;
    });
}

}  // namespace vx::desktop
