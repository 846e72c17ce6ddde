// What the folder choosers offer, read through the system services: the
// machine's drives, and the folders below a folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/system_services.h"

namespace vx {

// The roots ("C:\") of the drives, in letter order.
std::vector<std::string> ListDrives(SystemServices& sys);

// The names (narrow) of the folders in a Windows folder, hidden ones and
// "." and ".." left out, sorted without regard to case.
std::vector<std::string> ListSubfolders(SystemServices& sys, const std::string& windowsPath);

// `parent` and `name` with one separator between them.
std::string JoinWindowsPath(const std::string& parent, std::string_view name);

}  // namespace vx
