#include "platform/posix/machine.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/scoped_state.h"
#include "tests/support/temp_machine.h"

namespace vx::posix {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::ScopedCurrentFolder;
using testing::ScopedEnvironment;
using testing::TempMachine;
using testing::WriteFile;

std::string Real(const fs::path& path) { return fs::canonical(path).string(); }

TEST(MachineFolder, PrepareCreatesTheWineLayout) {
    TempMachine temp;
    const fs::path folder = temp.root() / "fresh";
    ASSERT_TRUE(PrepareMachineFolder(folder.string()));
    EXPECT_EQ(ReadFile(folder / "drive_c/windows/WIN.INI"), "[windows]\r\n");
    EXPECT_TRUE(fs::is_directory(folder / "drive_c/windows/system32"));
    EXPECT_EQ(fs::read_symlink(folder / "dosdevices/c:"), "../drive_c");
    EXPECT_EQ(fs::read_symlink(folder / "dosdevices/z:"), "/");
    EXPECT_EQ(Real(folder / "dosdevices/c:"), Real(folder / "drive_c"));
}

TEST(MachineFolder, PrepareLeavesExistingEntriesAlone) {
    TempMachine temp;
    const fs::path folder = temp.root() / "wine";
    // A real Wine prefix spells its Windows files in lower case.
    WriteFile(folder / "drive_c/windows/win.ini", "[fonts]\n");
    fs::create_directories(folder / "drive_c/windows/System32");
    fs::create_directories(folder / "dosdevices");
    fs::create_directories(temp.root() / "elsewhere");
    fs::create_directory_symlink(temp.root() / "elsewhere", folder / "dosdevices/c:");

    ASSERT_TRUE(PrepareMachineFolder(folder.string()));
    EXPECT_EQ(ReadFile(folder / "drive_c/windows/win.ini"), "[fonts]\n");
    EXPECT_FALSE(
        fs::exists(folder / "drive_c/windows/WIN.INI") &&
        !fs::equivalent(folder / "drive_c/windows/WIN.INI", folder / "drive_c/windows/win.ini"));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder / "drive_c/windows"))
        ++entries;
    EXPECT_EQ(entries, 2);  // win.ini and System32, nothing added beside them
    EXPECT_EQ(fs::read_symlink(folder / "dosdevices/c:"), temp.root() / "elsewhere");
    EXPECT_EQ(fs::read_symlink(folder / "dosdevices/z:"), "/");
}

TEST(MachineFolder, LocatedAsWineLocatesIt) {
    TempMachine temp;
    const fs::path home = temp.root() / "home";
    fs::create_directories(home);
    ScopedEnvironment homeEnv("HOME", home.c_str());
    ScopedEnvironment dataEnv("XDG_DATA_HOME", nullptr);
    ScopedEnvironment prefixEnv("WINEPREFIX", nullptr);

    const fs::path defaultMachine = home / ".local/share/vornalux-setup/machine";
    EXPECT_EQ(LocateMachineFolder(), defaultMachine.string());
    EXPECT_TRUE(fs::is_directory(defaultMachine));

    const fs::path data = temp.root() / "data";
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    EXPECT_EQ(LocateMachineFolder(), (data / "vornalux-setup/machine").string());
    EXPECT_TRUE(fs::is_directory(data / "vornalux-setup/machine"));

    fs::create_directories(home / ".wine");
    EXPECT_EQ(LocateMachineFolder(), (home / ".wine").string());

    setenv("WINEPREFIX", (temp.root() / "prefix").c_str(), 1);
    EXPECT_EQ(LocateMachineFolder(), (temp.root() / "prefix").string());
}

TEST(MachineMap, LooksUpEachComponentWithoutRegardToCase) {
    TempMachine temp;
    WriteFile(temp.driveC() / "Program Files/Game/Data.TXT", "x");
    const Machine& machine = temp.sys().machine();
    const std::string c = (temp.machineFolder() / "dosdevices/c:").string();

    const auto found = machine.Map("c:\\PROGRAM FILES\\game\\data.txt");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->path, c + "/Program Files/Game/Data.TXT");
    EXPECT_EQ(found->driveRoot, c);
    EXPECT_TRUE(found->exists);

    // What is missing keeps the case given, and so does everything after it.
    const auto fresh = machine.Map("C:\\program files\\NewDir\\Sub\\File.txt");
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->path, c + "/Program Files/NewDir/Sub/File.txt");
    EXPECT_FALSE(fresh->exists);
}

