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
    for (const char* name : SystemFiles)
        WriteFile(machine.distFolder() / name, PlaceholderContent(name));
    if (withConverter) {
        const fs::path built = fs::path(VX_DIST_DIR) / "grpconv";
        fs::copy_file(built, machine.distFolder() / "grpconv",
                      fs::copy_options::overwrite_existing);
    }
}

fs::path PlaceSetupProgram(TempMachine& machine) {
    for (const char* name : {"install", "install-windows.so", "install-gtk.so"})
        fs::copy_file(fs::path(VX_DIST_DIR) / name, machine.distFolder() / name,
                      fs::copy_options::overwrite_existing);
    return machine.distFolder() / "install";
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
