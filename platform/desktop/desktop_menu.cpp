// Publishing: one shortcut's entry, menu file, folder files and icons.
#include "platform/desktop/desktop_menu.h"

#include <cstdlib>
#include <utility>

#include "platform/desktop/entry_text.h"
#include "platform/desktop/item_key.h"
#include "platform/desktop/menu_folders.h"
#include "platform/host/host_files.h"
#include "platform/posix/exec.h"
#include "platform/win32_names.h"

namespace vx::desktop {

using posix::IsWindowsProgram;
using posix::WineLauncher;

using grpconv::CreatedShortcut;

namespace {

// The shortcut on this machine, and how its entry starts the program.
struct Resolved {
    std::string shortcut;  // UTF-8 Windows path of the .lnk
    std::string program;   // host path, without the drive links in between
    std::string iconItem;  // what the icons stand for: the long Windows path, else `program`
    std::vector<std::string> command;
    std::string workingFolder;  // host path; empty for none
};

// The files of one shortcut's entry, named and written out.
struct EntryFiles {
    std::string id;    // the entry's and the menu file's name, without extension
    std::string icon;  // the icons' name, without extension
    std::vector<std::pair<std::string, std::string>> directories;  // name, bytes
    std::string desktop, menu;
};

// This machine's part of the names and keys of our files.
struct MachineNames {
    std::string key;   // the machine folder as the key names it
    std::string stem;  // the start of each file's name

    std::string Key(const std::string& item) const { return key + "|" + item; }
};

std::string ParentWindowsPath(const std::string& path) {
    const std::size_t separator = path.rfind('\\');
    return separator == std::string::npos ? path : path.substr(0, separator);
}

std::string MachineKey(const Machine& machine) {
    return RealPath(machine.folder()).value_or(machine.folder());
}

// The host folder a working directory names; empty when it is not there.
std::string WorkingFolderOf(const Machine& machine, const std::string& workingDirectory) {
    if (workingDirectory.empty()) return "";
    const auto narrow = machine.ToNarrow(workingDirectory);
    const auto mapped = narrow ? machine.Map(*narrow) : std::nullopt;
    return mapped && mapped->exists ? RealPath(mapped->path).value_or(mapped->path) : "";
}

// Writes one entry's files into the user's folders: replaces this machine's
// files in place, never another's, and records every folder it makes, so
// that a withdrawal can take it away again once it is empty.
class MenuWriter {
public:
    MenuWriter(const MenuFolders& folders, const std::string& machineKey,
               const std::string& machineHash)
        : folders_(folders), machineKey_(machineKey), machineHash_(machineHash) {}

    bool Open(std::string& error) {
        // The base folders themselves are the user's, made but not recorded.
        for (const std::string& base : {folders_.data, folders_.config})
            if (CreateHostFolders(base) != 0) {
                error = "cannot create " + base;
                return false;
            }
        data_.reset(OpenBase(folders_.data));
        config_.reset(OpenBase(folders_.config));
        return (data_ && config_) || Failed(folders_.data, error);
    }

    bool WriteIcons(const std::vector<IconPng>& icons, const std::string& name,
                    const std::string& key, std::string& error) {
        for (const IconPng& png : icons) {
            const std::string size = std::to_string(png.size);
            const std::string relative = "icons/hicolor/" + size + "x" + size + "/apps";
            const UniqueFd apps = OpenMaking(true, relative);
            const auto marked = PngWithKey(png.png, key);
            if (!apps || !marked || !Place(apps.get(), name + ".png", *marked))
                return Failed(folders_.data + "/" + relative + "/" + name + ".png", error);
        }
        if (!icons.empty()) TouchIconTheme(data_.get());
        return true;
    }

    bool WriteMenuFiles(const EntryFiles& files, std::string& error);

    void RecordMadeFolders() {
        if (data_) RecordFolders(data_.get(), machineHash_, made_);
    }

private:
    UniqueFd OpenMaking(bool inData, const std::string& relative) {
        std::vector<std::string> created;
        UniqueFd folder = OpenBelow(inData ? data_.get() : config_.get(), relative, &created);
        for (const std::string& made : created)
            made_.push_back((inData ? "data/" : "config/") + made);
        return folder;
    }

    // A file of another, or of another machine, is never replaced.
    bool Place(int folder, const std::string& name, const std::string& bytes) {
        if (Exists(folder, name)) {
            const auto old = ReadAt(folder, name);
            if (!old || OwningMachine(*old) != machineKey_) return false;
            if (*old == bytes) return true;
        }
        return WriteAt(folder, name, bytes);
    }

    static bool Failed(const std::string& what, std::string& error) {
        error = "cannot write " + what;
        return false;
    }

