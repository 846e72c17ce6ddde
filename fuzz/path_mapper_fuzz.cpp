// The path mapper: arbitrary Windows path text, in either code page, on a
// machine with a few drives (one a link to a folder outside the machine, one
// a relative link, one dangling, one naming a file). Whatever host path a
// text maps to lies inside the folder of its drive, and mapping is stable.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/host/host_paths.h"
#include "platform/posix/machine.h"

namespace {

namespace fs = std::filesystem;
using vx::fuzz::Fail;
using vx::host::RealPath;
using vx::posix::CodePage;
using vx::posix::HostPath;
using vx::posix::Machine;

bool Inside(const std::string& folder, const std::string& path) {
    return path == folder ||
           (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
            path[folder.size()] == '/');
}

struct Fixture {
    std::string currentFolder;  // C:\windows, where relative paths start
    Machine westernMachine;
    Machine japaneseMachine;
};

void MakeFolders(const fs::path& root, std::initializer_list<const char*> names) {
    for (const char* name : names) fs::create_directories(root / name);
}

void MakeFiles(const fs::path& root, std::initializer_list<const char*> names) {
    for (const char* name : names) vx::fuzz::WriteHostFile((root / name).string(), "x");
}

const Fixture& TheFixture() {
    static const Fixture* const fixture = [] {
        const std::string machine = vx::fuzz::MachineFolder();
        const fs::path scratch = vx::fuzz::ScratchFolder();
        const fs::path c = fs::path(machine) / "drive_c";
        MakeFolders(c, {"Program Files/Vornalux Game", "windows/Start Menu/Programs", "abc", "ABC",
                        "\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0",  // katakana "game"
                        "caf\xC3\xA9", "a.b.c.d", ".hidden"});
        MakeFiles(c, {"Program Files/Vornalux Game/VORNALUX.EXE", "windows/system32/MSVCRT.DLL",
                      "LongFileName1.txt", "LongFileName2.txt", "windows/vornalux.ini"});
        fs::create_directory_symlink("windows", c / "inner");
        MakeFolders(scratch / "outside", {"Data/Saved Games"});
        MakeFiles(scratch / "outside", {"Data/Saved Games/slot one.sav"});
        MakeFolders(scratch / "drive_e", {"Games"});
        vx::fuzz::WriteHostFile((scratch / "plain-file").string(), "x");
        const fs::path devices = fs::path(machine) / "dosdevices";
        fs::create_directory_symlink(scratch / "outside", devices / "d:");
        fs::create_directory_symlink("../../drive_e", devices / "e:");
        fs::create_symlink(scratch / "missing", devices / "f:");
        fs::create_symlink(scratch / "plain-file", devices / "g:");
        return new Fixture{(c / "windows").string(),
                           Machine({machine, "/nonexistent/install", CodePage::Windows1252}),
                           Machine({machine, "/nonexistent/install", CodePage::ShiftJis})};
    }();
    return *fixture;
}

// The host path lies inside its drive's folder: lexically (clean components
// below the drive link) and on disk (the real path of its longest existing
// part starts with the real path of the drive).
void CheckInside(const Machine& machine, const HostPath& host, std::string_view text) {
    const std::string devices = machine.folder() + "/dosdevices/";
    if (host.driveRoot.size() != devices.size() + 2 ||
        host.driveRoot.compare(0, devices.size(), devices) != 0 || host.driveRoot.back() != ':')
        Fail("a path maps onto one of the machine's drives", host.driveRoot);
    if (!Inside(host.driveRoot, host.path)) Fail("a path stays below its drive link", host.path);
    std::string existing = host.driveRoot;
    bool allExist = true;
    std::size_t at = host.driveRoot.size();
    while (at < host.path.size()) {
        const std::size_t next = std::min(host.path.find('/', at + 1), host.path.size());
        const std::string component = host.path.substr(at + 1, next - at - 1);
        if (component.empty() || component == "." || component == "..")
            Fail("a mapped path holds only plain names", host.path);
        struct stat status;
        if (allExist && lstat((existing + "/" + component).c_str(), &status) == 0)
            existing += "/" + component;
        else
            allExist = false;
        at = next;
    }
    if (host.exists && !allExist) Fail("a path said to exist exists", host.path);
    // The drives' links do not change during the run.
    static std::map<std::string, std::optional<std::string>> driveFolders;
    const auto known = driveFolders.find(host.driveRoot);
    const std::optional<std::string> drive =
        known != driveFolders.end() ? known->second
                                    : driveFolders[host.driveRoot] = RealPath(host.driveRoot);
    if (!drive) return;  // a dangling drive holds nothing
    const std::optional<std::string> real = RealPath(existing);
    if (real && !Inside(*drive, *real))
        Fail("a path maps inside the folder of its drive", std::string(text) + " -> " + *real);
}

// Runs `check` from C:\windows, and returns to the fuzzer's own folder,
// where its corpus and artifact paths are relative to.
template <typename Check>
void FromCurrentFolder(const std::string& folder, Check check) {
    static const int home = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (home < 0 || chdir(folder.c_str()) != 0) Fail("the current folder can be set");
    check();
    if (fchdir(home) != 0) Fail("the current folder can be set back");
}

void CheckMapping(const Machine& machine, std::string_view text) {
    const std::optional<HostPath> host = machine.Map(text);
    const std::optional<HostPath> again = machine.Map(text);
    if (host.has_value() != again.has_value() ||
        (host && (host->path != again->path || host->driveRoot != again->driveRoot ||
                  host->exists != again->exists)))
        Fail("mapping the same text twice gives the same result");
    if (!host) return;
    CheckInside(machine, *host, text);

    // An existing file's Windows path leads back to the same file.
    if (!host->exists) return;
    const std::optional<std::string> windows = machine.ToWindowsPath(host->path);
    if (!windows) return;
    const std::optional<HostPath> back = machine.Map(*windows);
    if (!back || !back->exists || RealPath(back->path) != RealPath(host->path))
        Fail("the Windows path of a mapped file maps back to it", *windows);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const Fixture& fixture = TheFixture();
    const Machine& machine = data[0] & 1 ? fixture.japaneseMachine : fixture.westernMachine;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    FromCurrentFolder(fixture.currentFolder, [&] { CheckMapping(machine, text); });
    return 0;
}
