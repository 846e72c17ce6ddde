#include "setup/shell_files.h"

namespace vx {

FileOperationRequest ShellRequest(HWND owner, UINT function, const char* from, const char* to,
                                  WORD flags) {
    FileOperationRequest request;
    request.hwnd = owner;
    request.wFunc = function;
    request.pFrom = from;
    request.pTo = to;
    request.fFlags = flags;
    return request;
}

int ShellCopy(SystemServices& sys, DialogServices& dlg, const PathBuffer& from,
              const PathBuffer& to, WORD flags) {
    FileOperationRequest request =
        ShellRequest(dlg.GetSafeHwnd(), FO_COPY, from.c_str(), to.c_str(), flags);
    return sys.SHFileOperationA(&request);
}

int ShellDelete(SystemServices& sys, DialogServices& dlg, const PathBuffer& path, WORD flags) {
    FileOperationRequest request =
        ShellRequest(dlg.GetSafeHwnd(), FO_DELETE, path.c_str(), nullptr, flags);
    return sys.SHFileOperationA(&request);
}

}  // namespace vx
