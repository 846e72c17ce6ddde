#include "setup/program_group.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "setup/paths.h"

namespace vx {

namespace {

constexpr std::size_t kScriptSize = 512;
constexpr const char* kScriptFormat =
    "[progman.groups]\r\ngroupX=%s\r\n[groupX]\r\n\"%s\",\"%s\",,,,\"%s\"\r\n";

bool Exists(SystemServices& sys, const PathBuffer& path) {
    return sys.GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs the converter hidden and waits for it; true when it ended in time
// and reported success.
bool RunConverter(SystemServices& sys) {
    std::array<char, 32> commandLine{};
    std::snprintf(commandLine.data(), commandLine.size(), "%s", kGroupConverterCommand);
    STARTUPINFOA startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(SW_HIDE);
    PROCESS_INFORMATION process;
    if (!sys.CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &process))
        return false;
    DWORD exitCode = STILL_ACTIVE;
    const bool ended = sys.WaitForSingleObject(process.hProcess, kConverterWait) == WAIT_OBJECT_0 &&
                       sys.GetExitCodeProcess(process.hProcess, &exitCode);
    sys.CloseHandle(process.hProcess);
    if (process.hThread) sys.CloseHandle(process.hThread);
    return ended && exitCode == 0;
}

}  // namespace

bool ComposeShortcutPath(SystemServices& sys, PathBuffer& folder, PathBuffer& shortcut) {
    return ComposeWindowsPath(sys, kGroupFolder, folder) &&
           ComposePath(sys, folder, kShortcutName, shortcut);
}

bool CreateProgramGroup(SystemServices& sys, const PathBuffer& targetDir) {
    PathBuffer scriptPath, groupFolder, shortcut;
    if (!ComposeWindowsPath(sys, kGroupScriptName, scriptPath) ||
        !ComposeShortcutPath(sys, groupFolder, shortcut))
        return false;

    // The target is at most 259 characters, so its program path always fits
    // the script's buffer; the short form must fit a path buffer.
    PathBuffer programPath;
    if (!ComposePath(sys, targetDir, kProgramPathName, programPath)) return false;
    std::array<char, MAX_PATH> shortPath{};
    const DWORD shortLength =
        sys.GetShortPathNameA(programPath.c_str(), shortPath.data(), MAX_PATH);
    if (shortLength == 0 || shortLength >= MAX_PATH) return false;

    std::array<char, kScriptSize> script{};
    const int length = std::snprintf(script.data(), script.size(), kScriptFormat, kGroupName,
                                     kItemTitle, shortPath.data(), targetDir.c_str());
    if (length < 0 || static_cast<std::size_t>(length) >= script.size()) return false;

    const HFILE file = sys._lcreat(scriptPath.c_str(), 0);
    if (file == HFILE_ERROR) return false;
    const UINT written = sys._lwrite(file, script.data(), static_cast<UINT>(length));
    const bool closed = sys._lclose(file) != HFILE_ERROR;
    if (written != static_cast<UINT>(length) || !closed) return false;

    return RunConverter(sys) && Exists(sys, shortcut);
}

}  // namespace vx
