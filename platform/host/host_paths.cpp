#include "platform/host/host_paths.h"

#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/host/descriptors.h"
#include "platform/win32_types.h"

namespace vx::host {

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

SplitPath SplitHostPath(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    if (slash == 0) return {"/", path.substr(1)};
    return {path.substr(0, slash), path.substr(slash + 1)};
}

int OpenHostFolder(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int CreateHostFolder(const std::string& path, mode_t mode) {
    const SplitPath split = SplitHostPath(path);
    const UniqueFd parent(OpenHostFolder(split.folder));
    if (!parent) return errno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno);
    if (::mkdirat(parent.get(), split.name.c_str(), mode) != 0)
        return errno == EEXIST ? ERROR_ALREADY_EXISTS : Win32ErrorFromErrno(errno);
    // Like a file's, the new name survives a crash only once the folder is flushed.
    // The folder exists either way; only its durability is at stake.
    (void)::fsync(parent.get());
    return ERROR_SUCCESS;
}

int CreateHostFolders(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
    if (errno != ENOENT) return Win32ErrorFromErrno(errno);
    const SplitPath split = SplitHostPath(path);
    if (split.folder == path) return ERROR_PATH_NOT_FOUND;
    if (const int above = CreateHostFolders(split.folder); above != ERROR_SUCCESS) return above;
    if (const int made = CreateHostFolder(path, 0777);
        made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS)
        return made;
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
    return ERROR_SUCCESS;
}

std::string HomeFolder() {
    const char* home = getenv("HOME");
    if (home && *home) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return {};
}

std::string CurrentFolder() {
    std::error_code ec;
    const std::filesystem::path current = std::filesystem::current_path(ec);
    return ec ? std::string() : current.string();
}

std::optional<std::string> RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved)) return std::nullopt;
    return std::string(resolved);
}

}  // namespace vx::host
