// The classic 8.3 short names of a folder's entries, as FAT and NTFS
// generate them: Map accepts them where long names go, and GetShortPathNameA
// hands them out.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vx::posix {

// True when `name` already is an 8.3 name: one to eight characters, at most
// one dot followed by one to three more, and only characters 8.3 names hold.
// Lower case counts: such a name is its own short name.
bool IsValidShortName(std::string_view name);

// The short name of every name in `names` (UTF-8 entries of one folder),
// keyed by long name. Valid 8.3 names keep their spelling; every other name
// gets BASE~N.EXT, N the smallest number no other entry takes, the entries
// considered in byte order of their names.
std::map<std::string, std::string> ShortNamesOf(std::vector<std::string> names);

// ShortNamesOf the entries of a host folder; empty when it cannot be read.
std::map<std::string, std::string> ShortNamesOfFolder(const std::string& hostFolder);

}  // namespace vx::posix
