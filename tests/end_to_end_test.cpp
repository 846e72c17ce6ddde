// A whole life of the game on a fresh machine, through the procedures and the
// scripted person at the keyboard: install, re-install, uninstall.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/scripted/scripted_dialog_services.h"
#include "setup/paths.h"
#include "setup/procedures.h"
#include "setup/settings_file.h"
#include "tests/support/distribution.h"
#include "tests/support/pe_builder.h"
#include "tests/support/shortcut_readers.h"
#include "tests/support/temp_machine.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

std::string Settings(const std::string& audio) {
    return "[Audio]\r\nMIDIMusic=0\r\nCDMusic=" + audio + "\r\nSoundFx=" + audio +
           "\r\nSoundFxAllowed=" + audio + "\r\nNaration=" + audio + "\r\nSurferSounds=" + audio +
           "\r\n[ScreenMode]\r\nWindowWidth=414\r\n[Installation]\r\nVornaluxInstalled=1\r\n"
           "Directory=C:\\Program Files\\Vornalux\r\n";
}

TEST(EndToEnd, InstallReinstallAndUninstall) {
    testing::TempMachine machine;
    testing::FillDistribution(machine);
    const std::string library =
        testing::BuildPeLibrary({testing::VersionWord(6, 0), testing::VersionWord(8168, 0)});
    testing::WriteFile(machine.distFolder() / "mfc42.dll", library);
    testing::WriteFile(machine.driveC() / "Program Files" / "keep.txt", "beside the game");

    const fs::path target = machine.driveC() / "Program Files" / "Vornalux";
    const fs::path settings = machine.windowsFolder() / "vornalux.ini";
    const fs::path shortcut =
        machine.windowsFolder() / "Start Menu" / "Programs" / "PELTOMARK! Inc" / "Vornalux!.lnk";
    PathBuffer source, targetDir;
    TakeSourceDirectory(machine.sys(), source);
    ASSERT_TRUE(targetDir.Assign("C:\\Program Files\\Vornalux"));

    // First install, with a sound card.
    {
        ScriptedDialogServices dlg(machine.sys());
        dlg.soundCardAnswers = {IDOK};
        ASSERT_TRUE(RunInstall(machine.sys(), dlg, source, targetDir));
        ASSERT_EQ(dlg.messages.size(), 1u);
        EXPECT_EQ(dlg.messages[0].caption, "Vornalux! installation complete.");
    }
    for (const char* name : ProgramFiles) {
        SCOPED_TRACE(name);
        EXPECT_EQ(testing::ReadFile(target / name), testing::PlaceholderContent(name));
        const std::string windowsPath = std::string("C:\\Program Files\\Vornalux\\") + name;
        EXPECT_EQ(machine.sys().GetFileAttributesA(windowsPath.c_str()), FILE_ATTRIBUTE_NORMAL);
    }
    EXPECT_EQ(testing::ReadFile(machine.windowsFolder() / "system32" / "mfc42.dll"), library);
    EXPECT_EQ(testing::ReadFile(settings), Settings("1"));
    ASSERT_TRUE(testing::WaitForFile(shortcut));
    testing::ExpectShortcut(shortcut, "C:\\PROGRA~1\\Vornalux\\vornalux.exe",
                            "C:\\Program Files\\Vornalux");

    // Re-install over it, without a sound card. The converter runs on its
    // own; its shortcut reappearing tells that it has finished.
    fs::remove(shortcut);
    {
        ScriptedDialogServices dlg(machine.sys());
        dlg.soundCardAnswers = {IDCANCEL};
        ASSERT_TRUE(RunInstall(machine.sys(), dlg, source, targetDir));
        ASSERT_EQ(dlg.messages.size(), 1u);
        EXPECT_EQ(dlg.messages[0].caption, "Vornalux! installation complete.");
    }
    EXPECT_EQ(testing::ReadFile(settings), Settings("0"));
    ASSERT_TRUE(testing::WaitForFile(shortcut));

    // Uninstall, refused at the folder's confirmation: the folder stays.
    testing::WriteFile(target / "high.scores", "mine");
    {
        ScriptedDialogServices dlg(machine.sys());
        dlg.confirmationAnswers = {false};
        RunUninstall(machine.sys(), dlg, source, targetDir);
        ASSERT_EQ(dlg.messages.size(), 1u);
        EXPECT_EQ(dlg.messages[0].text, "Vornalux! has completed uninstalling.");
        EXPECT_EQ(dlg.questions.size(), 1u);
    }
    EXPECT_EQ(testing::ReadFile(target / "high.scores"), "mine");
    EXPECT_FALSE(fs::exists(settings));
    EXPECT_FALSE(fs::exists(shortcut));

    // Installed again, then uninstalled with the confirmation accepted.
    {
        ScriptedDialogServices dlg(machine.sys());
        ASSERT_TRUE(RunInstall(machine.sys(), dlg, source, targetDir));
        ASSERT_TRUE(testing::WaitForFile(shortcut));
        RunUninstall(machine.sys(), dlg, source, targetDir);
        ASSERT_EQ(dlg.messages.size(), 2u);
        EXPECT_EQ(dlg.messages[1].text, "Vornalux! has completed uninstalling.");
    }
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(fs::exists(settings));
    EXPECT_FALSE(fs::exists(shortcut.parent_path()));
    EXPECT_EQ(testing::ReadFile(machine.driveC() / "Program Files" / "keep.txt"),
              "beside the game");
    machine.Restart();
    EXPECT_FALSE(SettingsFile(machine.sys()).IsInstalled());
    EXPECT_EQ(SettingsFile(machine.sys()).ReadDirectory(), "c:\\vornalux\\");
}

}  // namespace
}  // namespace vx
