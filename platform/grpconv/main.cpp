// grpconv: the group converter. With -o it turns the group script SETUP.INI
// in the Windows directory into Start-menu folders holding one shortcut per
// item. The script is read and checked whole before anything is created, so
// a script it cannot read leaves the Start menu as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/grpconv/group_script.h"
#include "platform/grpconv/shell_link.h"
#include "platform/posix/desktop_menu.h"
#include "platform/posix/posix_system_services.h"
#include "platform/win32_types.h"

namespace {

using vx::grpconv::ProgramGroup;
using vx::posix::Machine;

// Far above anything the setup program writes; a larger file is not a script.
constexpr std::size_t kMaxScriptBytes = 1 << 20;

struct PlannedShortcut {
    std::string windowsPath;  // narrow
    std::string fileName;     // UTF-8, the host name when no entry exists yet
    std::string bytes;
    std::string title;             // UTF-8
    std::string program;           // narrow, as the script gives it
    std::string workingDirectory;  // UTF-8
};

struct PlannedFolder {
    std::string windowsPath;              // narrow
    std::vector<std::string> components;  // UTF-8, below the Windows directory
    std::vector<std::string> narrowComponents;
    std::vector<PlannedShortcut> shortcuts;
};

void Fail(const std::string& message) { std::fprintf(stderr, "grpconv: %s\n", message.c_str()); }

bool IsDirectory(const std::string& hostPath) {
    struct stat st;
    return stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> ReadScript(const std::string& hostPath) {
    const int fd = open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || text.size() + static_cast<std::size_t>(n) > kMaxScriptBytes) {
            close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        text.append(chunk, static_cast<std::size_t>(n));
    }
    close(fd);
    return text;
}

// Everything the script asks for, as paths and shortcut bytes, or nullopt.
std::optional<std::vector<PlannedFolder>> Plan(const Machine& machine,
                                               const std::string& windowsDir,
                                               const std::vector<ProgramGroup>& groups) {
    std::vector<PlannedFolder> folders;
    for (const ProgramGroup& group : groups) {
        const auto folderNarrow = machine.ToNarrow(group.folderName);
        if (!folderNarrow) {
            Fail("the group name \"" + group.name + "\" has no form in the machine's code page");
            return std::nullopt;
        }
        PlannedFolder folder;
        folder.components = {"Start Menu", "Programs", group.folderName};
        folder.narrowComponents = {"Start Menu", "Programs", *folderNarrow};
        folder.windowsPath = windowsDir + "\\Start Menu\\Programs\\" + *folderNarrow;

        for (const auto& item : group.items) {
            const auto nameNarrow = machine.ToNarrow(item.shortcutName);
            const auto target = machine.ToNarrow(item.program);
            if (!nameNarrow || !target) {
                Fail("the item \"" + item.title + "\" has no form in the machine's code page");
                return std::nullopt;
            }
            PlannedShortcut shortcut;
            shortcut.windowsPath = folder.windowsPath + "\\" + *nameNarrow;
            if (shortcut.windowsPath.size() >= vx::MAX_PATH) {
                Fail("the shortcut path " + shortcut.windowsPath + " is too long");
                return std::nullopt;
            }
            auto bytes = vx::grpconv::ShellLinkBytes(*target, item.workingDirectory);
            if (!bytes) {
                Fail("the item \"" + item.title + "\" cannot be made a shortcut");
                return std::nullopt;
            }
            shortcut.fileName = item.shortcutName;
            shortcut.title = item.title;
            shortcut.program = *target;
            shortcut.workingDirectory = item.workingDirectory;
            shortcut.bytes = std::move(*bytes);
            folder.shortcuts.push_back(std::move(shortcut));
        }
        folders.push_back(std::move(folder));
    }
    return folders;
}

// The host folder of `windowsPath`: the existing entry of that name (found
// the way Windows finds it, without regard to case) or a new folder.
std::optional<std::string> EnsureFolder(const Machine& machine, const std::string& parentHost,
                                        const std::string& windowsPath,
                                        const std::string& component) {
    const auto mapped = machine.Map(windowsPath);
    if (mapped && mapped->exists) {
        if (IsDirectory(mapped->path)) return mapped->path;
        Fail(windowsPath + " exists and is not a folder");
        return std::nullopt;
    }
    const std::string host = parentHost + "/" + component;
    if (mkdir(host.c_str(), 0755) != 0 && !(errno == EEXIST && IsDirectory(host))) {
        Fail("cannot create " + windowsPath);
        return std::nullopt;
    }
    return host;
}

bool Create(const Machine& machine, const std::string& windowsDir,
            const std::vector<PlannedFolder>& folders) {
    const auto windowsHost = machine.Map(windowsDir);
    if (!windowsHost || !windowsHost->exists || !IsDirectory(windowsHost->path)) {
        Fail("the Windows directory " + windowsDir + " is not there");
        return false;
    }
    for (const PlannedFolder& folder : folders) {
        std::string host = windowsHost->path;
        std::string windowsPath = windowsDir;
        for (std::size_t i = 0; i < folder.components.size(); ++i) {
            windowsPath += "\\" + folder.narrowComponents[i];
            const auto next = EnsureFolder(machine, host, windowsPath, folder.components[i]);
            if (!next) return false;
            host = *next;
        }
        for (const PlannedShortcut& shortcut : folder.shortcuts) {
            // Replace an existing shortcut of that name under its own spelling.
            const auto existing = machine.Map(shortcut.windowsPath);
            const std::string path =
                existing && existing->exists ? existing->path : host + "/" + shortcut.fileName;
            if (IsDirectory(path) || !vx::grpconv::WriteFileAtomically(path, shortcut.bytes)) {
                Fail("cannot write " + shortcut.windowsPath);
                return false;
            }
        }
    }
    return true;
}

// Each shortcut also reaches the desktop's menu; a failure there is a
// warning only, the shortcut stays.
void PublishShortcuts(const Machine& machine, const std::vector<PlannedFolder>& folders) {
    const auto menuFolders = vx::posix::UserMenuFolders();
    if (!menuFolders) return;
    vx::posix::DesktopMenu menu(machine, *menuFolders);
    for (const PlannedFolder& folder : folders) {
        for (const PlannedShortcut& shortcut : folder.shortcuts) {
            const auto program = machine.Map(shortcut.program);
            vx::posix::MenuShortcut entry{
                shortcut.windowsPath, folder.components.back(),  shortcut.title,
                shortcut.program,     shortcut.workingDirectory, {}};
            if (program && program->exists) entry.icons = vx::posix::ProgramIconPngs(program->path);
            std::string error;
            if (!menu.Publish(entry, error))
                Fail("no desktop menu entry for \"" + shortcut.title + "\": " + error);
        }
    }
}

bool ConvertGroupScript(vx::posix::PosixSystemServices& sys) {
    const Machine& machine = sys.machine();
    char buffer[vx::MAX_PATH];
    const vx::UINT length = sys.GetWindowsDirectoryA(buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer) {
        Fail("no Windows directory");
        return false;
    }
    std::string windowsDir(buffer, length);
    while (!windowsDir.empty() && (windowsDir.back() == '\\' || windowsDir.back() == '/'))
        windowsDir.pop_back();

    const std::string scriptPath = windowsDir + "\\SETUP.INI";
    const auto scriptHost = machine.Map(scriptPath);
    const auto narrow = scriptHost && scriptHost->exists && !IsDirectory(scriptHost->path)
                            ? ReadScript(scriptHost->path)
                            : std::nullopt;
    if (!narrow) {
        Fail("cannot read " + scriptPath);
        return false;
    }
    const auto text = machine.ToUtf8(*narrow);
    if (!text) {
        Fail(scriptPath + " is not text of the machine's code page");
        return false;
    }
    std::string error;
    const auto groups = vx::grpconv::ParseGroupScript(*text, error);
    if (!groups) {
        Fail(scriptPath + ": " + error);
        return false;
    }
    const auto folders = Plan(machine, windowsDir, *groups);
    if (!folders || !Create(machine, windowsDir, *folders)) return false;
    PublishShortcuts(machine, *folders);
    return true;
}

bool IsConvertOption(std::string_view argument) {
    return argument == "-o" || argument == "-O" || argument == "/o" || argument == "/O";
}

}  // namespace

int main(int argc, char** argv) {
    // A write past a file-size limit fails and is reported, leaving no debris.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    if (argc != 2 || !IsConvertOption(argv[1])) {
        std::fprintf(stderr, "usage: grpconv -o\n");
        return 2;
    }
    // A machine without a Windows directory holds no script to convert; the
    // converter must not lay out a new one (the folder may have just been removed).
    const std::string machine = vx::posix::LocateMachineFolder();
    struct stat windows {};
    if (stat((machine + "/drive_c").c_str(), &windows) != 0 || !S_ISDIR(windows.st_mode)) {
        std::fprintf(stderr, "grpconv: no Windows machine in %s\n", machine.c_str());
        return 1;
    }
    vx::posix::PosixSystemServices sys({machine, "", vx::posix::CodePage::Windows1252});
    return ConvertGroupScript(sys) ? 0 : 1;
}
