// A distribution folder as the setup program finds it beside itself: the
// five game files, the two runtime libraries and the group converter.
#pragma once

#include <filesystem>
#include <string>

#include "tests/support/temp_machine.h"

namespace vx::testing {

// The content each placeholder file is given, so a copy can be recognised.
std::string PlaceholderContent(const std::string& name);

// Fills machine.distFolder() with the game files (plain placeholders), the
// runtime libraries and, when `withConverter`, the built group converter. On
// Linux the libraries are placeholders too; on Windows they are the built
// 32-bit placeholders, which a 64-bit program beside them passes over (any
// other file of those names would be loaded and break the converter).
void FillDistribution(TempMachine& machine, bool withConverter = true);

#ifndef _WIN32
// Places the preset's build of the setup program and its window plugins in
// machine.distFolder(): the copy is the one run, so that its own folder is
// the distribution. Returns the program's path.
std::filesystem::path PlaceSetupProgram(TempMachine& machine);
#endif

// Waits (bounded) until `path` exists; true when it does.
bool WaitForFile(const std::filesystem::path& path, int milliseconds = 10000);

}  // namespace vx::testing
