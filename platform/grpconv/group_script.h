// The group script the setup program hands to the group converter: a
// [progman.groups] section naming the groups, and per group a section of
// item lines "title","program",icon,index,flags,"working directory".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::grpconv {

struct GroupItem {
    std::string title;             // as written
    std::string shortcutName;      // title + ".lnk"
    std::string program;           // the command the shortcut starts, as written
    std::string workingDirectory;  // empty when the line gives none
};

struct ProgramGroup {
    std::string name;        // as written
    std::string folderName;  // the Start-menu folder: name without trailing full stops
    std::vector<GroupItem> items;
};

// Parses script text (UTF-8) into its groups, in the order the script names
// them, every name already checked to be usable as a file name. Nullopt,
// with the reason in `error`, when anything in the script cannot be read:
// the script is taken whole or not at all.
std::optional<std::vector<ProgramGroup>> ParseGroupScript(std::string_view text,
                                                          std::string& error);

// True when `name` (UTF-8) can name a file or folder on Windows and on the
// host: not empty, no character Windows forbids, no device name, no trailing
// full stop or blank, at most 255 bytes.
bool IsUsableFileName(std::string_view name);

}  // namespace vx::grpconv
