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

    return sys.WinExec(kGroupConverterCommand, SW_HIDE) > 31;
}

std::vector<StartMenuGroup> StartMenuGroups(SystemServices& sys) {
    std::vector<StartMenuGroup> groups;
    const auto add = [&](const PathBuffer& folder) {
        StartMenuGroup group{folder, {}};
        if (!ComposePath(sys, folder, kShortcutName, group.shortcut)) return;
        for (const StartMenuGroup& known : groups)
            if (known.folder.view() == folder.view()) return;
        groups.push_back(group);
    };
    PathBuffer folder;
    if (ComposeWindowsPath(sys, kGroupFolder, folder)) add(folder);
    for (const int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        std::array<char, MAX_PATH> programs{};
        if (sys.SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, programs.data()) !=
            S_OK)
            continue;
        const void* end = std::memchr(programs.data(), '\0', programs.size());
        PathBuffer base;
        if (end != nullptr && base.Assign({programs.data(), static_cast<const char*>(end)}) &&
            ComposePath(sys, base, kGroupFolderName, folder))
            add(folder);
    }
    return groups;
}

}  // namespace vx
