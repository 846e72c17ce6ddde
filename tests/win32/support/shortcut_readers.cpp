#include "tests/support/shortcut_readers.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

namespace vx::testing {

// `path` in the system's code page.
ShellShortcut ReadShellShortcut(const std::string& path) {
    wchar_t wide[MAX_PATH] = {};
    if (::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) == 0) return {};
    ShellShortcut shortcut;
    const HRESULT com = ::CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IShellLinkA, reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            shortcut.loaded = SUCCEEDED(file->Load(wide, STGM_READ));
            char text[MAX_PATH] = {};
            if (shortcut.loaded && SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH)))
                shortcut.target = text;
            text[0] = '\0';
            if (shortcut.loaded && SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH)))
                shortcut.workingDirectory = text;
            text[0] = '\0';
            if (shortcut.loaded &&
                SUCCEEDED(link->GetIconLocation(text, MAX_PATH, &shortcut.iconIndex)))
                shortcut.iconPath = text;
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return shortcut;
}

}  // namespace vx::testing
