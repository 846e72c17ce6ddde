// What the folder choosers offer: the machine's drives, and the folders
// below a folder as the shell lists them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/system_services.h"

namespace vx::posix {

class PosixSystemServices;

struct FolderEntry {
    std::string hostName;  // UTF-8, as shown
    std::string narrow;    // in the machine's code page, as a path holds it
};

// The roots ("C:\") of the drives that exist, in letter order.
std::vector<std::string> ListDrives(SystemServices& sys);

// The subfolders of a Windows folder, hidden ones (a leading dot) and names
// a Windows path cannot address left out, sorted without regard to case.
std::vector<FolderEntry> ListSubfolders(const PosixSystemServices& sys,
                                        const std::string& windowsPath);

// `parent` and `name` with one separator between them.
std::string JoinWindowsPath(const std::string& parent, std::string_view name);

}  // namespace vx::posix
