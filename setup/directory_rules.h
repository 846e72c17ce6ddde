// The directories the setup program must never write into or remove: checked
// by the main dialog's confirm before any procedure and again by each
// procedure as its first step.
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

// Checks and, when a rule is broken, says so in a message box captioned
// "Installation Error" or "Uninstall Error". True when the directory may be used.
bool ConfirmSetupDirectory(SystemServices& sys, DialogServices& dlg, std::string_view directory,
                           SetupAction action, const PathBuffer& sourceDir);

}  // namespace vx
