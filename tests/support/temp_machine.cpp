#include "tests/support/temp_machine.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace vx::testing {

namespace fs = std::filesystem;

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
    std::error_code ec;
    // Tests may leave read-only entries behind; root removes them regardless.
    fs::remove_all(root_, ec);
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

}  // namespace vx::testing
