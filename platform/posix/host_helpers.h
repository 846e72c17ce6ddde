// Small host-side helpers the stand-in's files share.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vx::posix {

// $HOME, else the password database's home folder; empty when neither is known.
std::string HomeFolder();

// The current folder; empty when it cannot be named (removed under us).
std::string CurrentFolder();

// realpath(3) as a string; nullopt when some component does not exist.
std::optional<std::string> RealPath(const std::string& path);

// ASCII letters compared without regard to case, every other byte exactly.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// The text with its ASCII letters in upper case, every other byte as it is.
std::string UpperAscii(std::string_view text);

// The entry of `folder` that `name` names, as spelled on disk: the exact
// name first, then any case, then a matching 8.3 short name.
std::optional<std::string> FindEntry(const std::string& folder, const std::string& name);

}  // namespace vx::posix
