// The private-profile calls on host files. The text rules live in
// profile_text; this file finds the host file, reads it and replaces it
// atomically, so that a crash or a full disk never leaves a half-written
// settings file behind.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <limits>

#include "platform/host/host_files.h"
#include "platform/posix/posix_system_services.h"
#include "platform/posix/profile_text.h"
#include "platform/win32_names.h"

namespace vx::posix {

using host::ReadAll;
using host::ReplaceHostFile;

namespace {

constexpr const char* kWindowsDirectory = "C:\\windows";

enum class ReadResult { Absent, Read, Failed };

struct HostFile {
    ReadResult result = ReadResult::Failed;
    std::string bytes;
    struct stat status {};
};

HostFile ReadHostFile(const std::string& path) {
    HostFile file;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        file.result = (errno == ENOENT) ? ReadResult::Absent : ReadResult::Failed;
        return file;
    }
    if (fstat(fd, &file.status) != 0 || !S_ISREG(file.status.st_mode)) {
        close(fd);
        return file;
    }
    auto bytes = ReadAll(fd, std::numeric_limits<std::size_t>::max());
    close(fd);
    if (!bytes) return file;
    file.bytes = std::move(*bytes);
    file.result = ReadResult::Read;
    return file;
}

// The bytes of the profile file at `path`; a file that cannot be read
// answers as an absent one, empty, so that every key gets its default.
std::string ProfileBytes(const std::optional<std::string>& path) {
    if (!path) return {};
    HostFile file = ReadHostFile(*path);
    return file.result == ReadResult::Read ? std::move(file.bytes) : std::string();
}

}  // namespace

std::optional<std::string> PosixSystemServices::ProfileHostPath(const char* fileName) const {
    // No name means the system's own WIN.INI, as on Windows NT.
    std::string windowsPath = fileName ? fileName : "win.ini";
    if (windowsPath.empty()) return std::nullopt;
    bool bare = true;
    for (std::size_t i = 0; i < windowsPath.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(windowsPath[i]);
        if (machine_.IsLeadByte(c) && i + 1 < windowsPath.size()) {
            ++i;  // a trail byte may be 0x5C without being a separator
            continue;
        }
        if (IsSeparator(static_cast<char>(c)) || c == ':') {
            bare = false;
            break;
        }
    }
    if (bare) windowsPath = std::string(kWindowsDirectory) + "\\" + windowsPath;
    const std::optional<HostPath> host = machine_.Map(windowsPath);
    if (!host) return std::nullopt;
    return host->path;
}

DWORD PosixSystemServices::GetPrivateProfileStringA(const char* section, const char* key,
                                                    const char* defaultValue, char* buffer,
                                                    DWORD size, const char* fileName) {
    if (buffer == nullptr || size == 0) return 0;
    const std::string bytes = ProfileBytes(ProfileHostPath(fileName));
    const ProfileDocument document(bytes,
                                   [this](unsigned char c) { return machine_.IsLeadByte(c); });
    return document.GetString(section, key, defaultValue, buffer, size);
}

UINT PosixSystemServices::GetPrivateProfileIntA(const char* section, const char* key,
                                                int defaultValue, const char* fileName) {
    const std::string bytes = ProfileBytes(ProfileHostPath(fileName));
    const ProfileDocument document(bytes,
                                   [this](unsigned char c) { return machine_.IsLeadByte(c); });
    return document.GetInt(section, key, defaultValue);
}

BOOL PosixSystemServices::WritePrivateProfileStringA(const char* section, const char* key,
                                                     const char* value, const char* fileName) {
    // Without a section the call fails before the file is touched or created.
    if (section == nullptr) return FALSE;
    return EditProfile(fileName, [&](const ProfileDocument& document) {
        return document.Write(section, key, value);
    });
}

BOOL PosixSystemServices::EditProfile(
    const char* fileName,
    const std::function<std::optional<std::string>(const ProfileDocument&)>& edit) {
    const std::optional<std::string> mapped = ProfileHostPath(fileName);
    if (!mapped) return FALSE;

    // Through a link to the file it names, so the link itself stays a link.
    std::string target = *mapped;
    struct stat linkStatus {};
    if (lstat(target.c_str(), &linkStatus) == 0 && S_ISLNK(linkStatus.st_mode)) {
        char* resolved = realpath(target.c_str(), nullptr);
        if (resolved == nullptr) return FALSE;
        target = resolved;
        free(resolved);
    }

    const HostFile file = ReadHostFile(target);
    // An unreadable file must not be replaced by one holding only the new line.
    if (file.result == ReadResult::Failed) return FALSE;
    const bool exists = file.result == ReadResult::Read;
    // Read-only holds for every user, root included, as on Windows.
    if (exists && IsReadOnly(file.status)) return FALSE;

    const ProfileDocument document(file.bytes,
                                   [this](unsigned char c) { return machine_.IsLeadByte(c); });
    const std::optional<std::string> updated = edit(document);
    if (!updated) return FALSE;
    if (exists && *updated == file.bytes) return TRUE;
    return ReplaceHostFile(target, *updated, exists ? &file.status : nullptr) == ERROR_SUCCESS
               ? TRUE
               : FALSE;
}

BOOL PosixSystemServices::WritePrivateProfileSectionA(const char* section,
                                                      const char* keysAndValues,
                                                      const char* fileName) {
    if (section == nullptr) return FALSE;
    // The whole section in one replacement of the file: no reader, and no
    // crash, ever sees some of its keys without the others.
    return EditProfile(fileName, [&](const ProfileDocument& document) {
        return document.WriteSection(section, keysAndValues);
    });
}

}  // namespace vx::posix
