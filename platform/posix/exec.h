// How the stand-in starts a program of each kind, for others that must start
// it the same way (the desktop menu's entries).
#pragma once

#include <optional>
#include <string>

namespace vx::posix {

// The command Wine runs a Windows program with, or nullopt without Wine.
std::optional<std::string> WineLauncher();

// Whether the host file `path` is a Windows program (it starts with "MZ").
bool IsWindowsProgram(const std::string& path);

}  // namespace vx::posix
