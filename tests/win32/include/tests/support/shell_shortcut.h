// A shortcut as the system's own shell reads it (IShellLinkA), to check the
// converter's files against an independent reader.
#pragma once

#include <string>

namespace vx::testing {

struct ShellShortcut {
    bool loaded = false;
    std::string target;
    std::string workingDirectory;
    std::string iconPath;
    int iconIndex = -1;
};

// `path` in the system's code page.
ShellShortcut ReadShellShortcut(const std::string& path);

}  // namespace vx::testing
