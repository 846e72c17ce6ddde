// The shell's copy and delete on the machine folder: the request is checked
// and its questions asked here; the host work is in the host room.
#include <sys/stat.h>

#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/dialog_services.h"
#include "platform/host/host_files.h"
#include "platform/posix/posix_system_services.h"
#include "platform/win32_names.h"

namespace vx::posix {

namespace {

using host::CopyHostFile;
using host::CreateHostFolders;
using host::RemoveHostTree;
using host::RemoveHostTreeAt;
using host::SameFile;

constexpr int DE_FILEDESTISFLD = 0x80;
// A copy at least this large shows the progress window.
constexpr std::uint64_t kProgressThreshold = 4u << 20;

// The one path of a double-terminated list: a non-empty entry and the empty
// one behind it within MAX_PATH + 1 bytes. Never reads past the second zero.
std::optional<std::string_view> ReadSingleEntryList(const char* list) {
    if (!list) return std::nullopt;
    for (std::size_t i = 0; i <= MAX_PATH; ++i) {
        if (list[i] != '\0') continue;
        if (i == 0 || i == MAX_PATH || list[i + 1] != '\0') return std::nullopt;
        return std::string_view(list, i);
    }
    return std::nullopt;
}

// A single zero-terminated path of at most MAX_PATH bytes with its terminator;
// anything behind the terminator is ignored, as the shell ignores extra targets.
std::optional<std::string_view> ReadSinglePath(const char* path) {
    if (!path) return std::nullopt;
    for (std::size_t i = 0; i < MAX_PATH; ++i)
        if (path[i] == '\0')
            return i == 0 ? std::nullopt : std::optional(std::string_view(path, i));
    return std::nullopt;
}

// Walks narrow text character by character, so that a trail byte of a
// double-byte character is never taken for a separator or a wildcard.
template <typename Visit>
void ForEachCharacter(const Machine& machine, std::string_view text, Visit visit) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        visit(i, text[i]);
        if (machine.IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ++i;
    }
}

bool HoldsWildcard(const Machine& machine, std::string_view path) {
    bool found = false;
    ForEachCharacter(machine, path, [&](std::size_t, char c) { found |= c == '*' || c == '?'; });
    return found;
}

std::size_t LastSeparator(const Machine& machine, std::string_view path) {
    std::size_t last = std::string_view::npos;
    ForEachCharacter(machine, path, [&](std::size_t i, char c) {
        if (IsSeparator(c)) last = i;
    });
    return last;
}

std::string_view LastComponent(const Machine& machine, std::string_view path) {
    const std::size_t separator = LastSeparator(machine, path);
    if (separator != std::string_view::npos) return path.substr(separator + 1);
    // "C:name" names a file on the drive.
    return path.size() >= 2 && path[1] == ':' ? path.substr(2) : path;
}

std::string HostFolderOf(const std::string& hostPath) {
    const std::size_t slash = hostPath.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : hostPath.substr(0, slash);
}

std::string HostNameOf(const std::string& hostPath) {
    const std::size_t slash = hostPath.rfind('/');
    return slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
}

std::optional<struct stat> StatOf(const std::string& path, bool followLinks) {
    struct stat st {};
    const int result = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    if (result != 0) return std::nullopt;
    return st;
}

// One SHFileOperationA call: the request, its owner and the machine it works on.
class ShellOperation {
public:
    ShellOperation(const Machine& machine, FileOperationRequest& request)
        : machine_(machine), request_(request), owner_(ShellWindowsOf(request.hwnd)) {}

    int Copy(std::string_view from, std::string_view to) {
        if (HoldsWildcard(machine_, to)) return DE_INVALIDFILES;
        const std::optional<HostPath> source = machine_.Map(from);
        const std::optional<HostPath> mappedTarget = machine_.Map(to);
        if (!source || !mappedTarget) return ERROR_PATH_NOT_FOUND;

        const std::optional<struct stat> sourceStat = StatOf(source->path, true);
        if (!sourceStat) return errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
        // The setup program copies files only; a folder is not taken apart here.
        if (!S_ISREG(sourceStat->st_mode)) return ERROR_ACCESS_DENIED;

        std::string target = mappedTarget->path;
        std::string windowsTarget(to);
        // A file copied to a folder lands in it under its own name.
        const std::optional<struct stat> targetFolder = StatOf(target, true);
        if (targetFolder && S_ISDIR(targetFolder->st_mode)) {
            if (SameFile(*targetFolder, *sourceStat)) return DE_SAMEFILE;
            target += "/" + HostNameOf(source->path);
            if (!IsSeparator(windowsTarget.back())) windowsTarget += '\\';
            windowsTarget += LastComponent(machine_, from);
        } else if (IsSeparator(to.back())) {
            return ERROR_PATH_NOT_FOUND;
        }

        const std::optional<struct stat> existing = StatOf(target, true);
        if (existing && SameFile(*existing, *sourceStat)) return DE_SAMEFILE;
        if (existing && S_ISDIR(existing->st_mode)) return DE_FILEDESTISFLD;

        if (const int folder = PrepareTargetFolder(target, windowsTarget); folder != ERROR_SUCCESS)
            return folder;
        if (existing && !Confirm(ReplaceQuestion(windowsTarget), "Confirm File Replace"))
            return Refused();
        return CopyWithProgress(source->path, target, *sourceStat, windowsTarget);
    }

