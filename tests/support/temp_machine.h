// A machine and a distribution folder for a test, made fresh and cleaned up
// again when the test ends. On Linux the machine is a new Wine-style prefix
// in a temporary directory. In the Windows build, under Wine, it is the real
// system made fresh enough, since every test shares one C:\windows: on
// construction and again on destruction the settings file, the group script
// and the Start-menu groups are removed, new top-level folders of C:\ go,
// and the runtime libraries of the system directory are put back as they
// were. The distribution folder is a new temporary folder either way.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#ifdef _WIN32
#include "tests/win32/support/test_system_services.h"
#else
#include "platform/posix/posix_system_services.h"
#include "tests/support/scoped_state.h"
#endif

namespace vx::testing {

class TempMachine {
public:
#ifdef _WIN32
    using Services = TestSystemServices;
    TempMachine();
    // Fresh services over the same machine, as a later run of the program sees it.
    void Restart();
#else
    using Services = posix::PosixSystemServices;
    // Lays out machine/ (a fresh Wine-style prefix) and dist/ (the setup
    // program's folder, holding "install") under a new temporary directory,
    // and points HOME, XDG_DATA_HOME and XDG_CONFIG_HOME into home/ there
    // until it goes, so that nothing a test starts writes the user's folders.
    explicit TempMachine(posix::CodePage codePage = posix::CodePage::Windows1252);
    // A fresh stand-in over the same folders, as a later run of the program sees it.
    void Restart(posix::CodePage codePage = posix::CodePage::Windows1252);

    std::filesystem::path homeFolder() const { return root_ / "home"; }
    std::filesystem::path dataHome() const { return homeFolder() / ".local" / "share"; }
    std::filesystem::path configHome() const { return homeFolder() / ".config"; }
    // Links dosdevices/<letter>: to a host folder (created when missing).
    void MapDrive(char letter, const std::filesystem::path& target);
#endif
    ~TempMachine();
    TempMachine(const TempMachine&) = delete;
    TempMachine& operator=(const TempMachine&) = delete;

    const std::filesystem::path& root() const { return root_; }
    // The Wine prefix the drives live in (on Windows, through drive Z:).
    std::filesystem::path machineFolder() const;
    std::filesystem::path driveC() const;
    std::filesystem::path windowsFolder() const;
    std::filesystem::path distFolder() const { return root_ / "dist"; }
    // A Programs folder of the Start menu, as the shell names it (on Linux
    // both are the one below the Windows directory).
    std::filesystem::path programsFolder(int csidl = CSIDL_COMMON_PROGRAMS) const;

    Services& sys() { return *sys_; }

private:
    std::filesystem::path root_;
    std::unique_ptr<Services> sys_;
#ifdef _WIN32
    void MakeFresh();
    std::filesystem::path windows_;
#else
    std::unique_ptr<ScopedEnvironment> home_, data_, config_;
#endif
};

// Host file helpers for assertions.
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, std::string_view bytes);
// Removes a tree, read-only entries included; quiet when it is not there.
void RemoveTree(const std::filesystem::path& path);

}  // namespace vx::testing
