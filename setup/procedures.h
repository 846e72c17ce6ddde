// What confirming the main dialog does: install, then uninstall.
#pragma once

#include "platform/dialog_services.h"
#include "platform/system_services.h"
#include "setup/path_buffer.h"

namespace vx {

// Installs from `sourceDir` into `targetDir`. False when the directory may
// not be used or cannot be created: the dialog then stays open.
bool RunInstall(SystemServices& sys, DialogServices& dlg, const PathBuffer& sourceDir,
                const PathBuffer& targetDir);

// Removes what an install put into `targetDir`, the Start-menu entry and the
// settings file.
void RunUninstall(SystemServices& sys, DialogServices& dlg, const PathBuffer& sourceDir,
                  const PathBuffer& targetDir);

}  // namespace vx
