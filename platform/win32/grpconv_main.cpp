// grpconv.exe: the group converter for Windows, the same converter as the
// Linux one over the system's files. With -o it turns the group script
// SETUP.INI in the Windows directory into folders of the Start menu's
// Programs folders holding one shortcut per item, saved by the shell. The
// setup program finds it beside itself before any system converter, so it
// serves on every Windows (current ones have none).

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/grpconv/converter.h"

// After the project's headers: <windows.h> defines several of their names as macros.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
// clang-format on

namespace {

using vx::grpconv::CreatedShortcut;

std::optional<std::wstring> Wide(std::string_view text, UINT codePage) {
    std::wstring wide(text.size(), L'\0');  // never more units than bytes
    const int length = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(),
                                             static_cast<int>(text.size()), wide.data(),
                                             static_cast<int>(wide.size()));
    if (length <= 0 && !text.empty()) return std::nullopt;
    wide.resize(static_cast<std::size_t>(length));
    return wide;
}

// Nullopt when a character has no exact form in the code page.
std::optional<std::string> Narrow(const std::wstring& wide, UINT codePage) {
    std::string narrow(3 * wide.size(), '\0');  // UTF-8 takes at most three bytes a unit
    const bool utf8 = codePage == CP_UTF8;
    BOOL usedDefault = FALSE;
    const int length = ::WideCharToMultiByte(
        codePage, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
        narrow.data(), static_cast<int>(narrow.size()), nullptr, utf8 ? nullptr : &usedDefault);
    if ((length <= 0 && !wide.empty()) || usedDefault) return std::nullopt;
    narrow.resize(static_cast<std::size_t>(length));
    return narrow;
}

// The system's files, its code page and its Start menu.
class ShellHost final : public vx::grpconv::ConverterHost {
public:
    std::optional<std::string> WindowsDirectory() override {
        char buffer[MAX_PATH];
        const UINT length = ::GetWindowsDirectoryA(buffer, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return std::nullopt;
        return std::string(buffer, length);
    }

    std::optional<std::string> LibraryPath(const std::string& path) override { return path; }

    std::optional<std::string> ToUtf8(std::string_view narrow) override {
        const auto wide = Wide(narrow, CP_ACP);
        return wide ? Narrow(*wide, CP_UTF8) : std::nullopt;
    }
    std::optional<std::string> ToNarrow(std::string_view utf8) override {
        const auto wide = Wide(utf8, CP_UTF8);
        return wide ? Narrow(*wide, CP_ACP) : std::nullopt;
    }

    // Everybody's Programs folder first, the user's when that one cannot
    // take the group; each made when it is missing.
    std::vector<vx::grpconv::ProgramsFolder> ProgramsFolders() override {
        std::vector<vx::grpconv::ProgramsFolder> folders;
        for (const int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
            char path[MAX_PATH] = {};
            if (SUCCEEDED(::SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr,
                                             SHGFP_TYPE_CURRENT, path)))
                folders.push_back({path, ""});
            else
                folders.push_back({"", "no Programs folder " + std::to_string(csidl)});
        }
        return folders;
    }

    Entry Lookup(const std::string& path) override {
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return Entry::Missing;
        return attributes & FILE_ATTRIBUTE_DIRECTORY ? Entry::Folder : Entry::File;
    }
    bool CreateFolder(const std::string& path) override {
        return ::CreateDirectoryA(path.c_str(), nullptr);
    }

    // Through the shell's own writer, which is also what makes the desktop's
    // menu pick the shortcut up (under Wine, its menu builder). Its icon is
    // the program's own.
    bool SaveShortcut(const CreatedShortcut& shortcut) override {
        const auto widePath = Wide(shortcut.path, CP_ACP);
        const auto title = ToNarrow(shortcut.title);
        const auto workingDirectory = ToNarrow(shortcut.workingDirectory);
        if (!widePath || !title || !workingDirectory) return false;
        IShellLinkA* link = nullptr;
        if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, reinterpret_cast<void**>(&link))))
            return false;
        bool saved = false;
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->SetPath(shortcut.program.c_str())) &&
            SUCCEEDED(link->SetWorkingDirectory(workingDirectory->c_str())) &&
            SUCCEEDED(link->SetDescription(title->c_str())) &&
            SUCCEEDED(link->SetIconLocation(shortcut.program.c_str(), 0)) &&
            SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            saved = SUCCEEDED(file->Save(widePath->c_str(), TRUE));
            file->Release();
            // A shortcut the writer could not finish must not stay under its name.
            if (!saved) ::DeleteFileA(shortcut.path.c_str());
        }
        link->Release();
        return saved;
    }

    void Remove(const std::string& path) override {
        if (!::DeleteFileA(path.c_str())) ::RemoveDirectoryA(path.c_str());
    }
};

bool IsConvertOption(std::string_view argument) {
    return argument == "-o" || argument == "-O" || argument == "/o" || argument == "/O";
}

}  // namespace

// A windowed program, so that starting it never opens a console.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc != 2 || !IsConvertOption(__argv[1])) {
        std::fprintf(stderr, "grpconv: usage: grpconv -o\n");
        return 2;
    }
    // The shell's shortcut object wants a single-threaded apartment.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(com)) {
        std::fprintf(stderr, "grpconv: COM cannot be started\n");
        return 1;
    }
    ShellHost host;
    const bool converted = vx::grpconv::ConvertGroupScript(host).has_value();
    ::CoUninitialize();
    return converted ? 0 : 1;
}
