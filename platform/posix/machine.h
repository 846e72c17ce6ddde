// A Windows machine laid over a host folder the way Wine lays it out: drives
// are the links in dosdevices/, C: holds windows/ and windows/system32/.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/text_codec.h"

namespace vx::posix {

// The code page of narrow text. Host file names are UTF-8.
enum class CodePage { Windows1252 = 1252, ShiftJis = 932 };

struct MachineOptions {
    std::string machineFolder;  // empty: $WINEPREFIX, ~/.wine, or the default machine
    std::string programPath;    // host path of the running program; empty: this process
    CodePage codePage = CodePage::Windows1252;
};

// The machine folder Wine would use: $WINEPREFIX, else ~/.wine when it exists,
// else $XDG_DATA_HOME/vornalux-setup/machine (~/.local/share when unset).
std::string LocateMachineFolder();

// Creates what a machine folder lacks (drive_c/windows/WIN.INI,
// drive_c/windows/system32/, dosdevices/c: and z:); existing entries stay.
bool PrepareMachineFolder(const std::string& folder);

// A Windows path mapped onto the host.
struct HostPath {
    std::string path;       // the host path, UTF-8, no trailing slash
    std::string driveRoot;  // the host folder the drive link names (the link path itself)
    bool exists = false;    // every component was found on disk
    int pinnedFolder = -1;  // the descriptor of the open folder the path names itself
};

class Machine {
public:
    explicit Machine(MachineOptions options);

    const std::string& folder() const { return folder_; }
    const std::string& programPath() const { return programPath_; }
    CodePage codePage() const { return codePage_; }

    // Narrow text of the machine's code page to UTF-8 and back; nullopt when
    // a character has no counterpart.
    std::optional<std::string> ToUtf8(std::string_view narrow) const;
    std::optional<std::string> ToNarrow(std::string_view utf8) const;
    bool IsLeadByte(unsigned char byte) const;

    // Maps a Windows path onto the host: drive letters in either case, both
    // separators, runs of separators, '.' and '..' (never above the drive's
    // root), trailing dots and spaces dropped, each component looked up
    // without regard to case and by its short name. A relative path is taken
    // from the current folder. Fails for an unmapped drive and for names
    // holding characters Windows file names cannot hold.
    std::optional<HostPath> Map(std::string_view windowsPath) const;

    // The folders of a Windows path from itself up to its drive's root
    // ("C:\\a\\b", "C:\\a", "C:\\"), normalised as Map does; empty for an
    // unmapped drive or an invalid name.
    std::vector<std::string> FolderChain(std::string_view windowsPath) const;

    // The Windows path of a host path, through the drive whose folder holds
    // it most closely (Z: at worst); narrow text in the machine's code page.
    std::optional<std::string> ToWindowsPath(const std::string& hostPath) const;

    // Opens the folder `windowsPath` names and, until Unpin, maps every path
    // through it by that open folder, as Windows keeps a folder with an open
    // handle, and the folders above it, from being renamed. The descriptor or -1.
    int PinFolder(std::string_view windowsPath);
    void Unpin(int fd);

private:
    struct Pin {
        int fd;
        char drive;
        std::vector<std::string> components;
    };

    std::string folder_;
    std::string programPath_;
    CodePage codePage_;
    std::vector<Pin> pins_;
    TextCodec codec_;
};

}  // namespace vx::posix
