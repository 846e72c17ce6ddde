#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/scripted/scripted_dialog_services.h"
#include "setup/paths.h"
#include "setup/procedures.h"
#include "setup/settings_file.h"
#include "tests/support/distribution.h"
#include "tests/support/temp_machine.h"
#include "tests/support/unprivileged.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

struct UninstallFixture : ::testing::Test {
    testing::TempMachine machine;
    ScriptedDialogServices dlg{machine.sys()};
    fs::path target = machine.driveC() / "Games" / "Vornalux";
    fs::path group = machine.programsFolder() / "PELTOMARK! Inc";

    void SetUp() override { testing::FillDistribution(machine); }

    PathBuffer Source() {
        PathBuffer source;
        TakeSourceDirectory(machine.sys(), source);
        return source;
    }
    void Install(const std::string& directory = "C:\\Games\\Vornalux") {
        PathBuffer targetDir;
        ASSERT_TRUE(targetDir.Assign(directory));
        ASSERT_TRUE(RunInstall(machine.sys(), dlg, Source(), targetDir));
        ASSERT_TRUE(testing::WaitForFile(group / "Vornalux!.lnk"));
        dlg.messages.clear();
        dlg.statusTexts.clear();
    }
    void Uninstall(const std::string& directory) {
        PathBuffer targetDir;
        ASSERT_TRUE(targetDir.Assign(directory));
        RunUninstall(machine.sys(), dlg, Source(), targetDir);
    }
    void ExpectCompleted() {
        ASSERT_EQ(dlg.messages.size(), 1u);
        EXPECT_EQ(dlg.messages[0].text, "Vornalux! has completed uninstalling.");
        EXPECT_EQ(dlg.messages[0].caption, "Vornalux! uninstall complete.");
    }
};

TEST_F(UninstallFixture, RemovesEverythingOfTheGameAndNothingElse) {
    Install();
    testing::WriteFile(target / "saved.game", "progress");
    testing::WriteFile(machine.driveC() / "Games" / "other.txt", "keep me");
    Uninstall("C:\\Games\\Vornalux\\");  // the trailing separator is cut for the folder

    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(fs::exists(group));
    EXPECT_FALSE(fs::exists(machine.windowsFolder() / "vornalux.ini"));
    EXPECT_EQ(testing::ReadFile(machine.driveC() / "Games" / "other.txt"), "keep me");
    // The runtime libraries and the group script stay.
    EXPECT_TRUE(fs::exists(machine.windowsFolder() / "system32" / "msvcrt.dll"));
    EXPECT_TRUE(fs::exists(machine.windowsFolder() / "SETUP.INI"));
    EXPECT_EQ(dlg.questions.size(), 1u);
    ASSERT_FALSE(dlg.statusTexts.empty());
    EXPECT_EQ(dlg.statusTexts.front(), "C:\\Games\\Vornalux\\vornalux.exe");
    EXPECT_EQ(dlg.statusTexts.back(), "C:\\Games\\Vornalux\\");
    ExpectCompleted();

    // A later run finds no installation.
    machine.Restart();
    EXPECT_FALSE(SettingsFile(machine.sys()).IsInstalled());
}

TEST_F(UninstallFixture, RefusedConfirmationKeepsTheFolderAndStillCompletes) {
    Install();
    testing::WriteFile(target / "saved.game", "progress");
    dlg.confirmationAnswers = {false};
    Uninstall("C:\\Games\\Vornalux");
    EXPECT_EQ(testing::ReadFile(target / "saved.game"), "progress");
    for (const char* name : ProgramFiles) EXPECT_FALSE(fs::exists(target / name)) << name;
    EXPECT_FALSE(fs::exists(machine.windowsFolder() / "vornalux.ini"));
    ExpectCompleted();
}

