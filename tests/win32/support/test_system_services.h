// The Windows build's system services for the tests of setup/: the real
// ones, except that the running program is the setup program in the test's
// distribution folder.
#pragma once

#include <optional>
#include <string>

#include "platform/win32/win32_system_services.h"

namespace vx::testing {

// What the Linux stand-in's machine offers the tests; on Windows a host path
// is already a Windows path.
class HostPaths {
public:
    std::optional<std::string> ToWindowsPath(const std::string& hostPath) const { return hostPath; }
};

// The running program's path, and the first folder a bare program name is
// looked up in, are those of `programPath`.
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

}  // namespace vx::testing
