#include "platform/host/descriptors.h"

#include <errno.h>
#include <unistd.h>

#include "platform/win32_types.h"

namespace vx::host {

namespace {

constexpr int kErrorDiskFull = 112;           // ERROR_DISK_FULL
constexpr int kErrorDirectoryNotEmpty = 145;  // ERROR_DIR_NOT_EMPTY

}  // namespace

int Win32ErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return kErrorDiskFull;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ENOTEMPTY:
        case EEXIST:
            return kErrorDirectoryNotEmpty;
        default:
            return ERROR_ACCESS_DENIED;
    }
}

bool WriteAll(int fd, const char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t written = ::write(fd, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

std::optional<std::string> ReadAll(int fd, std::size_t limit) {
    std::string bytes;
    char chunk[8192];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 || static_cast<std::size_t>(got) > limit - bytes.size()) return std::nullopt;
        if (got == 0) return bytes;
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
}

bool ReadExactly(int fd, void* out, std::size_t count) {
    auto* bytes = static_cast<char*>(out);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd, bytes + done, count - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace vx::host
