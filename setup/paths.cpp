#include "setup/paths.h"

#include "setup/setup_selection.h"

namespace vx {

void TakeSourceDirectory(SystemServices& sys, PathBuffer& sourceDir) {
    sourceDir = PathBuffer();
    sys.GetModuleFileNameA(sourceDir.data(), sourceDir.capacity() - 1);
    sourceDir.Terminate();
    char* lastSeparator = nullptr;
    for (char* p = sourceDir.data(); *p != '\0'; p = const_cast<char*>(sys.CharNextA(p))) {
        if (*p == '\\' || *p == '/') lastSeparator = p;
    }
    sourceDir.TruncateAt(lastSeparator ? static_cast<std::size_t>(lastSeparator - sourceDir.data())
                                       : 0);
}

void TakeTargetDirectory(DialogServices& dlg, PathBuffer& targetDir) {
    targetDir = PathBuffer();
    dlg.GetDlgItemTextA(IDC_INSTALL_DIR, targetDir.data(), targetDir.capacity() - 1);
    targetDir.Terminate();
}

bool ComposePath(SystemServices& sys, const PathBuffer& base, std::string_view name,
                 PathBuffer& out) {
    out = base;
    out.Terminate();
    return AppendPathComponent(sys, out, name);
}

namespace {

bool ComposeFromDirectory(SystemServices& sys, UINT (SystemServices::*directory)(char*, UINT),
                          std::string_view name, PathBuffer& out) {
    PathBuffer base;
    const UINT length = (sys.*directory)(base.data(), base.capacity() - 1);
    if (length == 0 || length >= base.capacity() - 1) return false;
    base.Terminate();
    return ComposePath(sys, base, name, out);
}

}  // namespace

bool ComposeWindowsPath(SystemServices& sys, std::string_view name, PathBuffer& out) {
    return ComposeFromDirectory(sys, &SystemServices::GetWindowsDirectoryA, name, out);
}

bool ComposeSystemPath(SystemServices& sys, std::string_view name, PathBuffer& out) {
    return ComposeFromDirectory(sys, &SystemServices::GetSystemDirectoryA, name, out);
}

}  // namespace vx