TEST_F(UninstallFixture, FolderThatNeverHeldTheGameIsNotWiped) {
    testing::WriteFile(machine.windowsFolder() / "vornalux.ini",
                       "[Installation]\r\nVornaluxInstalled=1\r\nDirectory=C:\\Documents\r\n");
    testing::WriteFile(machine.driveC() / "Documents" / "letter.txt", "dear");
    Uninstall("C:\\Documents");
    EXPECT_EQ(testing::ReadFile(machine.driveC() / "Documents" / "letter.txt"), "dear");
    EXPECT_TRUE(dlg.questions.empty());
    ASSERT_EQ(dlg.messages.size(), 1u);
    EXPECT_EQ(dlg.messages[0].text, "Vornalux! was not completely uninstalled.\nC:\\Documents");
    EXPECT_EQ(dlg.messages[0].caption, "Uninstall Error");

    // Empty, it goes.
    fs::remove(machine.driveC() / "Documents" / "letter.txt");
    dlg.messages.clear();
    Uninstall("C:\\Documents");
    EXPECT_FALSE(fs::exists(machine.driveC() / "Documents"));
    ExpectCompleted();
}

TEST_F(UninstallFixture, OtherShortcutsOfTheMakerStay) {
    Install();
    testing::WriteFile(group / "Other Game.lnk", "other");
    Uninstall("C:\\Games\\Vornalux");
    EXPECT_FALSE(fs::exists(group / "Vornalux!.lnk"));
    EXPECT_EQ(testing::ReadFile(group / "Other Game.lnk"), "other");
    ExpectCompleted();
}

TEST_F(UninstallFixture, GroupGoesFromEveryPlaceItMayBeIn) {
    // An earlier version's group below the Windows directory, holding another
    // product's shortcut too, and the group in both Programs folders (on
    // Linux all three are one folder).
    const fs::path earlier = machine.windowsFolder() / "Start Menu" / "Programs" / "PELTOMARK! Inc";
    const fs::path groups[] = {earlier,
                               machine.programsFolder(CSIDL_COMMON_PROGRAMS) / "PELTOMARK! Inc",
                               machine.programsFolder(CSIDL_PROGRAMS) / "PELTOMARK! Inc"};
    for (const fs::path& folder : groups) testing::WriteFile(folder / "Vornalux!.lnk", "shortcut");
    testing::WriteFile(earlier / "Other Game.lnk", "other");

    Uninstall("C:\\Games\\Vornalux");  // never installed: no question about the folder
    for (const fs::path& folder : groups) {
        SCOPED_TRACE(folder.string());
        EXPECT_FALSE(fs::exists(folder / "Vornalux!.lnk"));
        EXPECT_EQ(fs::exists(folder), folder == earlier);
    }
    EXPECT_EQ(testing::ReadFile(earlier / "Other Game.lnk"), "other");
    ExpectCompleted();
}

TEST_F(UninstallFixture, FilesThatRemainKeepTheGameInstalled) {
    if (!testing::CanDropPrivileges())
        GTEST_SKIP() << "needs root to switch to an unprivileged user";
    Install();
    // The unprivileged user may edit the Windows folder but not the game's.
    fs::permissions(machine.windowsFolder(), fs::perms::all);
    fs::permissions(group, fs::perms::all);
    const int result = testing::RunAsUnprivileged([&] {
        machine.Restart();
        ScriptedDialogServices child(machine.sys());
        PathBuffer source, targetDir;
        TakeSourceDirectory(machine.sys(), source);
        targetDir.Assign("C:\\Games\\Vornalux");
        RunUninstall(machine.sys(), child, source, targetDir);
        if (child.messages.size() != 1) return 3;
        const std::string expected =
            "Vornalux! was not completely uninstalled.\nC:\\Games\\Vornalux\\vornalux.exe\n"
            "C:\\Games\\Vornalux\\vornalux.hlp\nC:\\Games\\Vornalux\\vornalux.gid\n"
            "C:\\Games\\Vornalux\\vornalux.ico\nC:\\Games\\Vornalux\\readme.txt\n"
            "C:\\Games\\Vornalux\nC:\\windows\\vornalux.ini";
        if (child.messages[0].text != expected) return 4;
        return child.messages[0].caption == "Uninstall Error" ? 0 : 5;
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(fs::exists(target / "vornalux.exe"));
    machine.Restart();
    EXPECT_TRUE(SettingsFile(machine.sys()).IsInstalled());
}

}  // namespace
}  // namespace vx
