#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "setup/directory_rules.h"
#include "setup/install_log.h"
#include "setup/paths.h"
#include "setup/procedures.h"
#include "setup/program_group.h"
#include "setup/report.h"
#include "setup/settings_file.h"
#include "setup/shell_files.h"

namespace vx {

namespace {

constexpr DWORD kListingBytes = 16 * 1024;

// The shortcut goes; the group folder only when nothing else is left in it,
// since other products of the same maker may keep their shortcuts there.
void RemoveStartMenuEntry(SystemServices& sys, DialogServices& dlg, const PathBuffer& folder,
                          const PathBuffer& shortcut) {
    // What stays is found and named once everything else has gone.
    (void)ShellDelete(sys, dlg, shortcut, FOF_NOCONFIRMATION);
    (void)sys.RemoveDirectoryA(folder.c_str());
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
        // A directory handle holds no data that a failed close could lose.
        if (IsOpen()) (void)sys_.CloseHandle(handle_);
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

// What the record says of the folder, and where it stands to the setup
// program's own folder.
struct Ownership {
    bool logged = false;   // an install of this version recorded what it made
    bool created = false;  // the install made the folder, and it holds no setup program
    bool same = false;     // the setup program's own folder
};

// The install's files to remove, each composed in the target folder; a name
// that does not fit is left over from the start.
std::vector<PathBuffer> ProgramFilesToRemove(SystemServices& sys, const PathBuffer& targetDir,
                                             const InstallLog& log, const Ownership& ours,
                                             std::vector<std::string>& remaining) {
    std::vector<PathBuffer> programFiles;
    for (const char* name : ProgramFiles) {
        if (ours.same || (ours.logged && !log.ListsFile(name))) continue;
        PathBuffer path;
        if (ComposePath(sys, targetDir, name, path))
            programFiles.push_back(path);
        else
            remaining.push_back(UncomposedPath(targetDir, name));
    }
    // A probe a crashed install left is the install's as much as its files.
    const std::string probeName = log.Probe();
    if (PathBuffer probe; !probeName.empty() && ComposePath(sys, targetDir, probeName, probe))
        programFiles.push_back(probe);
    return programFiles;
}

void NoteIfLeft(SystemServices& sys, const PathBuffer& path, std::vector<std::string>& remaining) {
    if (Exists(sys, path)) remaining.emplace_back(path.view());
}

// Each file whatever becomes of the others; those still there are left over.
void RemoveProgramFiles(SystemServices& sys, DialogServices& dlg,
                        const std::vector<PathBuffer>& programFiles,
                        std::vector<std::string>& remaining) {
    for (const PathBuffer& path : programFiles) {
        ShowStatus(dlg, path);
        // What stays is named below.
        (void)ShellDelete(sys, dlg, path, FOF_NOCONFIRMATION);
    }
    for (const PathBuffer& path : programFiles) NoteIfLeft(sys, path, remaining);
}

// The target as the folder's own name, without a trailing separator.
PathBuffer FolderName(SystemServices& sys, const PathBuffer& targetDir) {
    PathBuffer directory = targetDir;
    const std::size_t length = directory.length();
    if (length > 0 && EndsWithSeparator(sys, directory.view())) directory.TruncateAt(length - 1);
    directory.Terminate();
    return directory;
}

// Once the game's files are gone: the folder the install made, with the
// user's agreement, else the record and the folder if nothing else is in it.
// The record is the last of the folder to go, so that a repeated uninstall
// still knows what was ours. False when the user keeps the folder.
bool RemoveFolder(SystemServices& sys, DialogServices& dlg, const HeldFolder& folder,
                  const PathBuffer& directory, const InstallLog& log, const Ownership& ours) {
    // Whatever fails to go here is found and named afterwards.
    if (ours.created) {
        if (!folder.IsOpen()) return true;
        if (!dlg.AskConfirmation(FolderQuestion(sys, folder, directory), "Confirm Folder Delete"))
            return false;
        (void)ShellDelete(sys, dlg, directory, FOF_NOCONFIRMATION | FOF_SILENT);
        return true;
    }
    if (ours.logged) (void)ShellDelete(sys, dlg, log.path(), FOF_NOCONFIRMATION);
    // A folder that was not ours goes only when nothing is left in it.
    if (!ours.same) (void)sys.RemoveDirectoryA(directory.c_str());
    return true;
}

void ReportUninstall(DialogServices& dlg, const std::vector<std::string>& remaining,
                     const PathBuffer& directory, bool same) {
    std::string completed = "Vornalux! has completed uninstalling.";
    if (same)
        completed += "  Its files stay in " + std::string(directory.view()) +
                     ", the folder this setup program runs from.";
    ReportOutcome(dlg, remaining,
                  {completed, "Vornalux! uninstall complete.",
                   "Vornalux! was not completely uninstalled.", "Uninstall Error"});
}

}  // namespace

void RunUninstall(SystemServices& sys, DialogServices& dlg, const CheckedDirectory& checked) {
    const PathBuffer& targetDir = checked.target();
    HeldFolder folder(sys, targetDir);
    // The setup program's own folder keeps the game's files: they are the
    // distribution it runs from. A folder that holds it is never wiped.
    const SetupFolderPlace place = PlaceOfSetupFolder(sys, targetDir.view(), checked.source());
    const InstallLog log(sys, targetDir);
    const bool logged = log.Exists();
    // Without a record (an install by an earlier version) the folder was not ours.
    const Ownership ours{logged, logged && log.FolderCreated() && !place.holds, place.same};

    std::vector<std::string> remaining;
    const std::vector<PathBuffer> programFiles =
        ProgramFilesToRemove(sys, targetDir, log, ours, remaining);
    const std::vector<StartMenuGroup> groups = StartMenuGroups(sys);
    PathBuffer settingsPath;
    const bool settingsComposed = ComposeWindowsPath(sys, kSettingsFileName, settingsPath);

    for (const StartMenuGroup& group : groups)
        RemoveStartMenuEntry(sys, dlg, group.folder, group.shortcut);
    RemoveProgramFiles(sys, dlg, programFiles, remaining);
    ShowStatus(dlg, targetDir);
    const PathBuffer directory = FolderName(sys, targetDir);
    const bool agreed = !remaining.empty() || RemoveFolder(sys, dlg, folder, directory, log, ours);
    folder.Close();

    for (const StartMenuGroup& group : groups) NoteIfLeft(sys, group.shortcut, remaining);
    // The settings file goes last, and only when the game is gone: otherwise
    // the game still counts as installed and the uninstall can be repeated.
    if (settingsComposed && remaining.empty())
        (void)ShellDelete(sys, dlg, settingsPath, FOF_NOCONFIRMATION);  // checked just below
    if (agreed && !ours.same) NoteIfLeft(sys, directory, remaining);
    if (settingsComposed) NoteIfLeft(sys, settingsPath, remaining);
    ReportUninstall(dlg, remaining, directory, ours.same);
}

}  // namespace vx
