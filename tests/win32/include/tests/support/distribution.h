// The Windows build's distribution folder, under the names of the Linux one:
// the five game files, the two runtime libraries and the group converter.
#pragma once

#include <filesystem>
#include <string>

#include "tests/support/temp_machine.h"

namespace vx::testing {

// The content each placeholder game file is given, so a copy can be recognised.
std::string PlaceholderContent(const std::string& name);

// Fills machine.distFolder() with the game files (plain placeholders), the
// runtime libraries and, when `withConverter`, the built grpconv.exe. The
// libraries are the built 32-bit placeholders, which a 64-bit program beside
// them passes over; any other file of those names would break the converter.
void FillDistribution(TempMachine& machine, bool withConverter = true);

// Waits (bounded) until `path` exists; true when it does.
bool WaitForFile(const std::filesystem::path& path, int milliseconds = 10000);

}  // namespace vx::testing
