// Shell Link (.lnk) files, the shortcuts the Start menu shows, in the binary
// layout every shortcut reader understands: the header, the link-target
// information naming a local path, and the working directory.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vx::grpconv {

// The bytes of a shortcut to `targetPath` (a Windows path in the machine's
// narrow code page, stored as the local base path) that starts in
// `workingDirectory` (UTF-8, stored as UTF-16; empty: none). Nullopt when the
// target is empty or holds a zero byte, or the working directory is not
// UTF-8 or too long for the format.
std::optional<std::string> ShellLinkBytes(std::string_view targetPath,
                                          std::string_view workingDirectory);

}  // namespace vx::grpconv
