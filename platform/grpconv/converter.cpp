#include "platform/grpconv/converter.h"

#include <cstdio>

#include "platform/grpconv/group_script.h"
#include "platform/win32_names.h"
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

// Nullopt when it is no file, cannot be read or is larger than a script.
std::optional<std::string> ReadScript(const std::string& libraryPath) {
    std::FILE* file = std::fopen(libraryPath.c_str(), "rb");
    if (!file) return std::nullopt;
    std::string text(kMaxScriptBytes + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file));
    const bool whole = !std::ferror(file) && text.size() <= kMaxScriptBytes;
    std::fclose(file);
    return whole ? std::optional<std::string>(std::move(text)) : std::nullopt;
}

// Everything the script asks for in the narrow code page, or nullopt. A
// shortcut must fit in the shortest Programs folder (none: each group fails
// on its own), so that one that fits nowhere fails before anything is made.
std::optional<std::vector<PlannedGroup>> Plan(ConverterHost& host,
                                              const std::vector<ProgramGroup>& groups,
                                              const std::string& shortestPrograms) {
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
            const std::string path = shortestPrograms + "\\" + *folder + "\\" + *fileName;
            if (!shortestPrograms.empty() && path.size() >= MAX_PATH) {
                Fail("the shortcut path " + path + " is too long");
                return std::nullopt;
            }
            next.shortcuts.push_back(
                {*fileName, {"", group.folderName, item.title, *program, item.workingDirectory}});
        }
        planned.push_back(std::move(next));
    }
    return planned;
}

// Makes `path` a folder, and the missing ones above it, each added to `made`.
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
    std::vector<std::string> made;
    const std::size_t createdBefore = created.size();
    const auto takeBack = [&](const std::string& reason) {
        for (auto path = made.rbegin(); path != made.rend(); ++path) host.Remove(*path);
        created.resize(createdBefore);
        reasons.push_back(reason);
        return false;
    };
    const std::string folder = programs + "\\" + group.folder;
    std::string reason;
    if (!EnsureFolder(host, folder, made, reason)) return takeBack(reason);
    for (const PlannedShortcut& planned : group.shortcuts) {
        CreatedShortcut shortcut = planned.shortcut;
        shortcut.path = folder + "\\" + planned.fileName;
        const ConverterHost::Entry entry = host.Lookup(shortcut.path);
        if (shortcut.path.size() >= MAX_PATH || entry == ConverterHost::Entry::Folder ||
            !host.SaveShortcut(shortcut))
            return takeBack("cannot write " + shortcut.path);
        if (entry == ConverterHost::Entry::Missing) made.push_back(shortcut.path);
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
    while (!windowsDir->empty() && IsSeparator(windowsDir->back())) windowsDir->pop_back();

    const std::string scriptPath = *windowsDir + "\\SETUP.INI";
    const auto libraryPath = host.LibraryPath(scriptPath);
    const auto narrow = libraryPath ? ReadScript(*libraryPath) : std::nullopt;
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
    const std::vector<ProgramsFolder> programs = host.ProgramsFolders();
    std::string shortest;
    for (const ProgramsFolder& folder : programs)
        if (!folder.path.empty() && (shortest.empty() || folder.path.size() < shortest.size()))
            shortest = folder.path;
    const auto planned = Plan(host, *groups, shortest);
    if (!planned) return std::nullopt;
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
