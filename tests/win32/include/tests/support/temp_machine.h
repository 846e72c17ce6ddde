// The Windows build's TempMachine: the same names as the Linux one, so that
// the tests of setup/ compile unchanged, on the real system under Wine. This
// folder comes first on the include path of the Windows tests.
//
// Under Wine every test shares one C:\windows, so a machine here is the real
// one made fresh enough: on construction and again on destruction the
// settings file, the group script and the Start-menu groups are removed, new
// top-level folders of C:\ go, and the runtime libraries of the system
// directory are put back as they were. The distribution folder is a new
// temporary folder, which the system services report as the setup program's.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/win32/win32_system_services.h"

namespace vx::testing {

// What the Linux stand-in's machine offers the tests; on Windows a host path
// is already a Windows path.
class HostPaths {
public:
    std::optional<std::string> ToWindowsPath(const std::string& hostPath) const { return hostPath; }
};

// The real system services, except that the running program is the setup
// program in the distribution folder: its path, and the first folder a bare
// program name is looked up in.
class TestSystemServices final : public win32::Win32SystemServices {
public:
    explicit TestSystemServices(std::string programPath) : programPath_(std::move(programPath)) {}

    const HostPaths& machine() const { return paths_; }

    DWORD GetModuleFileNameA(char* buffer, DWORD size) override;
    UINT WinExec(const char* commandLine, UINT showState) override;
    BOOL CreateProcessA(const char* applicationName, char* commandLine, void* processAttributes,
                        void* threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                        void* environment, const char* currentDirectory, STARTUPINFOA* startupInfo,
                        PROCESS_INFORMATION* processInformation) override;

private:
    // `commandLine` with a bare program name that the distribution folder
    // holds replaced by its quoted path there.
    std::string InDistribution(const char* commandLine) const;

    std::string programPath_;
    HostPaths paths_;
};

class TempMachine {
public:
    TempMachine();
    ~TempMachine();
    TempMachine(const TempMachine&) = delete;
    TempMachine& operator=(const TempMachine&) = delete;

    const std::filesystem::path& root() const { return root_; }
    // The Wine prefix the drives live in, through drive Z:.
    std::filesystem::path machineFolder() const;
    std::filesystem::path driveC() const { return "C:\\"; }
    std::filesystem::path windowsFolder() const { return windows_; }
    std::filesystem::path distFolder() const { return root_ / "dist"; }
    // A Programs folder of the Start menu, as the shell names it.
    std::filesystem::path programsFolder(int csidl = CSIDL_COMMON_PROGRAMS) const;

    TestSystemServices& sys() { return *sys_; }
    // Fresh services over the same machine, as a later run of the program sees it.
    void Restart();

private:
    void MakeFresh();

    std::filesystem::path root_;
    std::filesystem::path windows_;
    std::set<std::string> driveEntries_;            // C:\ at construction, folded
    std::map<std::string, std::string> libraries_;  // system-directory libraries and their bytes
    std::unique_ptr<TestSystemServices> sys_;
};

// Host file helpers for assertions.
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, std::string_view bytes);
// Removes a tree, read-only entries included; quiet when it is not there.
void RemoveTree(const std::filesystem::path& path);

}  // namespace vx::testing
