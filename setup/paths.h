// The fixed file sets and the directories every composed path starts from.
#pragma once

#include <array>

#include "platform/dialog_services.h"
#include "setup/path_buffer.h"

namespace vx {

inline constexpr std::array<const char*, 5> ProgramFiles = {
    "vornalux.exe", "vornalux.hlp", "vornalux.gid", "vornalux.ico", "readme.txt"};
inline constexpr std::array<const char*, 2> SystemFiles = {"msvcrt.dll", "mfc42.dll"};

inline constexpr const char* kProbeSourceName = "WIN.INI";
inline constexpr const char* kProbeName = "RUZI.INI";
inline constexpr const char* kSettingsResetName = "VORNALUX.INI";
inline constexpr const char* kGroupScriptName = "SETUP.INI";
inline constexpr const char* kProgramPathName = "VORNALUX.EXE";
inline constexpr const char* kGroupFolder = "Start Menu\\Programs\\PELTOMARK! Inc";

// The running program's folder: its full path cut at the last separator,
// walked by whole characters. A path without a separator becomes empty.
void TakeSourceDirectory(SystemServices& sys, PathBuffer& sourceDir);

// The directory field's current text, at most 259 characters.
void TakeTargetDirectory(DialogServices& dlg, PathBuffer& targetDir);

// base + name into a fresh buffer; false when it would not fit.
bool ComposePath(SystemServices& sys, const PathBuffer& base, std::string_view name,
                 PathBuffer& out);
// The Windows or system directory + name; false when the call fails or it would not fit.
bool ComposeWindowsPath(SystemServices& sys, std::string_view name, PathBuffer& out);
bool ComposeSystemPath(SystemServices& sys, std::string_view name, PathBuffer& out);

// Fills `out` through a call that writes a path and returns its length, such
// as GetWindowsDirectoryA; false when the call fails or the path is cut.
template <typename Call>
bool TakePath(PathBuffer& out, Call&& call) {
    out = PathBuffer();
    const auto length = call(out.data(), out.capacity() - 1);
    if (length == 0 || length >= out.capacity() - 1) return false;
    out.Terminate();
    return true;
}

// Whether a file or folder answers to `path`.
bool Exists(SystemServices& sys, const PathBuffer& path);

}  // namespace vx
