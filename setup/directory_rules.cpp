#include "setup/directory_rules.h"

#include <array>
#include <vector>

#include "platform/win32_names.h"
#include "setup/paths.h"

namespace vx {

namespace {

std::string Quoted(std::string_view directory, std::string_view rest) {
    std::string message = "\"";
    message.append(directory);
    message += "\" ";
    message.append(rest);
    return message;
}

bool IsFullPath(std::string_view d) {
    const auto letter = static_cast<unsigned char>(d.size() > 0 ? d[0] : 0);
    const bool isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
    return d.size() >= 3 && isLetter && d[1] == ':' && IsSeparator(d[2]);
}

// Walks by whole characters so a trail byte is never taken for a forbidden one.
bool HoldsForbiddenCharacter(SystemServices& sys, const std::string& d) {
    for (const char* p = d.c_str(); *p != '\0'; p = sys.CharNextA(p)) {
        const bool singleByte = sys.CharNextA(p) == p + 1;
        if (!singleByte) continue;
        // A path holds separators, and its drive's colon after the letter.
        if (IsSeparator(*p) || (*p == ':' && p == d.c_str() + 1)) continue;
        if (IsForbiddenInName(*p)) return true;
    }
    return false;
}

// The components after "X:\", split by whole characters so that a trail
// byte is never taken for a separator.
std::vector<std::string> ComponentsAfterDrive(SystemServices& sys, const std::string& d) {
    std::vector<std::string> components(1);
    for (const char* p = d.c_str() + 3; *p != '\0';) {
        const char* next = sys.CharNextA(p);
        if (next == p + 1 && IsSeparator(*p))
            components.emplace_back();
        else
            components.back().append(p, next);
        p = next;
    }
    return components;
}

// Whether the components after "X:\" vanish once "." and ".." are resolved and
// trailing dots and spaces dropped, as Windows does.
bool IsDriveRoot(SystemServices& sys, const std::string& d) {
    std::vector<std::string> kept;
    for (std::string component : ComponentsAfterDrive(sys, d)) {
        if (component == "..") {
            if (!kept.empty()) kept.pop_back();
            continue;
        }
        while (!component.empty() && (component.back() == '.' || component.back() == ' '))
            component.pop_back();
        if (!component.empty()) kept.push_back(component);
    }
    return kept.empty();
}

// Whether a component other than "." and ".." is made of dots and spaces
// only: Windows drops it, so the path would name the folder above it.
bool HoldsVanishingComponent(SystemServices& sys, const std::string& d) {
    for (const std::string& component : ComponentsAfterDrive(sys, d))
        if (!component.empty() && component != "." && component != ".." &&
            component.find_first_not_of(". ") == std::string::npos)
            return true;
    return false;
}

// Whether `directory` is `protectedPath` or a folder above it, by file identity.
bool HoldsFolder(SystemServices& sys, const FileIdentity& directory, const char* protectedPath) {
    std::array<FileIdentity, 256> lineage;
    const UINT count =
        sys.GetAncestorIdentities(protectedPath, lineage.data(), static_cast<UINT>(lineage.size()));
    for (UINT i = 0; i < count && i < lineage.size(); ++i)
        if (lineage[i] == directory) return true;
    return false;
}

// The host's own system folders, where a drive shows the host's file system.
constexpr std::array<const char*, 15> kHostSystemFolders = {
    "/bin",  "/boot", "/dev",  "/etc", "/lib", "/lib32", "/lib64", "/libx32",
    "/proc", "/run",  "/sbin", "/srv", "/sys", "/usr",   "/var"};

bool HoldsHostSystemFolder(SystemServices& sys, const FileIdentity& directory) {
    for (const char* hostFolder : kHostSystemFolders) {
        PathBuffer windowsPath;
        if (TakePath(windowsPath,
                     [&](char* buffer, UINT size) {
                         return sys.GetDosFileNameA(hostFolder, buffer, size);
                     }) &&
            HoldsFolder(sys, directory, windowsPath.c_str()))
            return true;
    }
    return false;
}

bool SameFolder(SystemServices& sys, const char* a, const char* b) {
    FileIdentity first, second;
    return sys.GetFileIdentity(a, &first) && sys.GetFileIdentity(b, &second) && first == second;
}

}  // namespace

std::optional<std::string> CheckSetupDirectory(SystemServices& sys, std::string_view directory,
                                               SetupAction, const PathBuffer&) {
    // Both actions share the rules; the setup program's own folder is the
    // procedures' concern (PlaceOfSetupFolder).
    const std::string text(directory);
    if (text.empty()) return std::string("Please enter the directory to use.");
    if (!IsFullPath(text)) return Quoted(text, "is not a full path such as C:\\Games\\Vornalux.");
    if (HoldsForbiddenCharacter(sys, text))
        return Quoted(text, "holds a character that file names cannot hold.");
    if (IsDriveRoot(sys, text)) return Quoted(text, "is the root of a drive.");
    if (HoldsVanishingComponent(sys, text))
        return Quoted(text, "holds a folder name of only dots and spaces, which Windows drops.");

    // A folder that does not exist yet cannot hold anything.
    FileIdentity identity;
    if (!sys.GetFileIdentity(text.c_str(), &identity)) return std::nullopt;

    const auto holds = [&](UINT (SystemServices::*directoryCall)(char*, UINT)) {
        PathBuffer protectedDir;
        return TakePath(
                   protectedDir,
                   [&](char* buffer, UINT size) { return (sys.*directoryCall)(buffer, size); }) &&
               HoldsFolder(sys, identity, protectedDir.c_str());
    };
    if (holds(&SystemServices::GetWindowsDirectoryA) || holds(&SystemServices::GetSystemDirectoryA))
        return Quoted(text, "holds the Windows system files.");
    if (HoldsHostSystemFolder(sys, identity)) return Quoted(text, "holds the host system's files.");
    if (holds(&SystemServices::GetHomeDirectoryA)) return Quoted(text, "holds your home folder.");
    return std::nullopt;
}

SetupFolderPlace PlaceOfSetupFolder(SystemServices& sys, std::string_view directory,
                                    const PathBuffer& sourceDir) {
    const std::string text(directory);
    FileIdentity identity;
    if (sourceDir.empty() || !sys.GetFileIdentity(text.c_str(), &identity)) return {};
    SetupFolderPlace place;
    place.same = SameFolder(sys, text.c_str(), sourceDir.c_str());
    place.holds = place.same || HoldsFolder(sys, identity, sourceDir.c_str());
    return place;
}

std::optional<CheckedDirectory> ConfirmSetupDirectory(SystemServices& sys, DialogServices& dlg,
                                                      const PathBuffer& directory,
                                                      SetupAction action,
                                                      const PathBuffer& sourceDir) {
    const std::optional<std::string> refusal =
        CheckSetupDirectory(sys, directory.view(), action, sourceDir);
    if (!refusal) return CheckedDirectory(directory, sourceDir);
    // An OK box has one answer.
    (void)dlg.MessageBox(refusal->c_str(),
                         action == SetupAction::Install ? "Installation Error" : "Uninstall Error",
                         MB_OK);
    return std::nullopt;
}

}  // namespace vx
