#include "platform/posix/posix_system_services.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/framework/folder_listing.h"
#include "tests/support/temp_machine.h"
#include "tests/support/unprivileged.h"

namespace vx::posix {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempMachine;
using testing::WriteFile;

std::string WindowsSpelling(std::string hostPath) {
    for (char& c : hostPath)
        if (c == '/') c = '\\';
    return hostPath;
}

std::string Filled(std::size_t size) { return std::string(size, '#'); }

TEST(SystemDirectories, FollowTheWin32LengthRules) {
    TempMachine temp;
    auto& sys = temp.sys();
    char buffer[MAX_PATH];
    EXPECT_EQ(sys.GetWindowsDirectoryA(buffer, MAX_PATH), 10u);
    EXPECT_STREQ(buffer, "C:\\windows");
    EXPECT_EQ(sys.GetSystemDirectoryA(buffer, MAX_PATH), 19u);
    EXPECT_STREQ(buffer, "C:\\windows\\system32");

    // Exactly the text without room for its terminator: the size needed, buffer untouched.
    std::string small = Filled(10);
    EXPECT_EQ(sys.GetWindowsDirectoryA(small.data(), 10), 11u);
    EXPECT_EQ(small, Filled(10));
    EXPECT_EQ(sys.GetSystemDirectoryA(nullptr, 0), 20u);
    // Both name folders of the machine.
    EXPECT_EQ(sys.GetFileAttributesA("C:\\windows\\system32"), FILE_ATTRIBUTE_DIRECTORY);

    // Both Programs folders of the Start menu are the one below the Windows directory.
    for (const int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
        EXPECT_EQ(sys.SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer), S_OK);
        EXPECT_STREQ(buffer, "C:\\windows\\Start Menu\\Programs");
    }
    const int csidlPersonal = 0x0005;
    EXPECT_EQ(sys.SHGetFolderPathA(nullptr, csidlPersonal, nullptr, SHGFP_TYPE_CURRENT, buffer),
              E_INVALIDARG);
}

TEST(ModuleFileName, IsTheProgramThroughItsDrive) {
    TempMachine temp;
    const std::string expected =
        "Z:" + WindowsSpelling(fs::canonical(temp.distFolder()).string()) + "\\install";
    char buffer[MAX_PATH];
    EXPECT_EQ(temp.sys().GetModuleFileNameA(buffer, MAX_PATH), expected.size());
    EXPECT_EQ(std::string(buffer), expected);

    // Cut to the buffer with its terminator, returning the size, as Win32 does.
    std::string small = Filled(8);
    EXPECT_EQ(temp.sys().GetModuleFileNameA(small.data(), 6), 6u);
    EXPECT_EQ(small, expected.substr(0, 5) + '\0' + "##");

    // The same program placed on C: is found there.
    WriteFile(temp.driveC() / "Games/setup", "");
    PosixSystemServices onC(
        {temp.machineFolder().string(), (temp.driveC() / "Games/setup").string()});
    EXPECT_EQ(onC.GetModuleFileNameA(buffer, MAX_PATH), 14u);
    EXPECT_STREQ(buffer, "C:\\Games\\setup");
}

TEST(ModuleFileName, OfTheDistributionProgram) {
    TempMachine temp;
    const fs::path program = fs::path(VX_DIST_DIR) / "install";
    PosixSystemServices sys({temp.machineFolder().string(), program.string()});
    char buffer[MAX_PATH];
    ASSERT_GT(sys.GetModuleFileNameA(buffer, MAX_PATH), 0u);
    const std::string expected = "Z:" + WindowsSpelling(fs::weakly_canonical(program).string());
    EXPECT_EQ(std::string(buffer), expected);
    // And without a program path, the test itself.
    PosixSystemServices self({temp.machineFolder().string(), ""});
    ASSERT_GT(self.GetModuleFileNameA(buffer, MAX_PATH), 0u);
    EXPECT_EQ(std::string(buffer),
              "Z:" + WindowsSpelling(fs::canonical("/proc/self/exe").string()));
}

