#include <string>
#include <vector>

#include "setup/directory_rules.h"
#include "setup/paths.h"
#include "setup/procedures.h"
#include "setup/program_group.h"
#include "setup/settings_file.h"
#include "setup/setup_selection.h"

namespace vx {

namespace {

int Delete(SystemServices& sys, DialogServices& dlg, const PathBuffer& path, WORD flags,
           bool* refused = nullptr) {
    FileOperationRequest request;
    request.hwnd = dlg.GetSafeHwnd();
    request.wFunc = FO_DELETE;
    request.pFrom = path.c_str();
    request.fFlags = flags;
    const int result = sys.SHFileOperationA(&request);
    if (refused) *refused = request.fAnyOperationsAborted != FALSE;
    return result;
}

bool Exists(SystemServices& sys, const PathBuffer& path) {
    return sys.GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFile(SystemServices& sys, const PathBuffer& path) {
    const DWORD attributes = sys.GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The shortcut goes; the group folder only when nothing else is left in it,
// since other products of the same maker may keep their shortcuts there.
void RemoveStartMenuEntry(SystemServices& sys, DialogServices& dlg, const PathBuffer& folder,
                          const PathBuffer& shortcut) {
    Delete(sys, dlg, shortcut, FOF_NOCONFIRMATION);
    sys.RemoveDirectoryA(folder.c_str());
}

// Removes the target folder. One that held the game's program removes with
// everything in it, once the user agrees; any other only when it is empty.
// Returns false when the user refused.
bool RemoveTargetDirectory(SystemServices& sys, DialogServices& dlg, PathBuffer& directory,
                           bool heldProgram) {
    dlg.SetDlgItemTextA(IDC_STATUS, directory.c_str());
    const std::size_t length = directory.length();
    if (length > 0 && EndsWithSeparator(sys, directory.view())) directory.TruncateAt(length - 1);
    directory.Terminate();
    if (!heldProgram) {
        sys.RemoveDirectoryA(directory.c_str());
        return true;
    }
    bool refused = false;
    Delete(sys, dlg, directory, 0, &refused);
    return !refused;
}

}  // namespace

void RunUninstall(SystemServices& sys, DialogServices& dlg, const PathBuffer& sourceDir,
                  const PathBuffer& targetDir) {
    if (!ConfirmSetupDirectory(sys, dlg, targetDir.view(), SetupAction::Uninstall, sourceDir))
        return;

    std::vector<PathBuffer> programFiles;
    std::vector<std::string> remaining;
    for (const char* name : ProgramFiles) {
        PathBuffer path;
        if (ComposePath(sys, targetDir, name, path))
            programFiles.push_back(path);
        else
            remaining.push_back(std::string(targetDir.view()) + "\\" + name);
    }
    PathBuffer program;
    const bool heldProgram =
        ComposePath(sys, targetDir, ProgramFiles[0], program) && IsFile(sys, program);

    PathBuffer groupFolder, shortcut, settingsPath;
    const bool groupComposed = ComposeShortcutPath(sys, groupFolder, shortcut);
    const bool settingsComposed = ComposeWindowsPath(sys, kSettingsFileName, settingsPath);

    if (groupComposed) RemoveStartMenuEntry(sys, dlg, groupFolder, shortcut);
    for (const PathBuffer& path : programFiles) {
        dlg.SetDlgItemTextA(IDC_STATUS, path.c_str());
        Delete(sys, dlg, path, FOF_NOCONFIRMATION);
    }
    PathBuffer directory = targetDir;
    const bool agreed = RemoveTargetDirectory(sys, dlg, directory, heldProgram);

    for (const PathBuffer& path : programFiles)
        if (Exists(sys, path)) remaining.emplace_back(path.view());
    if (groupComposed && Exists(sys, shortcut)) remaining.emplace_back(shortcut.view());

    // The settings file goes last, and only when the game is gone: otherwise
    // the game still counts as installed and the uninstall can be repeated.
    if (settingsComposed && remaining.empty()) Delete(sys, dlg, settingsPath, FOF_NOCONFIRMATION);
    if (agreed && Exists(sys, directory)) remaining.emplace_back(directory.view());
    if (settingsComposed && Exists(sys, settingsPath)) remaining.emplace_back(settingsPath.view());

    if (remaining.empty()) {
        dlg.MessageBox("Vornalux! has completed uninstalling.", "Vornalux! uninstall complete.",
                       MB_OK);
        return;
    }
    std::string message = "Vornalux! was not completely uninstalled.";
    for (const std::string& path : remaining) message += "\n" + path;
    dlg.MessageBox(message.c_str(), "Uninstall Error", MB_OK);
}

}  // namespace vx