    const MenuFolders& folders_;
    const std::string& machineKey_;
    const std::string& machineHash_;
    UniqueFd data_, config_;
    std::vector<std::string> made_;  // "data/..." and "config/..."
};

bool MenuWriter::WriteMenuFiles(const EntryFiles& files, std::string& error) {
    const UniqueFd directories = OpenMaking(true, "desktop-directories");
    const UniqueFd applications = OpenMaking(true, "applications");
    const UniqueFd merged = OpenMaking(false, "menus/applications-merged");
    if (!directories || !applications || !merged) return Failed("the menu folders", error);
    for (const auto& [name, bytes] : files.directories)
        if (!Place(directories.get(), name, bytes))
            return Failed(folders_.data + "/desktop-directories/" + name, error);
    if (!Place(applications.get(), files.id + ".desktop", files.desktop))
        return Failed(folders_.data + "/applications/" + files.id + ".desktop", error);
    if (!Place(merged.get(), files.id + ".menu", files.menu))
        return Failed(folders_.config + "/menus/applications-merged/" + files.id + ".menu", error);
    return true;
}

// Started the way the launch button starts a program of its kind.
std::optional<Resolved> Resolve(const Machine& machine, const CreatedShortcut& shortcut,
                                std::string& error) {
    const std::string programText = machine.ToUtf8(shortcut.program).value_or(shortcut.program);
    const auto shortcutPath = machine.ToUtf8(shortcut.path);
    const auto target = machine.Map(shortcut.program);
    if (!shortcutPath || !target || !target->exists) {
        error = "the program " + programText + " is not there";
        return std::nullopt;
    }
    Resolved resolved;
    resolved.shortcut = *shortcutPath;
    resolved.program = RealPath(target->path).value_or(target->path);
    // The long form: Wine numbers short names its own way.
    const auto longPath = machine.ToWindowsPath(resolved.program);
    const auto longUtf8 = longPath ? machine.ToUtf8(*longPath) : std::nullopt;
    resolved.iconItem = longUtf8.value_or(resolved.program);
    resolved.command = {"env", "WINEPREFIX=" + machine.folder()};
    if (!IsWindowsProgram(resolved.program)) {
        resolved.command.push_back(resolved.program);
    } else if (const auto wine = WineLauncher(); wine && longUtf8) {
        resolved.command.insert(resolved.command.end(), {*wine, *longUtf8});
    } else {
        error = "no Wine to start " + programText + " with";
        return std::nullopt;
    }
    resolved.workingFolder = WorkingFolderOf(machine, shortcut.workingDirectory);
    return resolved;
}

EntryFiles FilesOf(const MachineNames& names, const CreatedShortcut& shortcut,
                   const Resolved& resolved, bool withIcon) {
    const std::string& stem = names.stem;
    const std::string groupPath = ParentWindowsPath(resolved.shortcut);
    const std::string programsPath = ParentWindowsPath(groupPath);
    const std::string groupDirectory =
        stem + ShortHash(UpperAscii(shortcut.groupFolder)) + ".directory";
    const std::vector<MenuLevel> levels{
        {"wine-wine", stem + "wine.directory", "Wine", ParentWindowsPath(programsPath)},
        {"wine-Programs", stem + "programs.directory", "Programs", programsPath},
        {"wine-Programs-" + shortcut.groupFolder, groupDirectory, shortcut.groupFolder, groupPath},
    };
    EntryFiles files;
    files.id = stem + ShortHash(UpperAscii(resolved.shortcut));
    files.icon = stem + ShortHash(resolved.program);
    for (const MenuLevel& level : levels)
        files.directories.emplace_back(level.directory,
                                       DirectoryFile(level.name, "folder", names.Key(level.item)));
    const std::string fileName = resolved.program.substr(resolved.program.rfind('/') + 1);
    files.desktop = ApplicationEntryText({shortcut.title, resolved.command, resolved.workingFolder,
                                          withIcon ? files.icon : "", LowerAscii(fileName),
                                          names.Key(resolved.shortcut)});
    files.menu = MenuFileText(levels, files.id + ".desktop", names.Key(resolved.shortcut));
    return files;
}

}  // namespace

std::optional<MenuFolders> UserMenuFolders() {
    // Relative values are invalid by the base-directory rules and ignored.
    const auto absolute = [](const char* name) -> std::string {
        const char* value = std::getenv(name);
        return value && value[0] == '/' ? value : "";
    };
    const std::string home = absolute("HOME");
    MenuFolders folders{absolute("XDG_DATA_HOME"), absolute("XDG_CONFIG_HOME")};
    if (folders.data.empty() && !home.empty()) folders.data = home + "/.local/share";
    if (folders.config.empty() && !home.empty()) folders.config = home + "/.config";
    if (folders.data.empty() || folders.config.empty()) return std::nullopt;
    return folders;
}

DesktopMenu::DesktopMenu(const Machine& machine, MenuFolders folders)
    : machine_(machine),
      folders_(std::move(folders)),
      machineKey_(MachineKey(machine)),
      machineHash_(ShortHash(machineKey_)) {}

bool DesktopMenu::Publish(const CreatedShortcut& shortcut, const std::vector<IconPng>& icons,
                          std::string& error) {
    if (const char* off = std::getenv(kNoDesktopMenuVariable); off && *off) return true;
    const auto resolved = Resolve(machine_, shortcut, error);
    if (!resolved) return false;
    const MachineNames names{machineKey_, std::string(kPrefix) + machineHash_ + "-"};
    const EntryFiles files = FilesOf(names, shortcut, *resolved, !icons.empty());
    MenuWriter writer(folders_, machineKey_, machineHash_);
    const bool written =
        writer.Open(error) &&
        writer.WriteIcons(icons, files.icon, names.Key(resolved->iconItem), error) &&
        writer.WriteMenuFiles(files, error);
    writer.RecordMadeFolders();
    return written;
}

void WithdrawGoneShortcuts(const Machine& machine) {
    if (const auto folders = UserMenuFolders()) DesktopMenu(machine, *folders).WithdrawGone();
}

void TidyDesktopMenu(const Machine& machine) {
    const auto folders = UserMenuFolders();
    if (!folders) return;
    WithdrawVanishedMachines(*folders);
    DesktopMenu(machine, *folders).WithdrawGone();
}

}  // namespace vx::desktop
