// The game's settings file "vornalux.ini" in the Windows directory, shared
// with the game and reached through the system's profile calls.
#pragma once

#include <string>
#include <string_view>

#include "platform/system_services.h"

namespace vx {

inline constexpr const char* kSettingsFileName = "vornalux.ini";
inline constexpr const char* kDefaultInstallDir = "c:\\vornalux\\";

class SettingsFile {
public:
    explicit SettingsFile(SystemServices& sys) : sys_(sys) {}

    // Installation/Directory, default "c:\vornalux\". Read whole: a directory
    // of the field's full 128 characters must come back as it was stored.
    std::string ReadDirectory() const;
    // Installation/VornaluxInstalled read as an integer is greater than 0.
    bool IsInstalled() const;
    // ScreenMode/WindowWidth read as an integer (default -1) is not -1.
    bool HasScreenSetting() const;

    bool WriteScreenSetting() const;
    // Installation/VornaluxInstalled = 1, then Installation/Directory, in one
    // write of the section: the file never says installed without a directory.
    bool WriteInstallation(std::string_view directory) const;
    bool WriteAudio(const char* key, const char* value) const;

private:
    SystemServices& sys_;
};

}  // namespace vx
