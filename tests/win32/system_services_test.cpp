// The Win32 system services beyond the plain pass-through: file identity,
// the folders above a folder, the profile folder as home, the module path,
// the folder choosers' listing through the real search calls, the disk space
// calls, and the game started through the desktop's shell.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/framework/folder_listing.h"
#include "platform/win32/win32_system_services.h"
#include "tests/support/temp_machine.h"

// After the project's headers: <windows.h> defines several of their names as macros.
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

namespace {

namespace fs = std::filesystem;
using vx::FileIdentity;

class Win32SystemServicesTest : public ::testing::Test {
protected:
    std::string Path(const std::string& relative) const {
        return (machine_.root() / relative).string();
    }
    FileIdentity Identity(const std::string& path) {
        FileIdentity identity;
        EXPECT_TRUE(sys_.GetFileIdentity(path.c_str(), &identity)) << path;
        return identity;
    }

    vx::testing::TempMachine machine_;
    vx::win32::Win32SystemServices sys_;
};

TEST_F(Win32SystemServicesTest, FileIdentityIsTheSameWhateverTheSpelling) {
    vx::testing::WriteFile(machine_.root() / "Long Folder" / "a.txt", "a");
    vx::testing::WriteFile(machine_.root() / "Long Folder" / "b.txt", "b");
    const FileIdentity file = Identity(Path("Long Folder\\a.txt"));
    char shortPath[MAX_PATH];
    ASSERT_GT(::GetShortPathNameA(Path("Long Folder\\a.txt").c_str(), shortPath, MAX_PATH), 0u);
    std::string upper = Path("LONG FOLDER\\A.TXT");
    for (const std::string& spelling :
         {std::string(shortPath), upper, Path("Long Folder\\.\\..\\Long Folder/a.txt")}) {
        SCOPED_TRACE(spelling);
        EXPECT_EQ(Identity(spelling), file);
    }
    EXPECT_NE(Identity(Path("Long Folder\\b.txt")), file);
    // Folders have identities too, their own.
    const FileIdentity folder = Identity(Path("Long Folder"));
    EXPECT_NE(folder, file);
    EXPECT_EQ(Identity(Path("Long Folder\\")), folder);

    FileIdentity untouched{7, 7};
    EXPECT_FALSE(sys_.GetFileIdentity(Path("Long Folder\\c.txt").c_str(), &untouched));
    EXPECT_FALSE(sys_.GetFileIdentity(nullptr, &untouched));
    EXPECT_EQ(untouched, (FileIdentity{7, 7}));
}

TEST_F(Win32SystemServicesTest, AncestorsRunFromTheFolderToItsDriveRoot) {
    fs::create_directories(machine_.root() / "one" / "two");
    const std::string two = Path("one\\two");
    std::array<FileIdentity, 64> found{};
    const vx::UINT count = sys_.GetAncestorIdentities(two.c_str(), found.data(), found.size());
    // The folder, each folder above it, and the drive's root last.
    std::vector<FileIdentity> expected;
    for (fs::path p = two;; p = p.parent_path()) {
        expected.push_back(Identity(p.string()));
        if (p == p.root_path()) break;
    }
    ASSERT_EQ(count, expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(found[i], expected[i]) << i;
    EXPECT_EQ(found[count - 1], Identity("C:\\"));

    // "." and ".." are resolved first; the capacity bounds the walk.
    FileIdentity two_[2];
    ASSERT_EQ(sys_.GetAncestorIdentities((two + "\\..\\two\\.").c_str(), two_, 2), 2u);
    EXPECT_EQ(two_[0], expected[0]);
    EXPECT_EQ(two_[1], expected[1]);

    // Only folders have ancestors here.
    vx::testing::WriteFile(machine_.root() / "file.txt", "x");
    EXPECT_EQ(sys_.GetAncestorIdentities(Path("file.txt").c_str(), two_, 2), 0u);
    EXPECT_EQ(sys_.GetAncestorIdentities(Path("missing").c_str(), two_, 2), 0u);
    EXPECT_EQ(sys_.GetAncestorIdentities(two.c_str(), two_, 0), 0u);
}

TEST_F(Win32SystemServicesTest, HomeIsTheProfileFolder) {
    char profile[MAX_PATH] = {};
    ASSERT_GT(::GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH), 0u);
    char home[MAX_PATH] = {};
    const vx::UINT length = sys_.GetHomeDirectoryA(home, MAX_PATH);
    EXPECT_EQ(std::string(home), profile);
    EXPECT_EQ(length, std::string(profile).size());
    EXPECT_TRUE(fs::is_directory(home));

    // Too small: the size needed, and the buffer left alone.
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(sys_.GetHomeDirectoryA(small, sizeof small), length + 1);
    EXPECT_EQ(std::string(small, 4), "xxxx");
}

TEST_F(Win32SystemServicesTest, ModulePathIsTheRunningProgram) {
    char expected[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, expected, MAX_PATH);
    char path[MAX_PATH] = {};
    EXPECT_EQ(sys_.GetModuleFileNameA(path, MAX_PATH), std::string(expected).size());
    EXPECT_STREQ(path, expected);
    EXPECT_EQ(fs::path(path).extension(), ".exe");
}

TEST_F(Win32SystemServicesTest, FolderChoosersListDrivesAndFoldersThroughTheSystem) {
    fs::create_directories(machine_.root() / "pick" / "Vornalux");
    fs::create_directories(machine_.root() / "pick" / "a long folder name");
    vx::testing::WriteFile(machine_.root() / "pick" / "readme.txt", "not a folder");
    EXPECT_EQ(vx::ListSubfolders(sys_, Path("pick")),
              (std::vector<std::string>{"a long folder name", "Vornalux"}));
    const std::vector<std::string> drives = vx::ListDrives(sys_);
    EXPECT_NE(std::find(drives.begin(), drives.end(), "C:\\"), drives.end());
}

TEST_F(Win32SystemServicesTest, DiskSpaceCallsPassThrough) {
    vx::ULARGE_INTEGER available{}, total{}, free{};
    ASSERT_TRUE(sys_.GetDiskFreeSpaceExA(Path("").c_str(), &available, &total, &free));
    EXPECT_GT(total.QuadPart, 0u);
    EXPECT_GE(total.QuadPart, free.QuadPart);
    EXPECT_GE(free.QuadPart, available.QuadPart);
    vx::DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
    ASSERT_TRUE(sys_.GetDiskFreeSpaceA("C:\\", &sectors, &bytes, &freeClusters, &clusters));
    EXPECT_GT(std::uint64_t{sectors} * bytes, 0u);

    char root[MAX_PATH] = {};
    ASSERT_TRUE(sys_.GetVolumePathNameA("C:\\windows\\Not Yet\\There", root, MAX_PATH));
    EXPECT_STREQ(root, "C:\\");

    // A drive the machine does not have: the error the stand-in gives too.
    // (Its root only: below it, Wine says ERROR_FILE_NOT_FOUND.)
    const DWORD drives = ::GetLogicalDrives();
    char letter = 'Z';
    while (letter > 'D' && (drives & (1u << (letter - 'A')))) --letter;
    ASSERT_GT(letter, 'D');
    const std::string missing = std::string(1, letter) + ":\\";
    EXPECT_FALSE(sys_.GetDiskFreeSpaceExA(missing.c_str(), &available, nullptr, nullptr));
    EXPECT_EQ(sys_.GetLastError(), vx::DWORD{ERROR_PATH_NOT_FOUND});
    EXPECT_FALSE(
        sys_.GetDiskFreeSpaceA(missing.c_str(), &sectors, &bytes, &freeClusters, &clusters));
    EXPECT_EQ(sys_.GetLastError(), vx::DWORD{ERROR_PATH_NOT_FOUND});
}

// The running processes by id: their program's file name and their parent.
std::map<DWORD, std::pair<std::string, DWORD>> Processes() {
    std::map<DWORD, std::pair<std::string, DWORD>> processes;
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot, &entry); more;
         more = ::Process32Next(snapshot, &entry)) {
        std::string name = entry.szExeFile;
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        processes[entry.th32ProcessID] = {name, entry.th32ParentProcessID};
    }
    ::CloseHandle(snapshot);
    return processes;
}

TEST_F(Win32SystemServicesTest, GameIsStartedByTheDesktopShell) {
    // Wine's desktop, explorer.exe /desktop, starts with the first use of the desktop window.
    ASSERT_NE(::GetDesktopWindow(), nullptr);
    char previous[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    // The bare name is found in the current folder, as WinExec would find it.
    ASSERT_TRUE(::SetCurrentDirectoryA(VX_DIST_DIR));
    const vx::UINT started = sys_.WinExec("vornalux.exe", SW_SHOWMINNOACTIVE);
    ::SetCurrentDirectoryA(previous);
    ASSERT_GT(started, 31u);

    DWORD game = 0;
    std::string parent;
    for (int i = 0; i < 100 && game == 0; ++i, ::Sleep(100)) {
        const auto processes = Processes();
        for (const auto& [id, process] : processes) {
            if (process.first != "vornalux.exe") continue;
            game = id;
            const auto found = processes.find(process.second);
            if (found != processes.end()) parent = found->second.first;
        }
    }
    ASSERT_NE(game, 0u);
    if (const HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, game)) {
        ::TerminateProcess(process, 0);
        ::CloseHandle(process);
    }
    EXPECT_EQ(parent, "explorer.exe");
}

}  // namespace
