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

}  // namespace vx
