// The files a test finds in a home's menu folders, checked with the tools a
// desktop trusts: desktop-file-validate for entries and folder files,
// xmllint for menu files.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vx::testing {

// Every file and link below `root`, relative to it, sorted; none when it is missing.
std::vector<std::string> FilesBelow(const std::filesystem::path& root);

// Runs the validators on every .desktop, .directory and .menu file below
// `root`; each menu file must nest its entry in Applications > wine-wine >
// wine-Programs > the group. Returns how many files were checked.
int ExpectValidMenuFiles(const std::filesystem::path& root);

}  // namespace vx::testing
