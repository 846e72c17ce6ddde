// The framework on the real dialog manager: dialogs from in-memory templates
// built from the one template description, message boxes, the folder chooser,
// and the program's icon and bitmaps from its own resources.
#pragma once

#include <memory>
#include <vector>

#include "platform/framework/window_backend.h"

namespace vx::win32 {

std::unique_ptr<WindowBackend> CreateWin32Backend();

// The in-memory DLGTEMPLATE and its DLGITEMTEMPLATEs for `description`, in
// 16-bit units as the dialog manager reads them.
std::vector<WORD> BuildDialogTemplate(const DialogTemplate& description);

// The icon group or bitmap of that identifier from the program's own module
// (bitmaps loaded with LR_CREATEDIBSECTION | LR_LOADMAP3DCOLORS |
// LR_LOADTRANSPARENT), or nullptr when the module has none. Each call loads
// the resource anew; the pictures stay valid until the process ends.
const Picture* LoadModuleImage(int id);

}  // namespace vx::win32
