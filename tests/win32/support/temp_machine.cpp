#include "tests/support/temp_machine.h"

#include <atomic>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <system_error>

#include "setup/paths.h"
#include "setup/program_group.h"
#include "setup/settings_file.h"

// After the project's headers: <windows.h> defines several of their names as macros.
// clang-format off
#include <windows.h>
#include <shlobj.h>
// clang-format on

namespace vx::testing {

namespace fs = std::filesystem;

namespace {

std::string Folded(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::set<std::string> EntriesOf(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec))
        names.insert(Folded(entry.path().filename().string()));
    return names;
}

fs::path SystemFolder() {
    char buffer[MAX_PATH];
    const UINT length = ::GetSystemDirectoryA(buffer, MAX_PATH);
    return fs::path(std::string(buffer, length < MAX_PATH ? length : 0));
}

// C:\ and the system directory's runtime libraries as the first machine of
// this test program found them: what every later machine is made fresh to.
struct Original {
    std::set<std::string> driveEntries;
    std::set<std::string> windowsEntries;
    std::map<std::string, std::optional<std::string>> libraries;
};

const Original& OriginalMachine() {
    static const Original original = [] {
        Original o;
        o.driveEntries = EntriesOf("C:\\");
        char windows[MAX_PATH];
        const UINT length = ::GetWindowsDirectoryA(windows, MAX_PATH);
        o.windowsEntries = EntriesOf(std::string(windows, length < MAX_PATH ? length : 0));
        for (const char* name : SystemFiles) {
            const fs::path path = SystemFolder() / name;
            std::error_code ec;
            o.libraries[name] = fs::exists(path, ec) ? std::optional(ReadFile(path)) : std::nullopt;
        }
        return o;
    }();
    return original;
}

std::string UniqueTempFolder() {
    static std::atomic<int> counter{0};
    char temp[MAX_PATH];
    const DWORD length = ::GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH) throw std::runtime_error("GetTempPathA failed");
    return std::string(temp, length) + "vx-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(++counter);
}

}  // namespace

DWORD TestSystemServices::GetModuleFileNameA(char* buffer, DWORD size) {
    if (buffer == nullptr || size == 0) return 0;
    if (programPath_.size() < size) {
        programPath_.copy(buffer, programPath_.size());
        buffer[programPath_.size()] = '\0';
        return static_cast<DWORD>(programPath_.size());
    }
    // Cut to the buffer, terminated, as the real call does.
    programPath_.copy(buffer, size - 1);
    buffer[size - 1] = '\0';
    return size;
}

std::string TestSystemServices::InDistribution(const char* commandLine) const {
    // A bare program name is looked up first where the setup program was
    // loaded from: here the distribution folder, not the test's own.
    const std::string line = commandLine != nullptr ? commandLine : "";
    const std::size_t end = line.find(' ');
    const std::string name = line.substr(0, end);
    if (!name.empty() && name.find_first_of("\\/:\"") == std::string::npos) {
        const fs::path folder = fs::path(programPath_).parent_path();
        for (const std::string& spelling : {name, name + ".exe"}) {
            std::error_code ec;
            if (!fs::is_regular_file(folder / spelling, ec)) continue;
            const std::string rest = end == std::string::npos ? "" : line.substr(end);
            return "\"" + (folder / spelling).string() + "\"" + rest;
        }
    }
    return line;
}

UINT TestSystemServices::WinExec(const char* commandLine, UINT showState) {
    if (commandLine == nullptr) return Win32SystemServices::WinExec(commandLine, showState);
    return Win32SystemServices::WinExec(InDistribution(commandLine).c_str(), showState);
}

BOOL TestSystemServices::CreateProcessA(const char* applicationName, char* commandLine,
                                        void* processAttributes, void* threadAttributes,
                                        BOOL inheritHandles, DWORD creationFlags, void* environment,
                                        const char* currentDirectory, STARTUPINFOA* startupInfo,
                                        PROCESS_INFORMATION* processInformation) {
    std::string line = applicationName == nullptr ? InDistribution(commandLine)
                                                  : std::string(commandLine ? commandLine : "");
    return Win32SystemServices::CreateProcessA(
        applicationName, line.data(), processAttributes, threadAttributes, inheritHandles,
        creationFlags, environment, currentDirectory, startupInfo, processInformation);
}

TempMachine::TempMachine() {
    OriginalMachine();
    root_ = UniqueTempFolder();
    char windows[MAX_PATH];
    const UINT length = ::GetWindowsDirectoryA(windows, MAX_PATH);
    windows_ = std::string(windows, length < MAX_PATH ? length : 0);
    MakeFresh();
    fs::create_directories(distFolder());
    WriteFile(distFolder() / "install.exe", "MZ");
    Restart();
}

TempMachine::~TempMachine() {
    sys_.reset();
    try {
        MakeFresh();
        RemoveTree(root_);
    } catch (...) {
        // A machine that cannot be cleaned must not end the test program.
    }
}

fs::path TempMachine::programsFolder(int csidl) const {
    char path[MAX_PATH] = {};
    if (::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
        throw std::runtime_error("no Programs folder " + std::to_string(csidl));
    return path;
}

fs::path TempMachine::driveC() const { return "C:\\"; }
fs::path TempMachine::windowsFolder() const { return windows_; }

fs::path TempMachine::machineFolder() const {
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix == nullptr || *prefix != '/') return root_ / "machine";
    std::string path = std::string("Z:") + prefix;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

void TempMachine::Restart() {
    sys_ = std::make_unique<TestSystemServices>((distFolder() / "install.exe").string());
}

void TempMachine::MakeFresh() {
    const Original& original = OriginalMachine();
    std::error_code ec;
    for (const char* name : {kSettingsFileName, kGroupScriptName}) RemoveTree(windows_ / name);
    RemoveTree(windows_ / kGroupFolder);
    for (const int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS})
        RemoveTree(programsFolder(csidl) / kGroupFolderName);
    // A Start menu the system did not have goes whole; in one it had, the
    // folders above the group go when nothing else is left in them.
    if (!original.windowsEntries.count("start menu")) RemoveTree(windows_ / "Start Menu");
    fs::remove(windows_ / "Start Menu" / "Programs", ec);
    fs::remove(windows_ / "Start Menu", ec);
    for (const fs::directory_entry& entry : fs::directory_iterator("C:\\", ec))
        if (!original.driveEntries.count(Folded(entry.path().filename().string())))
            RemoveTree(entry.path());
    for (const auto& [name, bytes] : original.libraries) {
        const fs::path path = SystemFolder() / name;
        if (!bytes) {
            RemoveTree(path);
        } else if (!fs::exists(path, ec) || ReadFile(path) != *bytes) {
            ::SetFileAttributesA(path.string().c_str(), FILE_ATTRIBUTE_NORMAL);
            WriteFile(path, *bytes);
        }
    }
}

}  // namespace vx::testing
