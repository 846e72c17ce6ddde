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

bool CreateProgramGroup(SystemServices& sys, const PathBuffer& targetDir) {
    PathBuffer scriptPath;
    if (!ComposeWindowsPath(sys, kGroupScriptName, scriptPath)) return false;

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

    if (!RunConverter(sys)) return false;
    for (const StartMenuGroup& group : ProgramsFolderGroups(sys))
        if (Exists(sys, group.shortcut)) return true;
    return false;
}

namespace {

// Adds the group in `folder` unless a place of the same path is listed.
void AddGroup(SystemServices& sys, std::vector<StartMenuGroup>& groups, const PathBuffer& folder) {
    StartMenuGroup group{folder, {}};
    if (!ComposePath(sys, folder, kShortcutName, group.shortcut)) return;
    for (const StartMenuGroup& known : groups)
        if (known.folder.view() == folder.view()) return;
    groups.push_back(group);
}

}  // namespace

std::vector<StartMenuGroup> ProgramsFolderGroups(SystemServices& sys) {
    std::vector<StartMenuGroup> groups;
    for (const int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        std::array<char, MAX_PATH> programs{};
        if (sys.SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, programs.data()) !=
            S_OK)
            continue;
        const void* end = std::memchr(programs.data(), '\0', programs.size());
        PathBuffer base, folder;
        if (end != nullptr && base.Assign({programs.data(), static_cast<const char*>(end)}) &&
            ComposePath(sys, base, kGroupFolderName, folder))
            AddGroup(sys, groups, folder);
    }
    return groups;
}

std::vector<StartMenuGroup> StartMenuGroups(SystemServices& sys) {
    std::vector<StartMenuGroup> groups;
    PathBuffer folder;
    if (ComposeWindowsPath(sys, kGroupFolder, folder)) AddGroup(sys, groups, folder);
    for (const StartMenuGroup& group : ProgramsFolderGroups(sys))
        AddGroup(sys, groups, group.folder);
    return groups;
}

}  // namespace vx
