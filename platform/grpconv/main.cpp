// grpconv: the group converter on a machine folder. With -o it turns the
// group script SETUP.INI in the Windows directory into folders of the Start
// menu's Programs folder below the Windows directory, holding one shortcut
// per item, written as Shell Link files.
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/desktop/desktop_menu.h"
#include "platform/grpconv/converter.h"
#include "platform/grpconv/shell_link.h"
#include "platform/host/host_files.h"
#include "platform/posix/posix_system_services.h"
#include "platform/win32_types.h"

namespace {

using vx::grpconv::CreatedShortcut;
using vx::posix::Machine;

// The machine's files through its own path mapping: an existing entry is
// found without regard to case, a new one gets the name as given.
class MachineHost final : public vx::grpconv::ConverterHost {
public:
    explicit MachineHost(vx::posix::PosixSystemServices& sys) : sys_(sys) {}

    std::optional<std::string> WindowsDirectory() override {
        char buffer[vx::MAX_PATH];
        const vx::UINT length = sys_.GetWindowsDirectoryA(buffer, sizeof buffer);
        if (length == 0 || length >= sizeof buffer) return std::nullopt;
        return std::string(buffer, length);
    }

    std::optional<std::string> LibraryPath(const std::string& path) override {
        const auto host = machine().Map(path);
        return host ? std::optional<std::string>(host->path) : std::nullopt;
    }

    std::optional<std::string> ToUtf8(std::string_view narrow) override {
        return machine().ToUtf8(narrow);
    }
    std::optional<std::string> ToNarrow(std::string_view utf8) override {
        return machine().ToNarrow(utf8);
    }

    // The machine has one, below the Windows directory.
    std::vector<vx::grpconv::ProgramsFolder> ProgramsFolders() override {
        char path[vx::MAX_PATH];
        if (sys_.SHGetFolderPathA(nullptr, vx::CSIDL_PROGRAMS, nullptr, vx::SHGFP_TYPE_CURRENT,
                                  path) != vx::S_OK)
            return {{"", "no Programs folder"}};
        return {{path, ""}};
    }

    Entry Lookup(const std::string& path) override {
        const vx::DWORD attributes = sys_.GetFileAttributesA(path.c_str());
        if (attributes == vx::INVALID_FILE_ATTRIBUTES) return Entry::Missing;
        return attributes & vx::FILE_ATTRIBUTE_DIRECTORY ? Entry::Folder : Entry::File;
    }

    bool CreateFolder(const std::string& path) override {
        const auto host = LibraryPath(path);
        return host && vx::host::CreateHostFolder(*host, 0755) == vx::ERROR_SUCCESS;
    }

    bool SaveShortcut(const CreatedShortcut& shortcut) override {
        const auto host = LibraryPath(shortcut.path);
        const auto bytes = vx::grpconv::ShellLinkBytes(shortcut.program, shortcut.workingDirectory);
        return host && bytes && vx::host::ReplaceHostFile(*host, *bytes) == vx::ERROR_SUCCESS;
    }

    void Remove(const std::string& path) override {
        // Taking back a shortcut is best effort: one left behind harms nothing.
        if (const auto host = LibraryPath(path)) (void)std::remove(host->c_str());
    }

private:
    const Machine& machine() const { return sys_.machine(); }

    vx::posix::PosixSystemServices& sys_;
};

// Each new shortcut also reaches the desktop's menu; a failure there is a
// warning only, the shortcut stays.
void PublishShortcuts(const Machine& machine, const std::vector<CreatedShortcut>& shortcuts) {
    const auto menuFolders = vx::desktop::UserMenuFolders();
    if (!menuFolders) return;
    vx::desktop::DesktopMenu menu(machine, *menuFolders);
    for (const CreatedShortcut& shortcut : shortcuts) {
        const auto program = machine.Map(shortcut.program);
        const auto icons = program && program->exists ? vx::desktop::ProgramIconPngs(program->path)
                                                      : std::vector<vx::desktop::IconPng>{};
        std::string error;
        if (!menu.Publish(shortcut, icons, error))
            std::fprintf(stderr, "grpconv: no desktop menu entry for \"%s\": %s\n",
                         shortcut.title.c_str(), error.c_str());
    }
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
    MachineHost host(sys);
    const auto created = vx::grpconv::ConvertGroupScript(host);
    if (!created) return 1;
    PublishShortcuts(sys.machine(), *created);
    return 0;
}
