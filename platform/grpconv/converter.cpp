#include "platform/grpconv/converter.h"

#include <cstdio>

#include "platform/grpconv/group_script.h"
#include "platform/win32_types.h"

namespace vx::grpconv {

namespace {

// Far above anything the setup program writes; a larger file is not a script.
constexpr std::size_t kMaxScriptBytes = 1 << 20;

struct PlannedShortcut {
    std::string fileName;      // narrow, title + ".lnk"
    CreatedShortcut shortcut;  // all but its path
};

struct PlannedGroup {
    std::string folder;  // narrow
    std::vector<PlannedShortcut> shortcuts;
};

void Fail(const std::string& message) { std::fprintf(stderr, "grpconv: %s\n", message.c_str()); }

// Everything the script asks for in the narrow code page, or nullopt.
std::optional<std::vector<PlannedGroup>> Plan(ConverterHost& host,
                                              const std::vector<ProgramGroup>& groups) {
    std::vector<PlannedGroup> planned;
    for (const ProgramGroup& group : groups) {
        const auto folder = host.ToNarrow(group.folderName);
        if (!folder) {
            Fail("the group name \"" + group.name + "\" has no form in the machine's code page");
            return std::nullopt;
        }
        PlannedGroup next{*folder, {}};
        for (const GroupItem& item : group.items) {
            const auto fileName = host.ToNarrow(item.shortcutName);
            const auto program = host.ToNarrow(item.program);
            const auto workingDirectory = host.ToNarrow(item.workingDirectory);
            if (!fileName || !program || !workingDirectory) {
                Fail("the item \"" + item.title + "\" has no form in the machine's code page");
                return std::nullopt;
            }
            if (program->empty() || program->size() >= MAX_PATH ||
                workingDirectory->size() >= MAX_PATH) {
                Fail("the item \"" + item.title + "\" cannot be made a shortcut");
                return std::nullopt;
            }
            next.shortcuts.push_back(
                {*fileName, {"", group.folderName, item.title, *program, item.workingDirectory}});
        }
        planned.push_back(std::move(next));
    }
    return planned;
}

// A shortcut that fits in no Programs folder fails the script before anything is made.
bool FitsSomewhere(const std::vector<PlannedGroup>& groups,
                   const std::vector<ProgramsFolder>& programs) {
    const ProgramsFolder* shortest = nullptr;
    for (const ProgramsFolder& folder : programs)
        if (!folder.path.empty() && (!shortest || folder.path.size() < shortest->path.size()))
            shortest = &folder;
    if (!shortest) return true;  // each group fails on its own, saying why
    for (const PlannedGroup& group : groups)
        for (const PlannedShortcut& planned : group.shortcuts) {
            const std::string path = shortest->path + "\\" + group.folder + "\\" + planned.fileName;
            if (path.size() >= MAX_PATH) {
                Fail("the shortcut path " + path + " is too long");
                return false;
            }
        }
    return true;
}

// Makes `path` a folder, and the missing ones above it, each recorded in `made`.
bool EnsureFolder(ConverterHost& host, const std::string& path, std::vector<std::string>& made,
                  std::string& reason) {
    const ConverterHost::Entry entry = host.Lookup(path);
    if (entry == ConverterHost::Entry::Folder) return true;
    if (entry == ConverterHost::Entry::File) {
        reason = path + " exists and is not a folder";
        return false;
    }
    const std::size_t separator = path.find_last_of('\\');
    if (separator != std::string::npos &&
        !EnsureFolder(host, path.substr(0, separator), made, reason))
        return false;
    if (separator == std::string::npos || !host.CreateFolder(path)) {
        reason = "cannot create " + path;
        return false;
    }
    made.push_back(path);
    return true;
}

// The group in the Programs folder `programs`, its shortcuts added to
// `created`. On failure what this attempt made is taken back (a shortcut it
// replaced cannot be, and stays) and the reason added to `reasons`.
bool CreateIn(ConverterHost& host, const std::string& programs, const PlannedGroup& group,
              std::vector<CreatedShortcut>& created, std::vector<std::string>& reasons) {
    std::vector<std::string> madeFolders, madeFiles;
    const std::size_t createdBefore = created.size();
    const auto takeBack = [&](const std::string& reason) {
        for (auto file = madeFiles.rbegin(); file != madeFiles.rend(); ++file)
            host.RemoveFile(*file);
        for (auto folder = madeFolders.rbegin(); folder != madeFolders.rend(); ++folder)
            host.RemoveEmptyFolder(*folder);
        created.resize(createdBefore);
        reasons.push_back(reason);
        return false;
    };
    const std::string folder = programs + "\\" + group.folder;
    std::string reason;
    if (!EnsureFolder(host, folder, madeFolders, reason)) return takeBack(reason);
    for (const PlannedShortcut& planned : group.shortcuts) {
        CreatedShortcut shortcut = planned.shortcut;
        shortcut.path = folder + "\\" + planned.fileName;
        const ConverterHost::Entry entry = host.Lookup(shortcut.path);
        if (shortcut.path.size() >= MAX_PATH || entry == ConverterHost::Entry::Folder ||
            !host.SaveShortcut(shortcut))
            return takeBack("cannot write " + shortcut.path);
        if (entry == ConverterHost::Entry::Missing) madeFiles.push_back(shortcut.path);
        created.push_back(std::move(shortcut));
    }
    return true;
}

}  // namespace

std::optional<std::vector<CreatedShortcut>> ConvertGroupScript(ConverterHost& host) {
    auto windowsDir = host.WindowsDirectory();
    if (!windowsDir) {
        Fail("no Windows directory");
        return std::nullopt;
    }
    while (!windowsDir->empty() && (windowsDir->back() == '\\' || windowsDir->back() == '/'))
        windowsDir->pop_back();

    const std::string scriptPath = *windowsDir + "\\SETUP.INI";
    const auto narrow = host.ReadWholeFile(scriptPath, kMaxScriptBytes);
    if (!narrow) {
        Fail("cannot read " + scriptPath);
        return std::nullopt;
    }
    const auto text = host.ToUtf8(*narrow);
    if (!text) {
        Fail(scriptPath + " is not text of the machine's code page");
        return std::nullopt;
    }
    std::string error;
    const auto groups = ParseGroupScript(*text, error);
    if (!groups) {
        Fail(scriptPath + ": " + error);
        return std::nullopt;
    }
    const auto planned = Plan(host, *groups);
    if (!planned) return std::nullopt;
    const std::vector<ProgramsFolder> programs = host.ProgramsFolders();
    if (!FitsSomewhere(*planned, programs)) return std::nullopt;
    if (host.Lookup(*windowsDir) != ConverterHost::Entry::Folder) {
        Fail("the Windows directory " + *windowsDir + " is not there");
        return std::nullopt;
    }

    std::vector<CreatedShortcut> created;
    for (const PlannedGroup& group : *planned) {
        std::vector<std::string> reasons;
        bool made = false;
        for (const ProgramsFolder& folder : programs) {
            if (folder.path.empty())
                reasons.push_back(folder.missing);
            else if ((made = CreateIn(host, folder.path, group, created, reasons)))
                break;
        }
        if (!made) {
            for (const std::string& reason : reasons) Fail(reason);
            return std::nullopt;
        }
    }
    return created;
}

}  // namespace vx::grpconv
