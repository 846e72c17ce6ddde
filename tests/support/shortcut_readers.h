// Shortcuts read by readers independent of the converter: on Linux two
// Shell Link readers (lnkinfo and exiftool), on Windows the system's own
// shell (IShellLinkA).
#pragma once

#include <filesystem>
#include <string>

namespace vx::testing {

#ifdef _WIN32
struct ShellShortcut {
    bool loaded = false;
    std::string target;
    std::string workingDirectory;
    std::string iconPath;
    int iconIndex = -1;
};

// `path` in the system's code page.
ShellShortcut ReadShellShortcut(const std::string& path);
#else
// Both readers must accept the file and report the target and the working
// directory. lnkinfo decodes the narrow target as windows-1252, the machine's
// code page; exiftool shows its bytes as stored (`storedTarget` when not ASCII).
void ExpectShortcut(const std::filesystem::path& file, const std::string& target,
                    const std::string& workingDir, const std::string& storedTarget = {});
#endif

}  // namespace vx::testing
