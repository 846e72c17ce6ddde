// Running host programs from tests, and checking a shortcut with two
// independent Shell Link readers (lnkinfo and exiftool).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vx::testing {

struct RunResult {
    int status = -1;     // exit status, -1 when the program did not exit normally
    std::string output;  // stdout and stderr together
};

// Runs `argv` (searched on PATH when it holds no slash) with WINEPREFIX set
// to `machine` when given.
RunResult Run(const std::vector<std::string>& argv, const std::filesystem::path& machine = {});

// Both readers must accept the file and report the target and the working
// directory. lnkinfo decodes the narrow target as windows-1252, the machine's
// code page; exiftool shows its bytes as stored (`storedTarget` when not ASCII).
void ExpectShortcut(const std::filesystem::path& file, const std::string& target,
                    const std::string& workingDir, const std::string& storedTarget = {});

}  // namespace vx::testing
