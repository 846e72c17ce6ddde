// The text of the files a menu entry is made of: the desktop entry, the
// folder files and the menu file, with the escaping each of them needs.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::desktop {

// Every file of ours is named with this prefix.
constexpr std::string_view kPrefix = "vornalux-setup-";
// Every file of ours carries this key: machine folder "|" Windows path of
// what it stands for (a Windows path cannot hold "|").
constexpr std::string_view kKey = "X-Vornalux-Setup-Item";

// FNV-1a as 8 hex digits: short and the same on every run and machine.
std::string ShortHash(std::string_view text);

// The string escaping of desktop-entry values, and its reverse.
std::string EscapeValue(std::string_view text);
std::string UnescapeValue(std::string_view text);

// Text safe in XML character data and attribute values.
std::string XmlText(std::string_view text);

// An Exec value: each argument holding a reserved character is quoted, with
// '"', '`', '$' and '\' escaped inside the quotes, '%' doubled, and the
// string escaping of desktop entries applied on top.
std::string DesktopExecLine(const std::vector<std::string>& arguments);

// What the desktop entry of a shortcut says.
struct ApplicationEntry {
    std::string name;                  // UTF-8
    std::vector<std::string> command;  // the program and its arguments
    std::string workingFolder;         // host path; empty for none
    std::string icon;                  // the icons' name; empty for none
    std::string windowClass;           // the program's file name in lower case
    std::string key;                   // the value of kKey
};
std::string ApplicationEntryText(const ApplicationEntry& entry);

// A folder file (.directory) of the menu.
std::string DirectoryFile(const std::string& name, const std::string& icon, const std::string& key);

// One menu folder around the entry: the menu's name as Wine names it, our
// folder file, the folder's name and the Windows folder it stands for.
struct MenuLevel {
    std::string menu, directory, name, item;
};

// The menu file that nests the entry `desktopId` in `levels`, outermost first.
std::string MenuFileText(const std::vector<MenuLevel>& levels, const std::string& desktopId,
                         const std::string& key);

// The value of `key` in a desktop entry of ours; nullopt without it.
std::optional<std::string> KeyValue(std::string_view text, std::string_view key);

}  // namespace vx::desktop
