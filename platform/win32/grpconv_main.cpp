// grpconv.exe: the group converter for Windows, from the same script parser
// as the Linux one. With -o it turns the group script SETUP.INI in the
// Windows directory into folders of the Start menu's Programs folder holding
// one shortcut per item, saved by the shell. The setup program finds it
// beside itself before any system converter, so it serves on every Windows
// (current ones have none). The script is read and checked whole before
// anything is created.

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/grpconv/group_script.h"

// After the project's headers: <windows.h> defines several of their names as macros.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
// clang-format on

namespace {

using vx::grpconv::ProgramGroup;

// Far above anything the setup program writes; a larger file is not a script.
constexpr DWORD kMaxScriptBytes = 1 << 20;

struct PlannedShortcut {
    std::string fileName;  // ANSI, title + ".lnk"
    std::string title;     // ANSI
    std::string target;    // ANSI, as the script gives it
    std::string workingDirectory;
};

struct PlannedFolder {
    std::string name;  // ANSI, below a Programs folder
    std::vector<PlannedShortcut> shortcuts;
};

void Fail(const std::string& message) { std::fprintf(stderr, "grpconv: %s\n", message.c_str()); }

bool IsDirectory(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Exists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::wstring> Wide(std::string_view text, UINT codePage) {
    if (text.empty()) return std::wstring();
    const int size = static_cast<int>(text.size());
    const int length =
        ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length);
    return wide;
}

// Nullopt when a character has no exact form in the code page.
std::optional<std::string> Narrow(const std::wstring& wide, UINT codePage) {
    if (wide.empty()) return std::string();
    const int size = static_cast<int>(wide.size());
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = codePage == CP_UTF8 ? nullptr : &usedDefault;
    const int length = ::WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0,
                                             nullptr, usedDefaultOut);
    if (length <= 0 || usedDefault) return std::nullopt;
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, flags, wide.data(), size, narrow.data(), length, nullptr,
                          usedDefaultOut);
    return usedDefault ? std::nullopt : std::optional<std::string>(narrow);
}

std::optional<std::string> Utf8FromAnsi(std::string_view ansi) {
    const auto wide = Wide(ansi, CP_ACP);
    return wide ? Narrow(*wide, CP_UTF8) : std::nullopt;
}

std::optional<std::string> AnsiFromUtf8(std::string_view utf8) {
    const auto wide = Wide(utf8, CP_UTF8);
    return wide ? Narrow(*wide, CP_ACP) : std::nullopt;
}

std::optional<std::string> ReadScript(const std::string& path) {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<std::string> text;
    LARGE_INTEGER size;
    if (::GetFileSizeEx(file, &size) && size.QuadPart <= kMaxScriptBytes) {
        std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD read = 0;
        if (bytes.empty() ||
            (::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
             read == bytes.size()))
            text = std::move(bytes);
    }
    ::CloseHandle(file);
    return text;
}

// Everything the script asks for, in the system's code page, or nullopt.
std::optional<std::vector<PlannedFolder>> Plan(const std::vector<ProgramGroup>& groups) {
    std::vector<PlannedFolder> folders;
    for (const ProgramGroup& group : groups) {
        const auto folderName = AnsiFromUtf8(group.folderName);
        if (!folderName) {
            Fail("the group name \"" + group.name + "\" has no form in the system's code page");
            return std::nullopt;
        }
        PlannedFolder folder{*folderName, {}};
        for (const auto& item : group.items) {
            const auto fileName = AnsiFromUtf8(item.shortcutName);
            const auto title = AnsiFromUtf8(item.title);
            const auto target = AnsiFromUtf8(item.program);
            const auto workingDirectory = AnsiFromUtf8(item.workingDirectory);
            if (!fileName || !title || !target || !workingDirectory) {
                Fail("the item \"" + item.title + "\" has no form in the system's code page");
                return std::nullopt;
            }
            if (target->empty() || target->size() >= MAX_PATH ||
                workingDirectory->size() >= MAX_PATH) {
                Fail("the item \"" + item.title + "\" cannot be made a shortcut");
                return std::nullopt;
            }
            folder.shortcuts.push_back({*fileName, *title, *target, *workingDirectory});
        }
        folders.push_back(std::move(folder));
    }
    return folders;
}

// A Programs folder of the Start menu (CSIDL_COMMON_PROGRAMS or
// CSIDL_PROGRAMS), made when it is missing.
std::optional<std::string> ProgramsFolder(int csidl) {
    char path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                  path)))
        return std::nullopt;
    return std::string(path);
}

