// Whether the volumes the install writes to have room for it, worked out
// before anything is written, so that a full disk never leaves a half-made
// install behind.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/dialog_services.h"
#include "platform/system_services.h"
#include "setup/path_buffer.h"

namespace vx {

// What the install will write on one volume.
struct VolumeNeed {
    std::uint64_t volume = 0;       // its identity: two drives may be one volume
    PathBuffer folder;              // the first destination folder on it, named to the user
    PathBuffer root;                // its root, where its free space is read
    std::uint64_t clusterSize = 0;  // its allocation unit
    std::uint64_t copiedBytes = 0;  // the copies, each rounded up to whole units
};

// The copies the install will make, by volume in the order their folders
// come: the runtime libraries that will replace the system directory's,
// then the game files, unless the target is the setup program's own folder.
// A replaced file counts whole: the copy is written beside the old one.
// A folder whose volume cannot be read is left out.
std::vector<VolumeNeed> WorkOutInstallNeeds(SystemServices& sys, const PathBuffer& sourceDir,
                                            const PathBuffer& targetDir);

// The space to ask for: the copies, 5% more, and room for the settings, the
// group script, the shortcut and the install record.
std::uint64_t WithMargin(std::uint64_t copiedBytes);

// Asks, for each volume that falls short, whether to install anyway, No
// being the default. False when the user said No. A volume whose free space
// cannot be read asks nothing.
bool ConfirmFreeSpace(SystemServices& sys, DialogServices& dlg, const PathBuffer& sourceDir,
                      const PathBuffer& targetDir);

}  // namespace vx
