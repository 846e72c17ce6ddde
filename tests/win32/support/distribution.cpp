#include "tests/support/distribution.h"

#include <chrono>
#include <thread>

#include "setup/paths.h"

namespace vx::testing {

namespace fs = std::filesystem;

std::string PlaceholderContent(const std::string& name) {
    return "placeholder " + name + "\r\n" + std::string(name.size() * 37, '#');
}

void FillDistribution(TempMachine& machine, bool withConverter) {
    for (const char* name : ProgramFiles)
        WriteFile(machine.distFolder() / name, PlaceholderContent(name));
    // The built placeholder libraries: a 64-bit converter beside them passes
    // over them, while a resource-only stand-in would be loaded and break it.
    for (const char* name : SystemFiles)
        fs::copy_file(fs::path(VX_DIST_DIR) / name, machine.distFolder() / name,
                      fs::copy_options::overwrite_existing);
    if (withConverter)
        fs::copy_file(fs::path(VX_DIST_DIR) / "grpconv.exe", machine.distFolder() / "grpconv.exe",
                      fs::copy_options::overwrite_existing);
}

bool WaitForFile(const fs::path& path, int milliseconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code ec;
        if (fs::exists(path, ec)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

}  // namespace vx::testing
