#include "setup/settings_file.h"

#include "setup/path_buffer.h"

namespace vx {

std::string SettingsFile::ReadDirectory() const {
    PathBuffer directory;
    // A missing key reads as the default directory.
    (void)sys_.GetPrivateProfileStringA("Installation", "Directory", kDefaultInstallDir,
                                        directory.data(), directory.capacity(), kSettingsFileName);
    return std::string(directory.view());
}

bool SettingsFile::IsInstalled() const {
    const int installed = static_cast<int>(
        sys_.GetPrivateProfileIntA("Installation", "VornaluxInstalled", 0, kSettingsFileName));
    return installed > 0;
}

bool SettingsFile::HasScreenSetting() const {
    const int width = static_cast<int>(
        sys_.GetPrivateProfileIntA("ScreenMode", "WindowWidth", -1, kSettingsFileName));
    return width != -1;
}

bool SettingsFile::WriteScreenSetting() const {
    return sys_.WritePrivateProfileStringA("ScreenMode", "WindowWidth", "414", kSettingsFileName);
}

bool SettingsFile::WriteInstallation(std::string_view directory) const {
    std::string keys = "VornaluxInstalled=1";
    keys += '\0';
    keys.append("Directory=").append(directory);
    keys += '\0';
    // A zero inside the directory would end the list early and lose the key.
    if (directory.find('\0') != std::string_view::npos) return false;
    return sys_.WritePrivateProfileSectionA("Installation", keys.c_str(), kSettingsFileName);
}

bool SettingsFile::WriteAudio(const char* key, const char* value) const {
    return sys_.WritePrivateProfileStringA("Audio", key, value, kSettingsFileName);
}

}  // namespace vx