TEST(CharNext, StepsOverWholeCharacters) {
    TempMachine western;
    const char* text =
        "\x95\x5c"
        "a";
    EXPECT_EQ(western.sys().CharNextA(text), text + 1);
    TempMachine japanese(CodePage::ShiftJis);
    auto& sys = japanese.sys();
    EXPECT_EQ(sys.CharNextA(text), text + 2);
    EXPECT_EQ(sys.CharNextA(text + 2), text + 3);
    EXPECT_EQ(sys.CharNextA(text + 3), text + 3);  // never past the terminator
    const char* cut = "\x95";
    EXPECT_EQ(sys.CharNextA(cut), cut + 1);
}

class ShortPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* folder : {"shortdir", "Long Directory"}) {
            WriteFile(temp.driveC() / "test" / folder / "pathtest.pth", "");
            WriteFile(temp.driveC() / "test" / folder / "Long File test.path", "");
        }
        WriteFile(temp.driveC() / "PLAY AREA/LONG FOLDER NAME/VORNALUX.EXE", "MZ");
    }

    std::string ShortPath(const char* path) {
        char buffer[MAX_PATH];
        const DWORD length = temp.sys().GetShortPathNameA(path, buffer, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return "<" + std::to_string(length) + ">";
        EXPECT_EQ(length, std::strlen(buffer));
        return buffer;
    }

    TempMachine temp;
};

TEST_F(ShortPathTest, ShortensEachComponent) {
    const struct {
        const char* path;
        const char* shortPath;
    } cases[] = {
        {"C:\\test\\shortdir\\pathtest.pth", "C:\\test\\shortdir\\pathtest.pth"},
        {"c:\\TEST\\SHORTDIR\\PATHTEST.PTH", "c:\\test\\shortdir\\pathtest.pth"},
        {"C:\\test\\Long Directory\\Long File test.path", "C:\\test\\LONGDI~1\\LONGFI~1.PAT"},
        {"C:\\test\\LONGDI~1\\longfi~1.pat", "C:\\test\\LONGDI~1\\LONGFI~1.PAT"},
        {"C:\\test\\Long Directory", "C:\\test\\LONGDI~1"},
        {"C:/test//shortdir/pathtest.pth", "C:/test//shortdir/pathtest.pth"},
        {"C:\\test\\.\\shortdir\\..\\Long Directory\\", "C:\\test\\.\\shortdir\\..\\LONGDI~1\\"},
        {"C:\\PLAY AREA\\LONG FOLDER NAME\\VORNALUX.EXE", "C:\\PLAYAR~1\\LONGFO~1\\VORNALUX.EXE"},
        {"C:\\test\\missing.txt", "<0>"},
        {"C:\\test\\Long Directory\\missing long name", "<0>"},
        {"C:\\test\\*.pth", "<0>"},
        {"C:\\test\\shortdir\\pathtest.?th", "<0>"},
        {"Q:\\test", "<0>"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.path);
        EXPECT_EQ(ShortPath(item.path), item.shortPath);
    }
}

TEST_F(ShortPathTest, KeepsRelativePathsRelative) {
    const fs::path old = fs::current_path();
    fs::current_path(temp.driveC() / "test");
    EXPECT_EQ(ShortPath("Long Directory"), "LONGDI~1");
    EXPECT_EQ(ShortPath(".\\Long Directory"), ".\\LONGDI~1");
    EXPECT_EQ(ShortPath("shortdir/pathtest.pth"), "shortdir/pathtest.pth");
    fs::current_path(old);
}

TEST_F(ShortPathTest, NumbersCollisionsInNameOrder) {
    WriteFile(temp.driveC() / "test/Long File test.pathway", "");
    WriteFile(temp.driveC() / "test/Long File test.path", "");
    EXPECT_EQ(ShortPath("C:\\test\\Long File test.path"), "C:\\test\\LONGFI~1.PAT");
    EXPECT_EQ(ShortPath("C:\\test\\Long File test.pathway"), "C:\\test\\LONGFI~2.PAT");
}