TEST(MachineMap, PrefersTheExactSpellingOverAnotherCase) {
    TempMachine temp;
    WriteFile(temp.driveC() / "readme.txt", "lower");
    WriteFile(temp.driveC() / "README.TXT", "upper");
    const Machine& machine = temp.sys().machine();
    const std::string c = (temp.machineFolder() / "dosdevices/c:").string();
    EXPECT_EQ(machine.Map("C:\\README.TXT")->path, c + "/README.TXT");
    EXPECT_EQ(machine.Map("C:\\readme.txt")->path, c + "/readme.txt");
}

TEST(MachineMap, ResolvesSeparatorsDotsAndTrailingBlanks) {
    TempMachine temp;
    const Machine& machine = temp.sys().machine();
    const std::string c = (temp.machineFolder() / "dosdevices/c:").string();
    const struct {
        const char* windows;
        std::string host;
    } cases[] = {
        {"C:\\windows\\system32", c + "/windows/system32"},
        {"C:/windows/system32/", c + "/windows/system32"},
        {"C:\\\\windows//\\system32\\\\", c + "/windows/system32"},
        {"C:\\windows\\.\\system32\\..\\system32", c + "/windows/system32"},
        {"C:\\..\\..\\windows", c + "/windows"},
        {"C:\\windows\\..\\..\\..", c},
        {"C:\\", c},
        {"C:\\windows. .\\win.ini . ", c + "/windows/WIN.INI"},
        {"C:\\windows\\...\\WIN.INI", c + "/windows/WIN.INI"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.windows);
        const auto mapped = machine.Map(item.windows);
        ASSERT_TRUE(mapped);
        EXPECT_EQ(mapped->path, item.host);
        EXPECT_TRUE(mapped->exists);
    }
}

TEST(MachineMap, RefusesNamesWindowsCannotHold) {
    TempMachine temp;
    const Machine& machine = temp.sys().machine();
    for (const char* path : {"C:\\a<b", "C:\\a>b", "C:\\a\"b", "C:\\windows\\a|b", "C:\\a?b",
                             "C:\\*.*", "C:\\windows\\x:y", "C:\\a\tb", "\\\\server\\share", ""}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(machine.Map(path));
    }
}

TEST(MachineMap, DriveWithoutALinkIsInvalid) {
    TempMachine temp;
    const Machine& machine = temp.sys().machine();
    EXPECT_FALSE(machine.Map("Q:\\"));
    EXPECT_FALSE(machine.Map("q:\\windows"));
    temp.MapDrive('q', temp.root() / "q-drive");
    const auto mapped = machine.Map("Q:\\file");
    ASSERT_TRUE(mapped);
    EXPECT_EQ(mapped->path, (temp.machineFolder() / "dosdevices/q:/file").string());
}

TEST(MachineMap, AcceptsShortNames) {
    TempMachine temp;
    WriteFile(temp.driveC() / "Play Area/Long Folder Name/setup.exe", "MZ");
    WriteFile(temp.driveC() / "Play Area/Long Folder Nameless/other.exe", "MZ");
    const Machine& machine = temp.sys().machine();
    const std::string c = (temp.machineFolder() / "dosdevices/c:").string();
    const auto first = machine.Map("C:\\PLAYAR~1\\longfo~1\\SETUP.EXE");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->path, c + "/Play Area/Long Folder Name/setup.exe");
    EXPECT_TRUE(first->exists);
    const auto second = machine.Map("C:\\PLAYAR~1\\LONGFO~2");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->path, c + "/Play Area/Long Folder Nameless");
    EXPECT_FALSE(machine.Map("C:\\PLAYAR~1\\LONGFO~3")->exists);
}

TEST(MachineMap, RelativePathsStartAtTheCurrentFolder) {
    TempMachine temp;
    const Machine& machine = temp.sys().machine();
    const std::string c = (temp.machineFolder() / "dosdevices/c:").string();
    const ScopedCurrentFolder inWindows(temp.windowsFolder());
    EXPECT_EQ(machine.Map("SYSTEM32")->path, c + "/windows/system32");
    EXPECT_EQ(machine.Map("..\\windows\\win.ini")->path, c + "/windows/WIN.INI");
    EXPECT_EQ(machine.Map("\\windows")->path, c + "/windows");
    EXPECT_EQ(machine.Map("c:system32")->path, c + "/windows/system32");
}

