#include "tests/support/temp_machine.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <stdlib.h>
#include <sys/stat.h>
#endif

namespace vx::testing {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void RemoveTree(const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec))) return;
#ifdef _WIN32
    // Windows refuses to delete read-only entries.
    if (fs::is_directory(path, ec))
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(path, ec))
            ::SetFileAttributesA(entry.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
    ::SetFileAttributesA(path.string().c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
    // On Linux the tests run as root, which removes read-only entries regardless.
    fs::remove_all(path, ec);
}

// The Windows build's machine is in tests/win32/support/temp_machine.cpp.
#ifndef _WIN32
TempMachine::TempMachine(posix::CodePage codePage) {
    std::string pattern = (fs::temp_directory_path() / "vx-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    // Readable by the unprivileged user some tests switch to.
    chmod(root_.c_str(), 0755);
    fs::create_directories(distFolder());
    fs::create_directories(homeFolder());
    home_ = std::make_unique<ScopedEnvironment>("HOME", homeFolder().string());
    data_ = std::make_unique<ScopedEnvironment>("XDG_DATA_HOME", dataHome().string());
    config_ = std::make_unique<ScopedEnvironment>("XDG_CONFIG_HOME", configHome().string());
    WriteFile(distFolder() / "install", "#!/bin/sh\n");
    if (!posix::PrepareMachineFolder(machineFolder().string()))
        throw std::runtime_error("PrepareMachineFolder failed");
    Restart(codePage);
}

TempMachine::~TempMachine() {
    config_.reset();
    data_.reset();
    home_.reset();
    RemoveTree(root_);
}

fs::path TempMachine::machineFolder() const { return root_ / "machine"; }
fs::path TempMachine::driveC() const { return machineFolder() / "drive_c"; }
fs::path TempMachine::windowsFolder() const { return driveC() / "windows"; }
fs::path TempMachine::programsFolder(int) const {
    return windowsFolder() / "Start Menu" / "Programs";
}

void TempMachine::MapDrive(char letter, const fs::path& target) {
    fs::create_directories(target);
    const fs::path link = machineFolder() / "dosdevices" / (std::string(1, letter) + ":");
    std::error_code ec;
    fs::remove(link, ec);
    fs::create_directory_symlink(target, link);
}

void TempMachine::Restart(posix::CodePage codePage) {
    sys_ = std::make_unique<posix::PosixSystemServices>(posix::MachineOptions{
        machineFolder().string(), (distFolder() / "install").string(), codePage});
}
#endif

}  // namespace vx::testing