    int Delete(std::string_view from) {
        const std::optional<HostPath> mapped = machine_.Map(from);
        if (!mapped) return ERROR_PATH_NOT_FOUND;
        if (mapped->pinnedFolder >= 0) {
            // A folder held open: removed through its descriptor, wherever it is now.
            if (!Confirm(FolderQuestion(from), "Confirm Folder Delete")) return Refused();
            return RemoveHostTreeAt(mapped->pinnedFolder, true);
        }
        const std::optional<struct stat> st = StatOf(mapped->path, false);
        if (!st) return errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
        if (IsDriveRoot(*mapped, *st)) return ERROR_ACCESS_DENIED;

        const std::string name(from);
        const bool folder = S_ISDIR(st->st_mode);
        const bool agreed = folder ? Confirm(FolderQuestion(from), "Confirm Folder Delete")
                                   : Confirm("Are you sure you want to delete '" + name + "'?",
                                             "Confirm File Delete");
        if (!agreed) return Refused();
        return RemoveHostTree(mapped->path);
    }

private:
    static std::string FolderQuestion(std::string_view name) {
        return "Are you sure you want to delete the folder '" + std::string(name) +
               "' and all of its contents?";
    }

    bool Asks() const { return (request_.fFlags & FOF_NOCONFIRMATION) == 0; }

    // Without an owner a question cannot be put, and an unanswered question is no yes.
    bool Confirm(const std::string& text, std::string_view caption) {
        if (!Asks()) return true;
        return owner_ && owner_->AskConfirmation(text, caption);
    }

    int Refused() {
        request_.fAnyOperationsAborted = TRUE;
        return ERROR_CANCELLED;
    }

    // A delete of a drive's root would empty the whole drive or cut its link.
    static bool IsDriveRoot(const HostPath& mapped, const struct stat& st) {
        if (mapped.path == mapped.driveRoot) return true;
        const std::optional<struct stat> root = StatOf(mapped.driveRoot, true);
        return root && S_ISDIR(st.st_mode) && SameFile(*root, st);
    }

    int PrepareTargetFolder(const std::string& target, const std::string& windowsTarget) {
        const std::string folder = HostFolderOf(target);
        if (const std::optional<struct stat> st = StatOf(folder, true))
            return S_ISDIR(st->st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
        if (errno != ENOENT) return ERROR_PATH_NOT_FOUND;
        const std::size_t separator = LastSeparator(machine_, windowsTarget);
        const std::string windowsFolder = windowsTarget.substr(0, separator);
        if (!Confirm(
                "The folder '" + windowsFolder + "' does not exist.  Do you want to create it?",
                "Confirm Folder Create"))
            return Refused();
        return CreateHostFolders(folder);
    }

    std::string ReplaceQuestion(const std::string& windowsTarget) {
        return "'" + windowsTarget + "' already exists.  Do you want to replace it?";
    }

    int CopyWithProgress(const std::string& source, const std::string& target,
                         const struct stat& sourceStat, const std::string& windowsTarget) {
        const bool shows = owner_ && (request_.fFlags & FOF_SILENT) == 0 &&
                           static_cast<std::uint64_t>(sourceStat.st_size) >= kProgressThreshold;
        if (!shows) return CopyHostFile(source, target);
        owner_->BeginProgress("Copying '" + windowsTarget + "'");
        const int result =
            CopyHostFile(source, target, [this](std::uint64_t done, std::uint64_t total) {
                owner_->UpdateProgress(done, total);
            });
        owner_->EndProgress();
        return result;
    }

    const Machine& machine_;
    FileOperationRequest& request_;
    ShellWindows* owner_;
};

// Whether a delete of `windowsPath` reaches into the Start menu below the
// Windows directory `windowsDirectory` (or takes it with a folder above it).
bool ReachesStartMenu(const Machine& machine, const std::string& windowsDirectory,
                      std::string_view windowsPath) {
    const std::optional<HostPath> deleted = machine.Map(windowsPath);
    const std::optional<HostPath> startMenu = machine.Map(windowsDirectory + "\\Start Menu");
    if (!deleted || !startMenu) return false;
    const auto within = [](const std::string& inner, const std::string& outer) {
        return inner == outer || inner.starts_with(outer + "/");
    };
    return within(deleted->path, startMenu->path) || within(startMenu->path, deleted->path);
}

}  // namespace

int PosixSystemServices::SHFileOperationA(FileOperationRequest* request) {
    if (!request) return ERROR_INVALID_PARAMETER;
    request->fAnyOperationsAborted = FALSE;
    if (request->wFunc != FO_COPY && request->wFunc != FO_DELETE) return ERROR_INVALID_PARAMETER;
    // One path only: the shell's lists of several are not needed, and a list
    // without its end is refused rather than read past.
    const std::optional<std::string_view> from = ReadSingleEntryList(request->pFrom);
    if (!from || HoldsWildcard(machine_, *from)) return DE_INVALIDFILES;

    ShellOperation operation(machine_, *request);
    if (request->wFunc == FO_DELETE) {
        // Decided before the delete, while the path still maps as it did.
        char windowsDirectory[MAX_PATH] = {};
        const bool startMenu = startMenuDeleted_ &&
                               GetWindowsDirectoryA(windowsDirectory, MAX_PATH) != 0 &&
                               ReachesStartMenu(machine_, windowsDirectory, *from);
        const int result = operation.Delete(*from);
        if (startMenu) startMenuDeleted_(*from);
        return result;
    }
    const std::optional<std::string_view> to = ReadSinglePath(request->pTo);
    if (!to) return ERROR_INVALID_PARAMETER;
    return operation.Copy(*from, *to);
}

}  // namespace vx::posix
