// A real machine folder and distribution folder in a temporary directory,
// removed again when the test ends.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/posix/posix_system_services.h"
#include "tests/support/scoped_state.h"

namespace vx::testing {

class TempMachine {
public:
    // Lays out machine/ (a fresh Wine-style prefix) and dist/ (the setup
    // program's folder, holding "install") under a new temporary directory,
    // and points HOME, XDG_DATA_HOME and XDG_CONFIG_HOME into home/ there
    // until it goes, so that nothing a test starts writes the user's folders.
    explicit TempMachine(posix::CodePage codePage = posix::CodePage::Windows1252);
    ~TempMachine();
    TempMachine(const TempMachine&) = delete;
    TempMachine& operator=(const TempMachine&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path machineFolder() const { return root_ / "machine"; }
    std::filesystem::path driveC() const { return machineFolder() / "drive_c"; }
    std::filesystem::path windowsFolder() const { return driveC() / "windows"; }
    std::filesystem::path distFolder() const { return root_ / "dist"; }
    std::filesystem::path homeFolder() const { return root_ / "home"; }
    std::filesystem::path dataHome() const { return homeFolder() / ".local" / "share"; }
    std::filesystem::path configHome() const { return homeFolder() / ".config"; }
    // A Programs folder of the Start menu: here both are the one below the
    // Windows directory.
    std::filesystem::path programsFolder(int csidl = CSIDL_COMMON_PROGRAMS) const {
        return windowsFolder() / "Start Menu" / "Programs";
    }

    // Links dosdevices/<letter>: to a host folder (created when missing).
    void MapDrive(char letter, const std::filesystem::path& target);

    posix::PosixSystemServices& sys() { return *sys_; }
    // A fresh stand-in over the same folders, as a later run of the program sees it.
    void Restart(posix::CodePage codePage = posix::CodePage::Windows1252);

private:
    std::filesystem::path root_;
    std::unique_ptr<posix::PosixSystemServices> sys_;
    std::unique_ptr<ScopedEnvironment> home_, data_, config_;
};

// Host file helpers for assertions.
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace vx::testing