TEST_F(ShortPathTest, ReportsTheSizeNeededWithoutTouchingTheBuffer) {
    const char* path = "C:\\test\\Long Directory";
    const std::string expected = "C:\\test\\LONGDI~1";
    std::string small = Filled(expected.size());
    EXPECT_EQ(temp.sys().GetShortPathNameA(path, small.data(), expected.size()),
              expected.size() + 1);
    EXPECT_EQ(small, Filled(expected.size()));
    EXPECT_EQ(temp.sys().GetShortPathNameA(path, nullptr, 0), expected.size() + 1);
    std::string exact = Filled(expected.size() + 1);
    EXPECT_EQ(temp.sys().GetShortPathNameA(path, exact.data(), exact.size()), expected.size());
    EXPECT_EQ(exact, expected + '\0');

    // Source and destination may be the same buffer.
    char same[MAX_PATH] = "C:\\test\\Long Directory\\Long File test.path";
    EXPECT_EQ(temp.sys().GetShortPathNameA(same, same, MAX_PATH), 29u);
    EXPECT_STREQ(same, "C:\\test\\LONGDI~1\\LONGFI~1.PAT");
}

TEST(FileAttributes, ReadOnlyIsAFileWithoutWriteBits) {
    TempMachine temp;
    auto& sys = temp.sys();
    const fs::path file = temp.driveC() / "Data/file.dat";
    WriteFile(file, "x");
    EXPECT_EQ(sys.GetFileAttributesA("C:\\data\\FILE.DAT"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(sys.GetFileAttributesA("C:\\data"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(sys.GetFileAttributesA("C:\\data\\missing"), INVALID_FILE_ATTRIBUTES);

    EXPECT_TRUE(sys.SetFileAttributesA("C:\\data\\file.dat", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all &
                  ~(fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read),
              fs::perms::none);
    EXPECT_EQ(sys.GetFileAttributesA("C:\\data\\file.dat"), FILE_ATTRIBUTE_READONLY);

    EXPECT_TRUE(sys.SetFileAttributesA("C:\\data\\file.dat", FILE_ATTRIBUTE_NORMAL));
    EXPECT_NE(fs::status(file).permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_EQ(sys.GetFileAttributesA("C:\\data\\file.dat"), FILE_ATTRIBUTE_NORMAL);

    // A file someone else made read-only on the host counts too.
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(sys.GetFileAttributesA("C:\\data\\file.dat"), FILE_ATTRIBUTE_READONLY);

    EXPECT_FALSE(sys.SetFileAttributesA("C:\\data\\missing", FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(sys.SetFileAttributesA(nullptr, FILE_ATTRIBUTE_NORMAL));
}

TEST(OldStyleFiles, CreateTruncateWriteAndClose) {
    TempMachine temp;
    auto& sys = temp.sys();
    const HFILE file = sys._lcreat("C:\\windows\\New File.TXT", 0);
    ASSERT_NE(file, HFILE_ERROR);
    EXPECT_EQ(sys._lwrite(file, "hello ", 6), 6u);
    EXPECT_EQ(sys._lwrite(file, "world", 5), 5u);
    EXPECT_EQ(sys._lclose(file), 0);
    EXPECT_EQ(ReadFile(temp.windowsFolder() / "New File.TXT"), "hello world");

    // An existing file of another case is truncated, not doubled.
    const HFILE again = sys._lcreat("c:\\WINDOWS\\new file.txt", 0);
    ASSERT_NE(again, HFILE_ERROR);
    EXPECT_EQ(sys._lwrite(again, "bye", 3), 3u);
    // The new content takes the name whole, once closed.
    EXPECT_EQ(ReadFile(temp.windowsFolder() / "New File.TXT"), "hello world");
    EXPECT_EQ(sys._lclose(again), 0);
    EXPECT_EQ(ReadFile(temp.windowsFolder() / "New File.TXT"), "bye");
    EXPECT_FALSE(fs::exists(temp.windowsFolder() / "new file.txt") &&
                 !fs::equivalent(temp.windowsFolder() / "new file.txt",
                                 temp.windowsFolder() / "New File.TXT"));

    // A handle closed, or never given out, is refused.
    EXPECT_EQ(sys._lwrite(again, "x", 1), static_cast<UINT>(HFILE_ERROR));
    EXPECT_EQ(sys._lclose(again), HFILE_ERROR);
    EXPECT_EQ(sys._lclose(STDOUT_FILENO), HFILE_ERROR);
}

TEST(StaleTemporaries, OursGoOnTheNextWriteOthersStay) {
    TempMachine temp;
    auto& sys = temp.sys();
    const fs::path folder = temp.driveC() / "Games";
    const fs::path stale = folder / ".vx-tmp-0123456789abcdef";
    const fs::path alike = folder / ".vx-tmp-0123456789abcdeg";  // not our pattern
    const fs::path live = folder / ".vx-tmp-fedcba9876543210";   // its writer still runs
    for (const fs::path& path : {stale, alike, live}) WriteFile(path, "x");
    const int writer = open(live.c_str(), O_RDONLY);
    ASSERT_EQ(flock(writer, LOCK_EX), 0);

    const HFILE file = sys._lcreat("C:\\Games\\new.txt", 0);
    ASSERT_NE(file, HFILE_ERROR);
    EXPECT_EQ(sys._lclose(file), 0);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(alike));
    EXPECT_TRUE(fs::exists(live));

    // A folder left with only a crashed run's temporary can be removed.
    fs::remove(alike);
    fs::remove(folder / "new.txt");
    EXPECT_FALSE(sys.RemoveDirectoryA("C:\\Games"));
    close(writer);
    EXPECT_TRUE(sys.RemoveDirectoryA("C:\\Games"));
}

TEST(OldStyleFiles, FailWhereNoFileCanBeCreated) {
    TempMachine temp;
    auto& sys = temp.sys();
    EXPECT_EQ(sys._lcreat("C:\\no such folder\\file.txt", 0), HFILE_ERROR);
    EXPECT_FALSE(fs::exists(temp.driveC() / "no such folder"));
    EXPECT_EQ(sys._lcreat("C:\\windows", 0), HFILE_ERROR);
    EXPECT_EQ(sys._lcreat("C:\\", 0), HFILE_ERROR);
    EXPECT_EQ(sys._lcreat("C:\\bad|name.txt", 0), HFILE_ERROR);
}

TEST(OldStyleFiles, ReadOnlyFileIsNotTruncated) {
    TempMachine temp;
    const fs::path file = temp.windowsFolder() / "locked.ini";
    WriteFile(file, "keep me");
    ASSERT_TRUE(temp.sys().SetFileAttributesA("C:\\windows\\locked.ini", FILE_ATTRIBUTE_READONLY));
    // The stand-in refuses even though the tests run as root.
    EXPECT_EQ(temp.sys()._lcreat("C:\\windows\\LOCKED.INI", 0), HFILE_ERROR);
    EXPECT_EQ(ReadFile(file), "keep me");
    // And an unprivileged user is refused the same way.
    if (testing::CanDropPrivileges()) {
        fs::permissions(temp.windowsFolder(), fs::perms::all);
        const int refused = testing::RunAsUnprivileged([&] {
            return temp.sys()._lcreat("C:\\windows\\locked.ini", 0) == HFILE_ERROR ? 0 : 1;
        });
        EXPECT_EQ(refused, 0);
        EXPECT_EQ(ReadFile(file), "keep me");
    }
}

TEST(OldStyleFiles, WriteFailsOnAFullDisk) {
    TempMachine temp;
    const int result = testing::RunWithFileSizeLimit(4, [&] {
        auto& sys = temp.sys();
        const HFILE file = sys._lcreat("C:\\windows\\big.bin", 0);
        if (file == HFILE_ERROR) return 2;
        const UINT written = sys._lwrite(file, "0123456789", 10);
        sys._lclose(file);
        return written == static_cast<UINT>(HFILE_ERROR) ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
}

TEST(FileIdentity, NamesTheFileWhateverItsSpelling) {
    TempMachine temp;
    WriteFile(temp.driveC() / "Long Folder/a.txt", "a");
    WriteFile(temp.driveC() / "Long Folder/b.txt", "b");
    auto& sys = temp.sys();
    FileIdentity first, second, other;
    ASSERT_TRUE(sys.GetFileIdentity("C:\\Long Folder\\a.txt", &first));
    ASSERT_TRUE(sys.GetFileIdentity("c:/LONGFO~1/./A.TXT", &second));
    ASSERT_TRUE(sys.GetFileIdentity("C:\\Long Folder\\b.txt", &other));
    EXPECT_EQ(first, second);
    EXPECT_NE(first, other);
    // Through Z:, the same host file.
    const std::string viaZ = "Z:" + WindowsSpelling((temp.driveC() / "Long Folder/a.txt").string());
    ASSERT_TRUE(sys.GetFileIdentity(viaZ.c_str(), &second));
    EXPECT_EQ(first, second);
    EXPECT_FALSE(sys.GetFileIdentity("C:\\Long Folder\\c.txt", &other));
}

TEST(FileIdentity, AncestorsRunUpToTheHostRoot) {
    TempMachine temp;
    auto& sys = temp.sys();
    std::vector<FileIdentity> expected;
    for (fs::path folder = fs::canonical(temp.windowsFolder() / "system32");;
         folder = folder.parent_path()) {
        struct stat status;
        ASSERT_EQ(stat(folder.c_str(), &status), 0);
        expected.push_back(
            {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)});
        if (folder == folder.root_path()) break;
    }
    std::vector<FileIdentity> found(expected.size() + 4);
    ASSERT_EQ(sys.GetAncestorIdentities("C:\\windows\\system32", found.data(), found.size()),
              expected.size());
    found.resize(expected.size());
    EXPECT_EQ(found, expected);

    FileIdentity two[2];
    ASSERT_EQ(sys.GetAncestorIdentities("C:\\windows\\system32", two, 2), 2u);
    EXPECT_EQ(two[1], expected[1]);
    EXPECT_EQ(sys.GetAncestorIdentities("C:\\windows\\WIN.INI", two, 2), 0u);
    EXPECT_EQ(sys.GetAncestorIdentities("C:\\missing", two, 2), 0u);
}

TEST(HomeDirectory, IsHomeAsAWindowsPath) {
    TempMachine temp;
    fs::create_directories(temp.driveC() / "users/player");
    const std::optional<std::string> oldHome =
        getenv("HOME") ? std::optional<std::string>(getenv("HOME")) : std::nullopt;
    setenv("HOME", (temp.driveC() / "users/player").c_str(), 1);
    char buffer[MAX_PATH];
    const UINT length = temp.sys().GetHomeDirectoryA(buffer, MAX_PATH);
    std::string small = Filled(4);
    const UINT needed = temp.sys().GetHomeDirectoryA(small.data(), 4);
    if (oldHome)
        setenv("HOME", oldHome->c_str(), 1);
    else
        unsetenv("HOME");
    EXPECT_EQ(length, 15u);
    EXPECT_STREQ(buffer, "C:\\users\\player");
    EXPECT_EQ(needed, 16u);
    EXPECT_EQ(small, Filled(4));
}

TEST(UnmappedDrive, EveryOperationFails) {
    TempMachine temp;
    auto& sys = temp.sys();
    char buffer[MAX_PATH];
    FileIdentity identity[2];
    EXPECT_EQ(sys.GetFileAttributesA("Q:\\"), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(sys.SetFileAttributesA("Q:\\file", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(sys.GetShortPathNameA("Q:\\", buffer, MAX_PATH), 0u);
    EXPECT_EQ(sys._lcreat("Q:\\file", 0), HFILE_ERROR);
    EXPECT_FALSE(sys.GetFileIdentity("Q:\\", identity));
    EXPECT_EQ(sys.GetAncestorIdentities("Q:\\", identity, 2), 0u);
    // A drive removed after start is as unmapped as one never made.
    fs::remove(temp.machineFolder() / "dosdevices/z:");
    EXPECT_EQ(sys.GetFileAttributesA("Z:\\"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(sys.GetModuleFileNameA(buffer, MAX_PATH), 0u);
}

// The folder choosers' reading of the machine: the drives, and the entries
// of a folder as FindFirstFileA lists them.
TEST(FolderSearch, ListsDrivesAndEntriesAsTheShellDoes) {
    TempMachine temp;
    auto& sys = temp.sys();
    temp.MapDrive('d', temp.root() / "disc");
    fs::create_directories(temp.driveC() / "Games" / "Vornalux");
    fs::create_directories(temp.driveC() / "Games" / "a long folder name");
    fs::create_directories(temp.driveC() / "Games" / ".hidden");
    fs::create_directories(temp.driveC() / "Games" / "what?");  // no Windows name
    WriteFile(temp.driveC() / "Games" / "Readme.TXT", "12345");

    // "C:\", "D:\", "Z:\", each with its zero, and the closing zero.
    char roots[64];
    EXPECT_EQ(sys.GetLogicalDriveStringsA(sizeof roots, roots), 12u);
    EXPECT_EQ(std::string(roots, 13), std::string("C:\\\0D:\\\0Z:\\\0\0", 13));
    std::string small = Filled(12);
    EXPECT_EQ(sys.GetLogicalDriveStringsA(12, small.data()), 13u);
    EXPECT_EQ(small, Filled(12));
    EXPECT_EQ(ListDrives(sys), (std::vector<std::string>{"C:\\", "D:\\", "Z:\\"}));

    const auto search = [&](const char* pattern) {
        std::vector<std::string> found;
        WIN32_FIND_DATAA data;
        const HANDLE find = sys.FindFirstFileA(pattern, &data);
        if (find == INVALID_HANDLE_VALUE) return found;
        do {
            found.push_back(std::string(data.cFileName) + "|" + data.cAlternateFileName + "|" +
                            std::to_string(data.dwFileAttributes) + "|" +
                            std::to_string(data.nFileSizeLow));
        } while (sys.FindNextFileA(find, &data));
        EXPECT_TRUE(sys.FindClose(find));
        EXPECT_FALSE(sys.FindClose(find));
        return found;
    };
    // Sorted without regard to case, "." and ".." below a root, dot files hidden.
    EXPECT_EQ(search("c:/games/*"),
              (std::vector<std::string>{".||16|0", "..||16|0", ".hidden|HIDDEN~1|18|0",
                                        "a long folder name|ALONGF~1|16|0", "Readme.TXT||128|5",
                                        "Vornalux||16|0"}));
    EXPECT_EQ(search("C:\\Games\\*.txt"), (std::vector<std::string>{"Readme.TXT||128|5"}));
    EXPECT_EQ(search("C:\\Games\\v?RNALUX"), (std::vector<std::string>{"Vornalux||16|0"}));
    for (const char* nothing : {"C:\\Games\\*.exe", "C:\\Games\\", "C:\\Missing\\*", "Q:\\*"})
        EXPECT_TRUE(search(nothing).empty()) << nothing;
    EXPECT_EQ(search("D:\\*"), std::vector<std::string>{});  // a root has no "." entries

    // What the choosers show: folders only, hidden ones left out.
    EXPECT_EQ(ListSubfolders(sys, "C:\\Games"),
              (std::vector<std::string>{"a long folder name", "Vornalux"}));
}

}  // namespace
}  // namespace vx::posix
