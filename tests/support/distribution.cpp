#include "tests/support/distribution.h"

#include <chrono>
#include <thread>

#include "setup/paths.h"

namespace vx::testing {

namespace fs = std::filesystem;

std::string PlaceholderContent(const std::string& name) {
    return "placeholder " + name + "\r\n" + std::string(name.size() * 37, '#');
}

namespace {

// A file of the preset's build, copied into the distribution folder.
void PlaceBuilt(TempMachine& machine, const std::string& name) {
    fs::copy_file(fs::path(VX_DIST_DIR) / name, machine.distFolder() / name,
                  fs::copy_options::overwrite_existing);
}

}  // namespace

void FillDistribution(TempMachine& machine, bool withConverter) {
    for (const char* name : ProgramFiles)
        WriteFile(machine.distFolder() / name, PlaceholderContent(name));
#ifdef _WIN32
    for (const char* name : SystemFiles) PlaceBuilt(machine, name);
    if (withConverter) PlaceBuilt(machine, "grpconv.exe");
#else
    for (const char* name : SystemFiles)
        WriteFile(machine.distFolder() / name, PlaceholderContent(name));
    if (withConverter) PlaceBuilt(machine, "grpconv");
#endif
}

#ifndef _WIN32
fs::path PlaceSetupProgram(TempMachine& machine) {
    for (const char* name : {"install", "install-windows.so", "install-gtk.so"})
        PlaceBuilt(machine, name);
    return machine.distFolder() / "install";
}
#endif

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
