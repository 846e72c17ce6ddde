// grpconv.exe: the group converter for Windows, from the same script parser
// and shortcut writer as the Linux one. With -o it turns the group script
// SETUP.INI in the Windows directory into Start-menu folders holding one
// shortcut per item. The setup program finds it beside itself before any
// system converter, so it serves on every Windows (current ones have none).
// The script is read and checked whole before anything is created.

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/grpconv/group_script.h"
#include "platform/grpconv/shell_link.h"

// After the project's headers: <windows.h> defines several of their names as macros.
// clang-format off
#include <windows.h>
// clang-format on

namespace {

using vx::grpconv::ProgramGroup;

// Far above anything the setup program writes; a larger file is not a script.
constexpr DWORD kMaxScriptBytes = 1 << 20;

struct PlannedShortcut {
    std::string path;  // ANSI
    std::string bytes;
};

struct PlannedFolder {
    std::vector<std::string> components;  // ANSI, below the Windows directory
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

// Everything the script asks for, as paths and shortcut bytes, or nullopt.
std::optional<std::vector<PlannedFolder>> Plan(const std::string& windowsDir,
                                               const std::vector<ProgramGroup>& groups) {
    std::vector<PlannedFolder> folders;
    for (const ProgramGroup& group : groups) {
        const auto folderName = AnsiFromUtf8(group.folderName);
        if (!folderName) {
            Fail("the group name \"" + group.name + "\" has no form in the system's code page");
            return std::nullopt;
        }
        PlannedFolder folder;
        folder.components = {"Start Menu", "Programs", *folderName};
        const std::string folderPath = windowsDir + "\\Start Menu\\Programs\\" + *folderName;
        for (const auto& item : group.items) {
            const auto shortcutName = AnsiFromUtf8(item.shortcutName);
            const auto target = AnsiFromUtf8(item.program);
            if (!shortcutName || !target) {
                Fail("the item \"" + item.title + "\" has no form in the system's code page");
                return std::nullopt;
            }
            PlannedShortcut shortcut;
            shortcut.path = folderPath + "\\" + *shortcutName;
            if (shortcut.path.size() >= MAX_PATH) {
                Fail("the shortcut path " + shortcut.path + " is too long");
                return std::nullopt;
            }
            auto bytes = vx::grpconv::ShellLinkBytes(*target, item.workingDirectory);
            if (!bytes) {
                Fail("the item \"" + item.title + "\" cannot be made a shortcut");
                return std::nullopt;
            }
            shortcut.bytes = std::move(*bytes);
            folder.shortcuts.push_back(std::move(shortcut));
        }
        folders.push_back(std::move(folder));
    }
    return folders;
}

bool EnsureFolder(const std::string& path) {
    if (Exists(path)) {
        if (IsDirectory(path)) return true;
        Fail(path + " exists and is not a folder");
        return false;
    }
    if (::CreateDirectoryA(path.c_str(), nullptr) || IsDirectory(path)) return true;
    Fail("cannot create " + path);
    return false;
}

bool Create(const std::string& windowsDir, const std::vector<PlannedFolder>& folders) {
    if (!IsDirectory(windowsDir)) {
        Fail("the Windows directory " + windowsDir + " is not there");
        return false;
    }
    for (const PlannedFolder& folder : folders) {
        std::string path = windowsDir;
        for (const std::string& component : folder.components) {
            path += "\\" + component;
            if (!EnsureFolder(path)) return false;
        }
        for (const PlannedShortcut& shortcut : folder.shortcuts) {
            if (IsDirectory(shortcut.path) ||
                !vx::grpconv::WriteFileAtomically(shortcut.path, shortcut.bytes)) {
                Fail("cannot write " + shortcut.path);
                return false;
            }
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
    const auto folders = Plan(windowsDir, *groups);
    return folders && Create(windowsDir, *folders);
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
    return ConvertGroupScript() ? 0 : 1;
}