TEST(MachineCodePage, ShiftJisRoundTripsAndKeepsTrailBackslashes) {
    TempMachine temp(CodePage::ShiftJis);
    const Machine& machine = temp.sys().machine();
    const std::string hyo = "\x95\x5c";  // a kanji whose trail byte is '\'
    const std::string hyoUtf8 = "\xe8\xa1\xa8";
    EXPECT_EQ(machine.ToUtf8(hyo), hyoUtf8);
    EXPECT_EQ(machine.ToNarrow(hyoUtf8), hyo);
    EXPECT_TRUE(machine.IsLeadByte(0x95));
    EXPECT_TRUE(machine.IsLeadByte(0xFC));
    EXPECT_FALSE(machine.IsLeadByte(0x5C));
    EXPECT_FALSE(machine.IsLeadByte(0xA5));  // half-width katakana is one byte

    WriteFile(temp.driveC() / hyoUtf8 / "file.txt", "x");
    const std::string c = (temp.machineFolder() / "dosdevices/c:").string();
    const auto mapped = machine.Map("C:\\" + hyo + "\\FILE.TXT");
    ASSERT_TRUE(mapped);
    EXPECT_EQ(mapped->path, c + "/" + hyoUtf8 + "/file.txt");
    EXPECT_TRUE(mapped->exists);
    EXPECT_EQ(machine.ToWindowsPath(temp.driveC() / hyoUtf8 / "file.txt"),
              "C:\\" + hyo + "\\file.txt");
    // A lone lead byte is no character of the code page.
    EXPECT_FALSE(machine.ToUtf8("\x95"));
}

TEST(MachineCodePage, Windows1252ReadsTheSameBytesAsASeparator) {
    TempMachine temp;
    const Machine& machine = temp.sys().machine();
    EXPECT_EQ(machine.ToUtf8("caf\xe9"), "caf\xc3\xa9");
    EXPECT_EQ(machine.ToNarrow("caf\xc3\xa9"), "caf\xe9");
    EXPECT_FALSE(machine.IsLeadByte(0x95));
    const auto mapped = machine.Map("C:\\\x95\\windows");
    ASSERT_TRUE(mapped);
    EXPECT_EQ(mapped->path, (temp.machineFolder() / "dosdevices/c:/\xe2\x80\xa2/windows").string());
    // Neither a kanji nor an undefined byte has a Windows-1252 spelling.
    EXPECT_FALSE(machine.ToNarrow("\xe8\xa1\xa8"));
    EXPECT_FALSE(machine.ToUtf8("\x81"));
}

TEST(MachineToWindowsPath, GoesThroughTheDriveHoldingThePathMostClosely) {
    TempMachine temp;
    temp.MapDrive('d', temp.driveC() / "cdrom");
    WriteFile(temp.driveC() / "cdrom/SETUP/data.bin", "x");
    const Machine& machine = temp.sys().machine();

    EXPECT_EQ(machine.ToWindowsPath(temp.windowsFolder() / "WIN.INI"), "C:\\windows\\WIN.INI");
    EXPECT_EQ(machine.ToWindowsPath(temp.driveC().string()), "C:\\");
    EXPECT_EQ(machine.ToWindowsPath(temp.driveC() / "new folder/new.txt"),
              "C:\\new folder\\new.txt");
    EXPECT_EQ(machine.ToWindowsPath(temp.machineFolder() / "dosdevices/c:/windows"), "C:\\windows");
    EXPECT_EQ(machine.ToWindowsPath(temp.driveC() / "cdrom/SETUP/data.bin"), "D:\\SETUP\\data.bin");

    std::string expected = "Z:" + Real(temp.distFolder()) + "/install";
    for (char& ch : expected)
        if (ch == '/') ch = '\\';
    EXPECT_EQ(machine.ToWindowsPath(temp.distFolder() / "install"), expected);
    EXPECT_EQ(machine.ToWindowsPath("/"), "Z:\\");

    // Names no Windows path can spell.
    EXPECT_FALSE(machine.ToWindowsPath(temp.driveC() / "\xe8\xa1\xa8"));
    EXPECT_FALSE(machine.ToWindowsPath(temp.driveC() / "a\\b"));
    EXPECT_FALSE(machine.ToWindowsPath(temp.driveC() / "a:b"));
}

TEST(MachineToWindowsPath, FailsWithoutAnyDriveHoldingThePath) {
    TempMachine temp;
    fs::remove(temp.machineFolder() / "dosdevices/z:");
    const Machine& machine = temp.sys().machine();
    EXPECT_FALSE(machine.ToWindowsPath(temp.distFolder() / "install"));
    EXPECT_TRUE(machine.ToWindowsPath(temp.windowsFolder().string()));
}

}  // namespace
}  // namespace vx::posix
