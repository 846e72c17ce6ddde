// grpconv.exe run as the setup program runs it, on the real system: its
// shortcuts read back through the shell's own shortcut object.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/shortcut_readers.h"
#include "tests/support/temp_machine.h"

// After the project's headers: <windows.h> defines several of their names as macros.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
// clang-format on

namespace {

namespace fs = std::filesystem;
using vx::testing::ReadFile;
using vx::testing::WriteFile;

DWORD RunConverter(const std::string& arguments) {
    const std::string program = (fs::path(VX_DIST_DIR) / "grpconv.exe").string();
    std::string commandLine = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process))
        return 255;
    DWORD status = 254;
    if (::WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process.hProcess, &status);
    else
        ::TerminateProcess(process.hProcess, 254);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return status;
}

class GrpconvTest : public ::testing::Test {
protected:
    // The groups these tests make, gone from the shared Start menu again.
    ~GrpconvTest() override {
        for (const int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
            const std::string programs = Programs(csidl).string();
            ::DeleteFileA((programs + "\\Jeux \xE9t\xE9\\Caf\xE9.lnk").c_str());
            ::RemoveDirectoryA((programs + "\\Jeux \xE9t\xE9").c_str());
            vx::testing::RemoveTree(Programs(csidl) / "Taken");
        }
    }
    fs::path Programs(int csidl = CSIDL_COMMON_PROGRAMS) const {
        return machine_.programsFolder(csidl);
    }
    void Script(const std::string& text) {
        WriteFile(machine_.windowsFolder() / "SETUP.INI", text);
    }

    vx::testing::TempMachine machine_;
};

TEST_F(GrpconvTest, TheSetupScriptBecomesAShortcutTheShellReads) {
    Script(
        "[progman.groups]\r\ngroupX=PELTOMARK! Inc.\r\n[groupX]\r\n"
        "\"Vornalux!\",\"C:\\GAMES\\VORNALUX.EXE\",,,,\"C:\\Games\\Vornalux\"\r\n");
    ASSERT_EQ(RunConverter("-o"), 0u);
    const vx::testing::ShellShortcut shortcut =
        vx::testing::ReadShellShortcut((Programs() / "PELTOMARK! Inc" / "Vornalux!.lnk").string());
    ASSERT_TRUE(shortcut.loaded);
    EXPECT_EQ(shortcut.target, "C:\\GAMES\\VORNALUX.EXE");
    EXPECT_EQ(shortcut.workingDirectory, "C:\\Games\\Vornalux");
    EXPECT_EQ(shortcut.iconPath, "C:\\GAMES\\VORNALUX.EXE");
    EXPECT_EQ(shortcut.iconIndex, 0);

    // Run again, the shortcut is replaced, not doubled.
    ASSERT_EQ(RunConverter("/O"), 0u);
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(Programs() / "PELTOMARK! Inc"))
        entries.push_back(entry.path().filename().string());
    EXPECT_EQ(entries, std::vector<std::string>{"Vornalux!.lnk"});
}

TEST_F(GrpconvTest, NamesOfTheSystemCodePageArriveIntact) {
    // Windows-1252: e acute in the group's and the item's names.
    Script("[progman.groups]\r\ng=Jeux \xE9t\xE9\r\n[g]\r\n\"Caf\xE9\",\"C:\\CAFE.EXE\"\r\n");
    ASSERT_EQ(RunConverter("-o"), 0u);
    // Through the ANSI calls: the names are bytes of the code page, not UTF-8.
    const std::string shortcut = Programs().string() + "\\Jeux \xE9t\xE9\\Caf\xE9.lnk";
    EXPECT_NE(::GetFileAttributesA(shortcut.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(vx::testing::ReadShellShortcut(shortcut).target, "C:\\CAFE.EXE");
}

TEST_F(GrpconvTest, NothingIsCreatedFromAScriptItCannotUse) {
    const struct {
        const char* name;
        const char* script;  // nullptr: no script at all
        DWORD status;
    } cases[] = {
        {"no script", nullptr, 1},
        {"an item without a program", "[progman.groups]\r\ng=Good\r\n[g]\r\n\"Only title\"\r\n", 1},
        {"a group name no file can have",
         "[progman.groups]\r\ng=Bad|Name\r\n[g]\r\n\"A\",\"C:\\A.EXE\"\r\n", 1},
    };
    const auto entries = [this] {
        std::vector<fs::path> found;
        for (const int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS})
            for (const auto& entry : fs::recursive_directory_iterator(Programs(csidl)))
                found.push_back(entry.path());
        return found;
    };
    const std::vector<fs::path> before = entries();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        vx::testing::RemoveTree(machine_.windowsFolder() / "SETUP.INI");
        if (c.script) Script(c.script);
        EXPECT_EQ(RunConverter("-o"), c.status);
        EXPECT_EQ(entries(), before);
    }
    EXPECT_EQ(RunConverter(""), 2u) << "usage";
}

TEST_F(GrpconvTest, GroupGoesToTheUsersProgramsWhenEverybodysCannotTakeIt) {
    Script("[progman.groups]\r\ng=Taken\r\n[g]\r\n\"A\",\"C:\\A.EXE\"\r\n");
    WriteFile(Programs() / "Taken", "a file");
    EXPECT_EQ(RunConverter("-o"), 0u);
    EXPECT_EQ(ReadFile(Programs() / "Taken"), "a file");
    EXPECT_EQ(
        vx::testing::ReadShellShortcut((Programs(CSIDL_PROGRAMS) / "Taken" / "A.lnk").string())
            .target,
        "C:\\A.EXE");

    // Neither can: nothing is made, nothing is touched.
    vx::testing::RemoveTree(Programs(CSIDL_PROGRAMS) / "Taken");
    WriteFile(Programs(CSIDL_PROGRAMS) / "Taken", "another file");
    EXPECT_EQ(RunConverter("-o"), 1u);
    EXPECT_EQ(ReadFile(Programs() / "Taken"), "a file");
    EXPECT_EQ(ReadFile(Programs(CSIDL_PROGRAMS) / "Taken"), "another file");
}

}  // namespace
