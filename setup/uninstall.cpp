#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "setup/directory_rules.h"
#include "setup/install_log.h"
#include "setup/paths.h"
#include "setup/procedures.h"
#include "setup/program_group.h"
#include "setup/settings_file.h"
#include "setup/setup_selection.h"

namespace vx {

namespace {

constexpr DWORD kListingBytes = 16 * 1024;

int Delete(SystemServices& sys, DialogServices& dlg, const PathBuffer& path, WORD flags) {
    FileOperationRequest request;
    request.hwnd = dlg.GetSafeHwnd();
    request.wFunc = FO_DELETE;
    request.pFrom = path.c_str();
    request.fFlags = flags;
    return sys.SHFileOperationA(&request);
}

// The shortcut goes; the group folder only when nothing else is left in it,
// since other products of the same maker may keep their shortcuts there.
void RemoveStartMenuEntry(SystemServices& sys, DialogServices& dlg, const PathBuffer& folder,
                          const PathBuffer& shortcut) {
    Delete(sys, dlg, shortcut, FOF_NOCONFIRMATION);
    sys.RemoveDirectoryA(folder.c_str());
}

// The target folder, opened once: the checks, the record and the delete all
// act on this folder, whatever happens to its name or the names above it.
class HeldFolder {
public:
    HeldFolder(SystemServices& sys, const PathBuffer& directory)
        : sys_(sys),
          handle_(sys.CreateFileA(directory.c_str(), FILE_LIST_DIRECTORY,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {}
    ~HeldFolder() { Close(); }
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;

    HANDLE handle() const { return handle_; }
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    void Close() {
        if (IsOpen()) sys_.CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    SystemServices& sys_;
    HANDLE handle_;
};

bool IsAsciiNameIgnoringCase(std::u16string_view name, std::string_view ascii) {
    if (name.size() != ascii.size()) return false;
    const auto lower = [](char32_t c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    for (std::size_t i = 0; i < name.size(); ++i)
        if (lower(name[i]) != lower(static_cast<unsigned char>(ascii[i]))) return false;
    return true;
}

struct Contents {
    unsigned files = 0;
    unsigned folders = 0;
};

// What the open folder holds besides the install's record (the game's
// files are gone by now).
Contents CountContents(SystemServices& sys, HANDLE folder) {
    std::vector<std::uint64_t> buffer(kListingBytes / sizeof(std::uint64_t));
    Contents contents;
    FILE_INFO_BY_HANDLE_CLASS infoClass = FileIdBothDirectoryRestartInfo;
    while (sys.GetFileInformationByHandleEx(folder, infoClass, buffer.data(), kListingBytes)) {
        infoClass = FileIdBothDirectoryInfo;
        const auto* at = reinterpret_cast<const unsigned char*>(buffer.data());
        for (;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            const std::u16string_view name(info->FileName, info->FileNameLength / 2);
            if (name != u"." && name != u".." && !IsAsciiNameIgnoringCase(name, kInstallLogName))
                ++((info->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? contents.folders
                                                                     : contents.files);
            if (info->NextEntryOffset == 0) break;
            at += info->NextEntryOffset;
        }
    }
    return contents;
}

std::string Counted(unsigned count, const char* what) {
    return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

// Names the folder as it resolves, long form, and what else is in it.
std::string FolderQuestion(SystemServices& sys, const HeldFolder& folder,
                           const PathBuffer& directory) {
    std::string name(directory.view());
    char resolved[MAX_PATH] = {};
    const DWORD length =
        sys.GetFinalPathNameByHandleA(folder.handle(), resolved, MAX_PATH, FILE_NAME_NORMALIZED);
    if (length > 0 && length < MAX_PATH) {
        const std::string_view full(resolved, length);
        if (full.substr(0, 8) == "\\\\?\\UNC\\")
            name = "\\\\" + std::string(full.substr(8));
        else if (full.substr(0, 4) == "\\\\?\\")
            name = full.substr(4);
        else
            name = full;
    }
    const Contents contents = CountContents(sys, folder.handle());
    std::string question =
        "Are you sure you want to delete the folder '" + name + "' and all of its contents?  ";
    if (contents.files + contents.folders == 0)
        return question + "It holds nothing besides the game's own files.";
    return question + "Besides the game's own files it holds " + Counted(contents.files, "file") +
           " and " + Counted(contents.folders, "folder") + ".";
}

}  // namespace

void RunUninstall(SystemServices& sys, DialogServices& dlg, const PathBuffer& sourceDir,
                  const PathBuffer& targetDir) {
    HeldFolder folder(sys, targetDir);
    if (!ConfirmSetupDirectory(sys, dlg, targetDir.view(), SetupAction::Uninstall, sourceDir))
        return;

    // The setup program's own folder keeps the game's files: they are the
    // distribution it runs from. A folder that holds it is never wiped.
    const SetupFolderPlace place = PlaceOfSetupFolder(sys, targetDir.view(), sourceDir);
    const InstallLog log(sys, targetDir);
    const bool logged = log.Exists();
    // Without a record (an install by an earlier version) the folder was not ours.
    const bool created = logged && log.FolderCreated() && !place.holds;

    std::vector<PathBuffer> programFiles;
    std::vector<std::string> remaining;
    for (const char* name : ProgramFiles) {
        if (place.same || (logged && !log.ListsFile(name))) continue;
        PathBuffer path;
        if (ComposePath(sys, targetDir, name, path))
            programFiles.push_back(path);
        else
            remaining.push_back(std::string(targetDir.view()) + "\\" + name);
    }
    // A probe a crashed install left is the install's as much as its files.
    const std::string probeName = log.Probe();
    if (PathBuffer probe; !probeName.empty() && ComposePath(sys, targetDir, probeName, probe))
        programFiles.push_back(probe);

    const std::vector<StartMenuGroup> groups = StartMenuGroups(sys);
    PathBuffer settingsPath;
    const bool settingsComposed = ComposeWindowsPath(sys, kSettingsFileName, settingsPath);

    for (const StartMenuGroup& group : groups)
        RemoveStartMenuEntry(sys, dlg, group.folder, group.shortcut);
    for (const PathBuffer& path : programFiles) {
        dlg.SetDlgItemTextA(IDC_STATUS, path.c_str());
        Delete(sys, dlg, path, FOF_NOCONFIRMATION);
    }
    for (const PathBuffer& path : programFiles)
        if (Exists(sys, path)) remaining.emplace_back(path.view());

    dlg.SetDlgItemTextA(IDC_STATUS, targetDir.c_str());
    PathBuffer directory = targetDir;
    const std::size_t length = directory.length();
    if (length > 0 && EndsWithSeparator(sys, directory.view())) directory.TruncateAt(length - 1);
    directory.Terminate();
    // The record is the last of the folder to go, and only once the game's
    // files are gone, so that a repeated uninstall still knows what was ours.
    bool agreed = true;
    if (remaining.empty() && created) {
        if (folder.IsOpen()) {
            agreed = dlg.AskConfirmation(FolderQuestion(sys, folder, directory),
                                         "Confirm Folder Delete");
            if (agreed) Delete(sys, dlg, directory, FOF_NOCONFIRMATION | FOF_SILENT);
        }
    } else if (remaining.empty()) {
        if (logged) Delete(sys, dlg, log.path(), FOF_NOCONFIRMATION);
        // A folder that was not ours goes only when nothing is left in it.
        if (!place.same) sys.RemoveDirectoryA(directory.c_str());
    }
    folder.Close();

    for (const StartMenuGroup& group : groups)
        if (Exists(sys, group.shortcut)) remaining.emplace_back(group.shortcut.view());
    // The settings file goes last, and only when the game is gone: otherwise
    // the game still counts as installed and the uninstall can be repeated.
    if (settingsComposed && remaining.empty()) Delete(sys, dlg, settingsPath, FOF_NOCONFIRMATION);
    if (agreed && !place.same && Exists(sys, directory)) remaining.emplace_back(directory.view());
    if (settingsComposed && Exists(sys, settingsPath)) remaining.emplace_back(settingsPath.view());

    if (!remaining.empty()) {
        std::string message = "Vornalux! was not completely uninstalled.";
        for (const std::string& path : remaining) message += "\n" + path;
        dlg.MessageBox(message.c_str(), "Uninstall Error", MB_OK);
        return;
    }
    std::string message = "Vornalux! has completed uninstalling.";
    if (place.same)
        message += "  Its files stay in " + std::string(directory.view()) +
                   ", the folder this setup program runs from.";
    dlg.MessageBox(message.c_str(), "Vornalux! uninstall complete.", MB_OK);
}

}  // namespace vx
