// The Win32 system services beyond the plain pass-through: file identity,
// the folders above a folder, the profile folder as home, the module path,
// and the folder choosers' listing through the real search calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "platform/framework/folder_listing.h"
#include "platform/win32/win32_system_services.h"
#include "tests/support/temp_machine.h"

// After the project's headers: <windows.h> defines several of their names as macros.
// clang-format off
#include <windows.h>
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

}  // namespace
