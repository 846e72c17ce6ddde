// The group converter's work, the same on every system: the group script
// SETUP.INI in the Windows directory, read and checked whole before anything
// is created, becomes folders of a Programs folder of the Start menu holding
// one shortcut per item. The files are reached through a host, one per system.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::grpconv {

struct CreatedShortcut {
    std::string path;              // narrow Windows path of the saved .lnk
    std::string groupFolder;       // UTF-8, the folder below Programs ("PELTOMARK! Inc")
    std::string title;             // UTF-8 ("Vornalux!")
    std::string program;           // narrow, the target as the script gives it
    std::string workingDirectory;  // UTF-8, as the script gives it
};

// A Programs folder of the Start menu: its path, or empty with `missing`
// saying why there is none.
struct ProgramsFolder {
    std::string path;
    std::string missing;
};

// The system the converter works on. Paths are Windows paths in the narrow
// code page of the machine.
class ConverterHost {
public:
    enum class Entry { Missing, File, Folder };

    virtual ~ConverterHost() = default;

    // Nullopt when there is none.
    virtual std::optional<std::string> WindowsDirectory() = 0;
    // The name the C library opens the file `path` by.
    virtual std::optional<std::string> LibraryPath(const std::string& path) = 0;
    // Narrow text to UTF-8 and back; nullopt when a character has no exact form.
    virtual std::optional<std::string> ToUtf8(std::string_view narrow) = 0;
    virtual std::optional<std::string> ToNarrow(std::string_view utf8) = 0;
    // The Programs folders a group may go into, in the order to try them.
    virtual std::vector<ProgramsFolder> ProgramsFolders() = 0;
    virtual Entry Lookup(const std::string& path) = 0;
    // A new folder in an existing one.
    virtual bool CreateFolder(const std::string& path) = 0;
    // Saves the shortcut at `shortcut.path`, replacing one of that name; a
    // failed save leaves no partial file there.
    virtual bool SaveShortcut(const CreatedShortcut& shortcut) = 0;
    // Removes a file, or a folder when it is empty: a failed attempt taken back.
    virtual void Remove(const std::string& path) = 0;
};

// Converts the script, each failure said as a "grpconv: " line on standard
// error. Each group goes into the first Programs folder that takes it whole;
// what a failed attempt made there is taken back. The shortcuts saved, or
// nullopt when the script or a group could not be converted.
std::optional<std::vector<CreatedShortcut>> ConvertGroupScript(ConverterHost& host);

}  // namespace vx::grpconv
