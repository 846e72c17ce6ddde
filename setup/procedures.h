// What confirming the main dialog does: install, then uninstall.
#pragma once

#include "platform/dialog_services.h"
#include "platform/system_services.h"
#include "setup/directory_rules.h"

namespace vx {

// Installs from the setup program's own folder into the checked directory.
// False when the user stops it or the directory cannot be created: the dialog
// then stays open.
bool RunInstall(SystemServices& sys, DialogServices& dlg, const CheckedDirectory& checked);

// Removes what an install put into the checked directory, the Start-menu
// entry and the settings file.
void RunUninstall(SystemServices& sys, DialogServices& dlg, const CheckedDirectory& checked);

}  // namespace vx