// Saves the shortcut through the shell's own writer, which is also what
// makes the desktop's menu pick it up (under Wine, its menu builder). Its
// icon is the program's own.
bool SaveShortcut(const std::string& path, const PlannedShortcut& shortcut) {
    const auto widePath = Wide(path, CP_ACP);
    if (!widePath) return false;
    IShellLinkA* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&link))))
        return false;
    bool saved = false;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->SetPath(shortcut.target.c_str())) &&
        SUCCEEDED(link->SetWorkingDirectory(shortcut.workingDirectory.c_str())) &&
        SUCCEEDED(link->SetDescription(shortcut.title.c_str())) &&
        SUCCEEDED(link->SetIconLocation(shortcut.target.c_str(), 0)) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        saved = SUCCEEDED(file->Save(widePath->c_str(), TRUE));
        file->Release();
        // A shortcut the writer could not finish must not stay under its name.
        if (!saved) ::DeleteFileA(path.c_str());
    }
    link->Release();
    return saved;
}

// The folder and its shortcuts in `programs`; on failure what this attempt
// made is taken back and the reason added to `errors`.
bool CreateIn(const std::string& programs, const PlannedFolder& folder, std::string& errors) {
    const std::string folderPath = programs + "\\" + folder.name;
    const bool existed = Exists(folderPath);
    if (existed && !IsDirectory(folderPath)) {
        errors += "\n" + folderPath + " exists and is not a folder";
        return false;
    }
    if (!existed && !::CreateDirectoryA(folderPath.c_str(), nullptr)) {
        errors += "\ncannot create " + folderPath;
        return false;
    }
    std::vector<std::string> saved;
    for (const PlannedShortcut& shortcut : folder.shortcuts) {
        const std::string path = folderPath + "\\" + shortcut.fileName;
        if (path.size() >= MAX_PATH || IsDirectory(path) || !SaveShortcut(path, shortcut)) {
            errors += "\ncannot write " + path;
            for (const std::string& done : saved) ::DeleteFileA(done.c_str());
            if (!existed) ::RemoveDirectoryA(folderPath.c_str());
            return false;
        }
        saved.push_back(path);
    }
    return true;
}

// Each group goes into everybody's Programs folder, or into the user's
// when that one cannot be written.
bool Create(const std::vector<PlannedFolder>& folders) {
    for (const PlannedFolder& folder : folders) {
        std::string errors;
        bool created = false;
        for (const int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
            const auto programs = ProgramsFolder(csidl);
            if (!programs) {
                errors += "\nno Programs folder " + std::to_string(csidl);
                continue;
            }
            if ((created = CreateIn(*programs, folder, errors))) break;
        }
        if (!created) {
            Fail("the group " + folder.name + " could not be made:" + errors);
            return false;
        }
    }
    return true;
}

bool ConvertGroupScript() {
    char buffer[MAX_PATH];
    const UINT length = ::GetWindowsDirectoryA(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        Fail("no Windows directory");
        return false;
    }
    std::string windowsDir(buffer, length);
    while (!windowsDir.empty() && (windowsDir.back() == '\\' || windowsDir.back() == '/'))
        windowsDir.pop_back();

    const std::string scriptPath = windowsDir + "\\SETUP.INI";
    const auto ansi = IsDirectory(scriptPath) ? std::nullopt : ReadScript(scriptPath);
    if (!ansi) {
        Fail("cannot read " + scriptPath);
        return false;
    }
    const auto text = Utf8FromAnsi(*ansi);
    if (!text) {
        Fail(scriptPath + " is not text of the system's code page");
        return false;
    }
    std::string error;
    const auto groups = vx::grpconv::ParseGroupScript(*text, error);
    if (!groups) {
        Fail(scriptPath + ": " + error);
        return false;
    }
    const auto folders = Plan(*groups);
    return folders && Create(*folders);
}

bool IsConvertOption(std::string_view argument) {
    return argument == "-o" || argument == "-O" || argument == "/o" || argument == "/O";
}

}  // namespace

// A windowed program, so that starting it never opens a console.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc != 2 || !IsConvertOption(__argv[1])) {
        Fail("usage: grpconv -o");
        return 2;
    }
    // The shell's shortcut object wants a single-threaded apartment.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(com)) {
        Fail("COM cannot be started");
        return 1;
    }
    const bool converted = ConvertGroupScript();
    ::CoUninitialize();
    return converted ? 0 : 1;
}
