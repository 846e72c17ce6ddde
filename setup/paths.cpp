#include "setup/paths.h"

#include "platform/win32_names.h"
#include "setup/setup_selection.h"

namespace vx {

void TakeSourceDirectory(SystemServices& sys, PathBuffer& sourceDir) {
    sourceDir = PathBuffer();
    // A failed call leaves the buffer empty and a cut one is ended below:
    // either names a folder that holds none of the files to copy.
    (void)sys.GetModuleFileNameA(sourceDir.data(), sourceDir.capacity() - 1);
    sourceDir.Terminate();
    char* lastSeparator = nullptr;
    for (char* p = sourceDir.data(); *p != '\0'; p = const_cast<char*>(sys.CharNextA(p))) {
        if (IsSeparator(*p)) lastSeparator = p;
    }
    sourceDir.TruncateAt(lastSeparator ? static_cast<std::size_t>(lastSeparator - sourceDir.data())
                                       : 0);
}

void TakeTargetDirectory(DialogServices& dlg, PathBuffer& targetDir) {
    targetDir = PathBuffer();
    // The text as far as it fits; an empty field is the directory rules' to refuse.
    (void)dlg.GetDlgItemTextA(IDC_INSTALL_DIR, targetDir.data(), targetDir.capacity() - 1);
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
    return TakePath(base,
                    [&](char* buffer, UINT size) { return (sys.*directory)(buffer, size); }) &&
           ComposePath(sys, base, name, out);
}

}  // namespace

bool ComposeWindowsPath(SystemServices& sys, std::string_view name, PathBuffer& out) {
    return ComposeFromDirectory(sys, &SystemServices::GetWindowsDirectoryA, name, out);
}

bool ComposeSystemPath(SystemServices& sys, std::string_view name, PathBuffer& out) {
    return ComposeFromDirectory(sys, &SystemServices::GetSystemDirectoryA, name, out);
}

bool Exists(SystemServices& sys, const PathBuffer& path) {
    return sys.GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace vx
