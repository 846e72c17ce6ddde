// The volume and free-space calls: a volume is a host file system.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "platform/posix/posix_system_services.h"

namespace vx::posix {

namespace {

// The nearest folder of a FolderChain that exists on the host: its place
// in the chain and its host path.
struct ExistingFolder {
    std::size_t index = 0;
    std::string host;
    dev_t device = 0;
};

std::optional<ExistingFolder> NearestFolder(const Machine& machine,
                                            const std::vector<std::string>& chain) {
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const std::optional<HostPath> host = machine.Map(chain[i]);
        struct stat status;
        if (host && host->exists && stat(host->path.c_str(), &status) == 0 &&
            S_ISDIR(status.st_mode))
            return ExistingFolder{i, host->path, status.st_dev};
    }
    return std::nullopt;
}

DWORD ClampedToDword(std::uint64_t value) {
    return static_cast<DWORD>(std::min<std::uint64_t>(value, 0xFFFFFFFF));
}

}  // namespace

std::optional<struct statvfs> PosixSystemServices::VolumeStatus(const char* path) {
    // No path: the current drive, as Windows takes it.
    const std::optional<ExistingFolder> nearest =
        NearestFolder(machine_, machine_.FolderChain(path ? path : "\\"));
    struct statvfs status;
    if (!nearest || statvfs(nearest->host.c_str(), &status) != 0) {
        lastError_ = nearest ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
        return std::nullopt;
    }
    return status;
}

BOOL PosixSystemServices::GetVolumePathNameA(const char* fileName, char* volumePathName,
                                             DWORD bufferLength) {
    if (fileName == nullptr || *fileName == '\0') return Fail(ERROR_INVALID_PARAMETER);
    const std::vector<std::string> chain = machine_.FolderChain(fileName);
    const std::optional<ExistingFolder> nearest = NearestFolder(machine_, chain);
    if (!nearest) return Fail(ERROR_PATH_NOT_FOUND);
    std::size_t volume = nearest->index;
    for (std::size_t i = volume + 1; i < chain.size(); ++i) {
        const std::optional<HostPath> host = machine_.Map(chain[i]);
        struct stat status;
        if (!host || stat(host->path.c_str(), &status) != 0 || status.st_dev != nearest->device)
            break;
        volume = i;
    }
    std::string root = chain[volume];
    if (root.back() != '\\') root += '\\';
    if (volumePathName == nullptr || root.size() >= bufferLength)
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    std::memcpy(volumePathName, root.c_str(), root.size() + 1);
    return TRUE;
}

BOOL PosixSystemServices::GetDiskFreeSpaceA(const char* rootPathName, DWORD* sectorsPerCluster,
                                            DWORD* bytesPerSector, DWORD* numberOfFreeClusters,
                                            DWORD* totalNumberOfClusters) {
    const std::optional<struct statvfs> status = VolumeStatus(rootPathName);
    if (!status) return FALSE;
    // 512-byte sectors where the unit allows, as Wine reports them.
    const std::uint64_t unit = status->f_frsize;
    const DWORD sector = unit % 512 == 0 ? 512 : static_cast<DWORD>(unit);
    if (sectorsPerCluster) *sectorsPerCluster = static_cast<DWORD>(unit / sector);
    if (bytesPerSector) *bytesPerSector = sector;
    if (numberOfFreeClusters) *numberOfFreeClusters = ClampedToDword(status->f_bavail);
    if (totalNumberOfClusters) *totalNumberOfClusters = ClampedToDword(status->f_blocks);
    return TRUE;
}

BOOL PosixSystemServices::GetDiskFreeSpaceExA(const char* directoryName,
                                              ULARGE_INTEGER* freeBytesAvailableToCaller,
                                              ULARGE_INTEGER* totalNumberOfBytes,
                                              ULARGE_INTEGER* totalNumberOfFreeBytes) {
    const std::optional<struct statvfs> status = VolumeStatus(directoryName);
    if (!status) return FALSE;
    const std::uint64_t unit = status->f_frsize;
    // What this user may write leaves out the blocks kept for root.
    if (freeBytesAvailableToCaller) freeBytesAvailableToCaller->QuadPart = status->f_bavail * unit;
    if (totalNumberOfBytes) totalNumberOfBytes->QuadPart = status->f_blocks * unit;
    if (totalNumberOfFreeBytes) totalNumberOfFreeBytes->QuadPart = status->f_bfree * unit;
    return TRUE;
}

}  // namespace vx::posix
