// The directories the setup program must never write into or remove: checked
// once per click, by the main dialog's confirm, before any procedure runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/dialog_services.h"
#include "platform/system_services.h"
#include "setup/path_buffer.h"

namespace vx {

enum class SetupAction { Install, Uninstall };

// The message for the first rule `directory` breaks, or nothing when the
// directory may be used. `sourceDir` is the setup program's own folder.
std::optional<std::string> CheckSetupDirectory(SystemServices& sys, std::string_view directory,
                                               SetupAction action, const PathBuffer& sourceDir);

// Where a directory stands to the setup program's own folder (`sourceDir`):
// that very folder, or it or a folder above it.
struct SetupFolderPlace {
    bool same = false;
    bool holds = false;
};
SetupFolderPlace PlaceOfSetupFolder(SystemServices& sys, std::string_view directory,
                                    const PathBuffer& sourceDir);

class CheckedDirectory;

// Checks and, when a rule is broken, says so in a message box captioned
// "Installation Error" or "Uninstall Error". The directory when it may be used.
std::optional<CheckedDirectory> ConfirmSetupDirectory(SystemServices& sys, DialogServices& dlg,
                                                      const PathBuffer& directory,
                                                      SetupAction action,
                                                      const PathBuffer& sourceDir);

// A directory the rules allow, with the setup program's own folder it was
// checked against. Only the confirm makes one, so the procedures, which take
// it, never act on a directory nobody checked and never check it again.
class CheckedDirectory {
public:
    const PathBuffer& target() const { return target_; }
    const PathBuffer& source() const { return source_; }

private:
    CheckedDirectory(const PathBuffer& target, const PathBuffer& source)
        : target_(target), source_(source) {}
    friend std::optional<CheckedDirectory> ConfirmSetupDirectory(SystemServices&, DialogServices&,
                                                                 const PathBuffer&, SetupAction,
                                                                 const PathBuffer&);

    PathBuffer target_;
    PathBuffer source_;
};

}  // namespace vx
