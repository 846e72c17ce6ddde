#include "setup/disk_space.h"

#include <string>

#include "setup/directory_rules.h"
#include "setup/library_versions.h"
#include "setup/paths.h"

namespace vx {

namespace {

constexpr std::uint64_t kSlack = 64 * 1024;
constexpr std::uint64_t kMegabyte = 1024 * 1024;

// The size of a file to be copied; 0 when it is missing (its copy will fail).
std::uint64_t FileSize(SystemServices& sys, const PathBuffer& path) {
    WIN32_FIND_DATAA data{};
    const HANDLE find = sys.FindFirstFileA(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    (void)sys.FindClose(find);  // the size is read; a failed close loses nothing
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The volume `folder` lies on; false when it cannot be told.
bool FindVolume(SystemServices& sys, const PathBuffer& folder, VolumeNeed& need) {
    FileIdentity identity;
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!sys.GetVolumePathNameA(folder.c_str(), need.root.data(), need.root.capacity() - 1) ||
        !sys.GetFileIdentity(need.root.c_str(), &identity) ||
        !sys.GetDiskFreeSpaceA(need.root.c_str(), &sectorsPerCluster, &bytesPerSector,
                               &freeClusters, &totalClusters) ||
        sectorsPerCluster == 0 || bytesPerSector == 0)
        return false;
    need.root.Terminate();
    need.volume = identity.volume;
    need.folder = folder;
    need.clusterSize = std::uint64_t{sectorsPerCluster} * bytesPerSector;
    return true;
}

// Adds one copy of `from` into `folder` to the need of the folder's volume.
void Count(SystemServices& sys, std::vector<VolumeNeed>& needs, const PathBuffer& from,
           const PathBuffer& folder) {
    VolumeNeed found;
    if (!FindVolume(sys, folder, found)) return;
    VolumeNeed* need = nullptr;
    for (VolumeNeed& n : needs)
        if (n.volume == found.volume) need = &n;
    if (need == nullptr) need = &needs.emplace_back(found);
    const std::uint64_t size = FileSize(sys, from);
    need->copiedBytes += (size + need->clusterSize - 1) / need->clusterSize * need->clusterSize;
}

// Tenths of a megabyte, rounded up or down: the need is never shown smaller,
// nor the free space larger, than it is.
std::string Megabytes(std::uint64_t bytes, bool roundUp) {
    const std::uint64_t tenths = (bytes * 10 + (roundUp ? kMegabyte - 1 : 0)) / kMegabyte;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

bool AskToInstallAnyway(DialogServices& dlg, const VolumeNeed& need, std::uint64_t available) {
    const std::string text = "There is not enough free space for Vornalux! on the disk holding " +
                             std::string(need.folder.view()) +
                             ".\n\nSpace needed: " + Megabytes(WithMargin(need.copiedBytes), true) +
                             "\nSpace available: " + Megabytes(available, false) +
                             "\n\nInstall anyway?";
    return dlg.MessageBox(text.c_str(), "Installation Error", MB_YESNO | MB_DEFBUTTON2) == IDYES;
}

}  // namespace

std::vector<VolumeNeed> WorkOutInstallNeeds(SystemServices& sys, const PathBuffer& sourceDir,
                                            const PathBuffer& targetDir) {
    std::vector<VolumeNeed> needs;
    PathBuffer systemDir;
    if (TakePath(systemDir,
                 [&](char* buffer, UINT size) { return sys.GetSystemDirectoryA(buffer, size); }))
        for (const char* name : SystemFiles) {
            PathBuffer from, to;
            if (ComposePath(sys, sourceDir, name, from) && ComposeSystemPath(sys, name, to) &&
                ShouldReplaceLibrary(sys, from, to))
                Count(sys, needs, from, systemDir);
        }
    if (PlaceOfSetupFolder(sys, targetDir.view(), sourceDir).same) return needs;
    for (const char* name : ProgramFiles) {
        PathBuffer from;
        if (ComposePath(sys, sourceDir, name, from)) Count(sys, needs, from, targetDir);
    }
    return needs;
}

std::uint64_t WithMargin(std::uint64_t copiedBytes) {
    return copiedBytes + (copiedBytes + 19) / 20 + kSlack;
}

bool ConfirmFreeSpace(SystemServices& sys, DialogServices& dlg, const PathBuffer& sourceDir,
                      const PathBuffer& targetDir) {
    for (const VolumeNeed& need : WorkOutInstallNeeds(sys, sourceDir, targetDir)) {
        ULARGE_INTEGER available{};
        if (!sys.GetDiskFreeSpaceExA(need.root.c_str(), &available, nullptr, nullptr)) continue;
        if (available.QuadPart < WithMargin(need.copiedBytes) &&
            !AskToInstallAnyway(dlg, need, available.QuadPart))
            return false;
    }
    return true;
}

}  // namespace vx
