#include "setup/install_log.h"

#include "setup/paths.h"

namespace vx {

namespace {

constexpr const char* kFolderSection = "Folder";
constexpr const char* kCreatedKey = "Created";
constexpr const char* kCopiedKey = "GameFilesCopied";
constexpr const char* kFilesSection = "Files";

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
                                           path_.c_str()) != FALSE;
}

bool InstallLog::RecordNothingCopied() const {
    return composed_ &&
           sys_.WritePrivateProfileStringA(kFolderSection, kCopiedKey, "0", path_.c_str()) != FALSE;
}

bool InstallLog::RecordFile(const char* name) const {
    return composed_ &&
           sys_.WritePrivateProfileStringA(kFilesSection, name, "1", path_.c_str()) != FALSE;
}

}  // namespace vx
