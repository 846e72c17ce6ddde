#include <string>
#include <vector>

#include "setup/audio_settings.h"
#include "setup/directory_rules.h"
#include "setup/disk_space.h"
#include "setup/install_log.h"
#include "setup/library_versions.h"
#include "setup/paths.h"
#include "setup/procedures.h"
#include "setup/program_group.h"
#include "setup/settings_file.h"
#include "setup/setup_selection.h"

namespace vx {

namespace {

constexpr WORD kQuietFlags = FOF_NOCONFIRMATION | FOF_SILENT;

int CopyFile(SystemServices& sys, DialogServices& dlg, const PathBuffer& from, const PathBuffer& to,
             WORD flags) {
    FileOperationRequest request;
    request.hwnd = dlg.GetSafeHwnd();
    request.wFunc = FO_COPY;
    request.pFrom = from.c_str();
    request.pTo = to.c_str();
    request.fFlags = flags;
    return sys.SHFileOperationA(&request);
}

int DeleteQuietly(SystemServices& sys, DialogServices& dlg, const PathBuffer& path) {
    FileOperationRequest request;
    request.hwnd = dlg.GetSafeHwnd();
    request.wFunc = FO_DELETE;
    request.pFrom = path.c_str();
    request.fFlags = kQuietFlags;
    return sys.SHFileOperationA(&request);
}

// The probe's name: the one a crashed install recorded, else "RUZI.INI" or
// the first free "RUZI<n>.INI", so that a file of the user's is never
// overwritten and then deleted.
bool ComposeProbePath(SystemServices& sys, const PathBuffer& targetDir, const InstallLog& log,
                      std::string& name, PathBuffer& probe) {
    name = log.Probe();
    if (!name.empty()) return ComposePath(sys, targetDir, name, probe);
    name = kProbeName;
    if (!ComposePath(sys, targetDir, name, probe)) return false;
    for (int n = 1; Exists(sys, probe); ++n) {
        if (n > 9999) return false;
        name = "RUZI" + std::to_string(n) + ".INI";
        if (!ComposePath(sys, targetDir, name, probe)) return false;
    }
    return true;
}

// The folder is made first and recorded, and the probe's name recorded before
// the probe is made: whatever a crash leaves, the next uninstall takes away.
// `logged` tells whether the record holds the folder.
bool ProbeTargetDirectory(SystemServices& sys, DialogServices& dlg, const PathBuffer& targetDir,
                          bool existed, const InstallLog& log, bool& logged) {
    const bool made =
        existed || sys.SHCreateDirectoryExA(nullptr, targetDir.c_str(), nullptr) == ERROR_SUCCESS;
    logged = made && log.RecordFolder(!existed);
    std::string name;
    PathBuffer probeFrom, probeTo;
    const bool composed = made && ComposeWindowsPath(sys, kProbeSourceName, probeFrom) &&
                          ComposeProbePath(sys, targetDir, log, name, probeTo);
    // An unwritable record does not stop the install; the end names it as failed.
    if (composed) log.RecordProbe(name);
    if (!composed || CopyFile(sys, dlg, probeFrom, probeTo, kQuietFlags) != 0) {
        dlg.MessageBox("Couldn't create installation directory.", "Installation Error", MB_OK);
        return false;
    }
    if (DeleteQuietly(sys, dlg, probeTo) == 0) log.ForgetProbe();
    return true;
}

// Copies one file; false when it is not in place afterwards.
bool InstallFile(SystemServices& sys, DialogServices& dlg, const PathBuffer& from,
                 const PathBuffer& to) {
    const int result = CopyFile(sys, dlg, from, to, FOF_NOCONFIRMATION);
    if (result == DE_SAMEFILE) return true;  // installing into the setup program's own folder
    if (result != 0) return false;
    sys.SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    return true;
}

void InstallRuntimeLibraries(SystemServices& sys, DialogServices& dlg, const PathBuffer& sourceDir,
                             std::vector<std::string>& failed) {
    for (const char* name : SystemFiles) {
        PathBuffer from, to;
        if (!ComposeSystemPath(sys, name, to)) {
            failed.emplace_back(name);
            continue;
        }
        dlg.SetDlgItemTextA(IDC_STATUS, to.c_str());
        if (!ComposePath(sys, sourceDir, name, from)) {
            failed.emplace_back(to.view());
            continue;
        }
        if (!ShouldReplaceLibrary(sys, from, to)) continue;
        if (!InstallFile(sys, dlg, from, to)) failed.emplace_back(to.view());
    }
}

// Each file is recorded before it is copied: a crash in between leaves a
// record of a file not yet there, never a file the record misses.
void InstallProgramFiles(SystemServices& sys, DialogServices& dlg, const PathBuffer& sourceDir,
                         const PathBuffer& targetDir, const InstallLog& log,
                         std::vector<std::string>& failed) {
    for (const char* name : ProgramFiles) {
        PathBuffer from, to;
        if (!ComposePath(sys, targetDir, name, to)) {
            failed.emplace_back(std::string(targetDir.view()) + "\\" + name);
            continue;
        }
        dlg.SetDlgItemTextA(IDC_STATUS, to.c_str());
        if (!ComposePath(sys, sourceDir, name, from) || !log.RecordFile(name) ||
            !InstallFile(sys, dlg, from, to))
            failed.emplace_back(to.view());
    }
}

bool IsFolder(SystemServices& sys, const PathBuffer& path) {
    const DWORD attributes = sys.GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void ResetSettings(SystemServices& sys, DialogServices& dlg, bool hasSoundCard) {
    if (!SettingsFile(sys).HasScreenSetting()) return;
    PathBuffer settingsPath;
    if (!ComposeWindowsPath(sys, kSettingsResetName, settingsPath)) return;
    DeleteQuietly(sys, dlg, settingsPath);
    // The reset took the sound-card answer with it; the game still needs it.
    WriteAudioSettings(sys, hasSoundCard);
}

void ReportInstall(DialogServices& dlg, const std::vector<std::string>& failed, bool groupCreated) {
    if (failed.empty() && groupCreated) {
        dlg.MessageBox(
            "Vornalux! has completed installation.  You can launch it from the Start Menu under "
            "PELTOMARK! Inc.  Run install.exe to uninstall Vornalux!",
            "Vornalux! installation complete.", MB_OK);
        return;
    }
    std::string message = "Vornalux! installation is incomplete.";
    for (const std::string& path : failed) message += "\n" + path;
    if (!groupCreated) message += "\nThe Start Menu group PELTOMARK! Inc could not be created.";
    dlg.MessageBox(message.c_str(), "Installation Error", MB_OK);
}

}  // namespace

bool RunInstall(SystemServices& sys, DialogServices& dlg, const PathBuffer& sourceDir,
                const PathBuffer& targetDir) {
    if (!ConfirmSetupDirectory(sys, dlg, targetDir.view(), SetupAction::Install, sourceDir))
        return false;

    const bool hasSoundCard = dlg.RunSoundCardDialog() == IDOK;
    if (!ConfirmFreeSpace(sys, dlg, sourceDir, targetDir)) return false;

    std::vector<std::string> failed;
    InstallRuntimeLibraries(sys, dlg, sourceDir, failed);
    const bool existed = IsFolder(sys, targetDir);
    const InstallLog log(sys, targetDir);
    bool logged = false;
    if (!ProbeTargetDirectory(sys, dlg, targetDir, existed, log, logged)) return false;
    ResetSettings(sys, dlg, hasSoundCard);
    // In the setup program's own folder the game's files are already in place.
    if (PlaceOfSetupFolder(sys, targetDir.view(), sourceDir).same)
        logged = log.RecordNothingCopied() && logged;
    else
        InstallProgramFiles(sys, dlg, sourceDir, targetDir, log, failed);
    if (!logged)
        failed.push_back(log.composed() ? std::string(log.path().view())
                                        : std::string(targetDir.view()) + "\\" + kInstallLogName);
    const bool groupCreated = CreateProgramGroup(sys, targetDir);

    // Written even after failed copies, so that a partial install can be uninstalled.
    const SettingsFile settings(sys);
    bool settingsWritten = settings.WriteScreenSetting();
    settingsWritten = settings.WriteInstallation(targetDir.view()) && settingsWritten;
    PathBuffer settingsPath;
    if (!settingsWritten && ComposeWindowsPath(sys, kSettingsFileName, settingsPath))
        failed.emplace_back(settingsPath.view());

    ReportInstall(dlg, failed, groupCreated);
    return true;
}

}  // namespace vx
