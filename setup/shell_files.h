// The shell's file operations as the setup procedures ask for them: one path
// each, on behalf of the main dialog, which owns any window the shell opens.
#pragma once

#include "platform/dialog_services.h"
#include "platform/system_services.h"
#include "setup/path_buffer.h"

namespace vx {

// A request for SHFileOperationA: `from` is a path list ended by two zeros,
// `to` one path for a copy and null for a delete.
FileOperationRequest ShellRequest(HWND owner, UINT function, const char* from, const char* to,
                                  WORD flags);

// SHFileOperationA's result for a copy of `from` to `to`, or a delete of `path`.
int ShellCopy(SystemServices& sys, DialogServices& dlg, const PathBuffer& from,
              const PathBuffer& to, WORD flags);
int ShellDelete(SystemServices& sys, DialogServices& dlg, const PathBuffer& path, WORD flags);

}  // namespace vx
