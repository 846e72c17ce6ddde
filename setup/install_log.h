// The install's record, kept in the target folder, of what it made there:
// whether it created the folder, which of the game's files it put in it and
// the folder probe it is making.
// The uninstall removes only what the record names. Each entry is one
// profile write, which replaces the file whole, so a crash leaves the record
// as it was before or after that entry, never cut short; a file is recorded
// before it is copied, so the record never misses a file the install made.
#pragma once

#include <string>
#include <string_view>

#include "platform/system_services.h"
#include "setup/path_buffer.h"

namespace vx {

inline constexpr const char* kInstallLogName = "VXINSTAL.LOG";

class InstallLog {
public:
    InstallLog(SystemServices& sys, const PathBuffer& targetDir);

    // False when the record's path does not fit: nothing can be recorded.
    bool composed() const { return composed_; }
    const PathBuffer& path() const { return path_; }

    bool Exists() const;
    // The install created the folder: it did not exist before the probe.
    bool FolderCreated() const;
    bool ListsFile(const char* name) const;

    // A re-install into a folder the first install created keeps "created".
    bool RecordFolder(bool created) const;
    // The install ran in the setup program's own folder and copied nothing.
    bool RecordNothingCopied() const;
    bool RecordFile(const char* name) const;
    // The probe's name, recorded before the probe is made and forgotten once
    // it is gone, so that a probe a crash left is the install's to remove.
    bool RecordProbe(std::string_view name) const;
    bool ForgetProbe() const;
    // The recorded probe's name; empty when none is, or the entry is no
    // probe's name.
    std::string Probe() const;

private:
    SystemServices& sys_;
    PathBuffer path_;
    bool composed_;
};

}  // namespace vx
