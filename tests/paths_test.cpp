#include "setup/paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/temp_machine.h"

namespace vx {
namespace {

PathBuffer Buffer(std::string_view text) {
    PathBuffer buffer;
    EXPECT_TRUE(buffer.Assign(text));
    return buffer;
}

bool SecondZeroFollows(const PathBuffer& buffer) {
    return buffer.c_str()[buffer.length()] == '\0' && buffer.c_str()[buffer.length() + 1] == '\0';
}

TEST(PathsTest, AppendJoinsWithOneSeparator) {
    testing::TempMachine machine;
    struct Case {
        const char* base;
        const char* expected;
    } cases[] = {{"C:\\GAME", "C:\\GAME\\a.txt"},
                 {"C:\\GAME\\", "C:\\GAME\\a.txt"},
                 {"C:\\GAME/", "C:\\GAME/a.txt"},
                 {"", "a.txt"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base);
        PathBuffer buffer = Buffer(c.base);
        ASSERT_TRUE(AppendPathComponent(machine.sys(), buffer, "a.txt"));
        EXPECT_EQ(buffer.view(), c.expected);
        EXPECT_TRUE(SecondZeroFollows(buffer));
    }
}

TEST(PathsTest, AppendThatWouldNotFitLeavesTheBufferAlone) {
    testing::TempMachine machine;
    const std::string base = "C:\\" + std::string(250, 'x');
    PathBuffer buffer = Buffer(base);
    EXPECT_FALSE(AppendPathComponent(machine.sys(), buffer, "vornalux.exe"));
    EXPECT_EQ(buffer.view(), base);
    EXPECT_TRUE(SecondZeroFollows(buffer));

    // Exactly full: 258 characters, the terminator and the second zero.
    PathBuffer exact = Buffer(std::string(256, 'y'));
    EXPECT_TRUE(AppendPathComponent(machine.sys(), exact, "z"));
    EXPECT_EQ(exact.length(), 258u);
    EXPECT_TRUE(SecondZeroFollows(exact));
    PathBuffer over = Buffer(std::string(257, 'y'));
    EXPECT_FALSE(AppendPathComponent(machine.sys(), over, "z"));
    EXPECT_EQ(over.length(), 257u);

    PathBuffer tooLong;
    EXPECT_FALSE(tooLong.Assign(std::string(259, 'q')));
    EXPECT_TRUE(tooLong.empty());
}

TEST(PathsTest, DoubleByteTrailByteIsNotASeparator) {
    testing::TempMachine machine(posix::CodePage::ShiftJis);
    // 0x95 0x5C is one Shift-JIS character whose second byte is '\'.
    const std::string base = "C:\\\x95\x5C";
    PathBuffer buffer = Buffer(base);
    ASSERT_TRUE(AppendPathComponent(machine.sys(), buffer, "a.txt"));
    EXPECT_EQ(buffer.view(), base + "\\a.txt");
}

TEST(PathsTest, SourceDirectoryIsTheProgramFolder) {
    testing::TempMachine machine;
    machine.MapDrive('d', machine.root() / "cdrom");
    struct Case {
        std::filesystem::path program;
        const char* expected;
    } cases[] = {{machine.root() / "cdrom" / "SETUP" / "INSTALL.EXE", "D:\\SETUP"},
                 {machine.root() / "cdrom" / "INSTALL.EXE", "D:"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        testing::WriteFile(c.program, "MZ");
        posix::PosixSystemServices sys(
            {machine.machineFolder().string(), c.program.string(), posix::CodePage::Windows1252});
        PathBuffer source;
        TakeSourceDirectory(sys, source);
        EXPECT_EQ(source.view(), c.expected);
        PathBuffer game;
        ASSERT_TRUE(ComposePath(sys, source, "vornalux.exe", game));
        EXPECT_EQ(game.view(), std::string(c.expected) + "\\vornalux.exe");
    }
}

TEST(PathsTest, SourceDirectoryWalksWholeCharacters) {
    testing::TempMachine machine(posix::CodePage::ShiftJis);
    // A folder whose name ends in a character with the trail byte '\'.
    const std::filesystem::path folder = machine.driveC() / "\xE8\xA1\xA8";  // U+8868 in UTF-8
    testing::WriteFile(folder / "install", "#!/bin/sh\n");
    posix::PosixSystemServices sys({machine.machineFolder().string(), (folder / "install").string(),
                                    posix::CodePage::ShiftJis});
    PathBuffer source;
    TakeSourceDirectory(sys, source);
    EXPECT_EQ(source.view(), "C:\\\x95\x5C");
}

TEST(PathsTest, WindowsDirectoryPathsHaveNoDoubledSeparator) {
    testing::TempMachine machine;
    PathBuffer script, library;
    ASSERT_TRUE(ComposeWindowsPath(machine.sys(), kGroupScriptName, script));
    EXPECT_EQ(script.view(), "C:\\windows\\SETUP.INI");
    ASSERT_TRUE(ComposeSystemPath(machine.sys(), SystemFiles[0], library));
    EXPECT_EQ(library.view(), "C:\\windows\\system32\\msvcrt.dll");

    // A directory reported with its trailing separator.
    PathBuffer root = Buffer("C:\\");
    PathBuffer joined;
    ASSERT_TRUE(ComposePath(machine.sys(), root, kGroupScriptName, joined));
    EXPECT_EQ(joined.view(), "C:\\SETUP.INI");
}

}  // namespace
}  // namespace vx
