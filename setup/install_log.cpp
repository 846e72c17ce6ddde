#include "setup/install_log.h"

#include "setup/paths.h"

namespace vx {

namespace {

constexpr const char* kFolderSection = "Folder";
constexpr const char* kCreatedKey = "Created";
constexpr const char* kCopiedKey = "GameFilesCopied";
constexpr const char* kFilesSection = "Files";
constexpr const char* kProbeKey = "Probe";

// "RUZI.INI" or "RUZI<n>.INI", whatever the case: an entry naming anything
// else is not followed.
bool IsProbeName(std::string_view name) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    std::string text;
    for (const char c : name) text += upper(c);
    if (text.size() < 8 || !text.starts_with("RUZI") || !text.ends_with(".INI")) return false;
    const std::string_view digits = std::string_view(text).substr(4, text.size() - 8);
    if (digits.size() > 4 || digits.starts_with('0')) return false;
    for (const char c : digits)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

InstallLog::InstallLog(SystemServices& sys, const PathBuffer& targetDir)
    : sys_(sys), composed_(ComposePath(sys, targetDir, kInstallLogName, path_)) {}

bool InstallLog::Exists() const {
    if (!composed_) return false;
    const DWORD attributes = sys_.GetFileAttributesA(path_.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool InstallLog::FolderCreated() const {
    return composed_ &&
           sys_.GetPrivateProfileIntA(kFolderSection, kCreatedKey, 0, path_.c_str()) == 1;
}

bool InstallLog::ListsFile(const char* name) const {
    return composed_ && sys_.GetPrivateProfileIntA(kFilesSection, name, 0, path_.c_str()) == 1;
}

bool InstallLog::RecordFolder(bool created) const {
    if (!composed_) return false;
    if (!created && FolderCreated()) return true;
    return sys_.WritePrivateProfileStringA(kFolderSection, kCreatedKey, created ? "1" : "0",
                                           path_.c_str());
}

bool InstallLog::RecordNothingCopied() const {
    return composed_ &&
           sys_.WritePrivateProfileStringA(kFolderSection, kCopiedKey, "0", path_.c_str());
}

bool InstallLog::RecordProbe(std::string_view name) const {
    return composed_ && sys_.WritePrivateProfileStringA(kFolderSection, kProbeKey,
                                                        std::string(name).c_str(), path_.c_str());
}

bool InstallLog::ForgetProbe() const {
    return composed_ &&
           sys_.WritePrivateProfileStringA(kFolderSection, kProbeKey, nullptr, path_.c_str());
}

std::string InstallLog::Probe() const {
    if (!composed_) return {};
    char name[MAX_PATH] = {};
    // A missing entry reads as the empty default, which names no probe.
    (void)sys_.GetPrivateProfileStringA(kFolderSection, kProbeKey, "", name, MAX_PATH,
                                        path_.c_str());
    return IsProbeName(name) ? name : std::string();
}

bool InstallLog::RecordFile(const char* name) const {
    return composed_ && sys_.WritePrivateProfileStringA(kFilesSection, name, "1", path_.c_str());
}

}  // namespace vx
