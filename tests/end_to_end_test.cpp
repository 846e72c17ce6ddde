// A whole life of the game on a fresh machine, through the procedures and the
// scripted person at the keyboard: install, re-install, uninstall.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/desktop/desktop_menu.h"
#include "platform/scripted/scripted_dialog_services.h"
#include "setup/paths.h"
#include "setup/procedures.h"
#include "setup/settings_file.h"
#include "tests/support/desktop_files.h"
#include "tests/support/distribution.h"
#include "tests/support/pe_builder.h"
#include "tests/support/shortcut_readers.h"
#include "tests/support/temp_machine.h"
#include "tests/support/terminal_session.h"
#include "tests/support/unprivileged.h"

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
    ScriptedDialogServices checker(machine.sys());
    const std::optional<CheckedDirectory> checked =
        ConfirmSetupDirectory(machine.sys(), checker, targetDir, SetupAction::Install, source);
    ASSERT_TRUE(checked);

    // First install, with a sound card.
    {
        ScriptedDialogServices dlg(machine.sys());
        dlg.soundCardAnswers = {IDOK};
        ASSERT_TRUE(RunInstall(machine.sys(), dlg, *checked));
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
        ASSERT_TRUE(RunInstall(machine.sys(), dlg, *checked));
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
        RunUninstall(machine.sys(), dlg, *checked);
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
        ASSERT_TRUE(RunInstall(machine.sys(), dlg, *checked));
        ASSERT_TRUE(testing::WaitForFile(shortcut));
        RunUninstall(machine.sys(), dlg, *checked);
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

// Installs into `machine` through the procedures, the real converter making
// the shortcut and its menu entry; true when the completion message came.
bool InstallGame(testing::TempMachine& machine) {
    PathBuffer source, target;
    TakeSourceDirectory(machine.sys(), source);
    ScriptedDialogServices dlg(machine.sys());
    if (!target.Assign("C:\\Games\\Vornalux")) return false;
    const std::optional<CheckedDirectory> checked =
        ConfirmSetupDirectory(machine.sys(), dlg, target, SetupAction::Install, source);
    return checked && RunInstall(machine.sys(), dlg, *checked) && dlg.messages.size() == 1 &&
           dlg.messages[0].caption == "Vornalux! installation complete.";
}

TEST(EndToEnd, TheDesktopMenuFollowsInstallsUninstallsAndVanishedMachines) {
    testing::TempMachine machine, other;
    // One user's folders for both machines.
    const testing::ScopedEnvironment home("HOME", machine.homeFolder().string());
    const testing::ScopedEnvironment data("XDG_DATA_HOME", machine.dataHome().string());
    const testing::ScopedEnvironment config("XDG_CONFIG_HOME", machine.configHome().string());
    testing::FillDistribution(machine);
    testing::FillDistribution(other);
    testing::PlaceSetupProgram(machine);

    ASSERT_TRUE(InstallGame(other));
    const std::vector<std::string> otherFiles = testing::FilesBelow(machine.homeFolder());
    // Entry, menu file, three folder files, and the record of the folders it made.
    EXPECT_EQ(otherFiles.size(), 6u);
    ASSERT_TRUE(InstallGame(machine));
    const std::vector<std::string> both = testing::FilesBelow(machine.homeFolder());
    EXPECT_EQ(both.size(), otherFiles.size() + 5);
    ASSERT_TRUE(InstallGame(machine));
    EXPECT_EQ(testing::FilesBelow(machine.homeFolder()), both);
    EXPECT_EQ(testing::ExpectValidMenuFiles(machine.homeFolder()), 10);

    {
        PathBuffer source, target;
        TakeSourceDirectory(machine.sys(), source);
        ASSERT_TRUE(target.Assign("C:\\Games\\Vornalux"));
        ScriptedDialogServices dlg(machine.sys());
        // As the setup program wires it.
        machine.sys().SetStartMenuDeleteHook(
            [&](std::string_view) { desktop::WithdrawGoneShortcuts(machine.sys().machine()); });
        const std::optional<CheckedDirectory> checked =
            ConfirmSetupDirectory(machine.sys(), dlg, target, SetupAction::Uninstall, source);
        ASSERT_TRUE(checked);
        RunUninstall(machine.sys(), dlg, *checked);
        ASSERT_EQ(dlg.messages.size(), 1u);
        EXPECT_EQ(dlg.messages[0].text, "Vornalux! has completed uninstalling.");
    }
    EXPECT_EQ(testing::FilesBelow(machine.homeFolder()), otherFiles);

    // The other machine deleted by hand: the next start of the setup program
    // withdraws its entries, and the folders they alone needed.
    if (!testing::TmuxAvailable()) GTEST_SKIP() << "tmux is not installed";
    fs::remove_all(other.machineFolder());
    {
        const fs::path folder = machine.root() / "run";
        fs::create_directories(folder);
        testing::TerminalSession session(machine.distFolder() / "install", machine.machineFolder(),
                                         folder);
        ASSERT_TRUE(session.WaitForText("Install/Unistall")) << session.Screen();
        session.SendKeys({"Escape"});
        EXPECT_EQ(session.WaitForExit(), 0);
    }
    EXPECT_EQ(testing::FilesBelow(machine.homeFolder()), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(machine.dataHome() / "applications"));
}

TEST(EndToEnd, AMenuEntryThatCannotBeWrittenLeavesTheInstallComplete) {
    if (!testing::CanDropPrivileges())
        GTEST_SKIP() << "needs root to switch to an unprivileged user";
    testing::TempMachine machine;
    testing::FillDistribution(machine);
    const fs::path errors = machine.distFolder() / "errors.txt";
    testing::WriteFile(errors, "");
    // The machine is the unprivileged user's; the home, and so the data folder, is not.
    for (const fs::path& folder : {machine.machineFolder(), machine.distFolder()}) {
        ASSERT_EQ(lchown(folder.c_str(), 65534, 65534), 0);
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            ASSERT_EQ(lchown(entry.path().c_str(), 65534, 65534), 0);
    }
    const int result = testing::RunAsUnprivileged([&] {
        if (!std::freopen(errors.c_str(), "w", stderr)) return 2;
        machine.Restart();
        return InstallGame(machine) ? 0 : 3;
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(fs::exists(machine.programsFolder() / "PELTOMARK! Inc" / "Vornalux!.lnk"));
    EXPECT_NE(testing::ReadFile(errors).find("grpconv: no desktop menu entry for \"Vornalux!\": "),
              std::string::npos)
        << testing::ReadFile(errors);
    EXPECT_EQ(testing::FilesBelow(machine.homeFolder()), std::vector<std::string>{});
}

}  // namespace
}  // namespace vx
