#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/scripted/scripted_dialog_services.h"
#include "setup/directory_rules.h"
#include "setup/paths.h"
#include "setup/procedures.h"
#include "tests/support/distribution.h"
#include "tests/support/pe_builder.h"
#include "tests/support/temp_machine.h"
#include "tests/support/unprivileged.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCompleted =
    "Vornalux! has completed installation.  You can launch it from the Start Menu under "
    "PELTOMARK! Inc.  Run install.exe to uninstall Vornalux!";

const std::string kAudioYes =
    "[Audio]\r\nMIDIMusic=0\r\nCDMusic=1\r\nSoundFx=1\r\nSoundFxAllowed=1\r\nNaration=1\r\n"
    "SurferSounds=1\r\n";
const std::string kAudioNo =
    "[Audio]\r\nMIDIMusic=0\r\nCDMusic=0\r\nSoundFx=0\r\nSoundFxAllowed=0\r\nNaration=0\r\n"
    "SurferSounds=0\r\n";

std::string InstalledKeys(const std::string& directory) {
    return "[ScreenMode]\r\nWindowWidth=414\r\n[Installation]\r\nVornaluxInstalled=1\r\n"
           "Directory=" +
           directory + "\r\n";
}

struct InstallFixture : ::testing::Test {
    testing::TempMachine machine;
    ScriptedDialogServices dlg{machine.sys()};

    void SetUp() override { testing::FillDistribution(machine); }

    bool Install(const std::string& target) {
        PathBuffer source, targetDir;
        TakeSourceDirectory(machine.sys(), source);
        EXPECT_TRUE(targetDir.Assign(target));
        const std::optional<CheckedDirectory> checked =
            ConfirmSetupDirectory(machine.sys(), dlg, targetDir, SetupAction::Install, source);
        return checked && RunInstall(machine.sys(), dlg, *checked);
    }
    std::string Settings() { return testing::ReadFile(machine.windowsFolder() / "vornalux.ini"); }
    bool HasSettings() { return fs::exists(machine.windowsFolder() / "vornalux.ini"); }
    fs::path Shortcut() { return machine.programsFolder() / "PELTOMARK! Inc" / "Vornalux!.lnk"; }
};

TEST_F(InstallFixture, FirstInstallPutsEverythingInPlace) {
    // Source files marked read-only, as on a CD.
    fs::permissions(machine.distFolder() / "readme.txt",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);

    ASSERT_TRUE(Install("C:\\Games\\Vornalux"));

    const fs::path target = machine.driveC() / "Games" / "Vornalux";
    for (const char* name : ProgramFiles) {
        SCOPED_TRACE(name);
        EXPECT_EQ(testing::ReadFile(target / name), testing::PlaceholderContent(name));
        const std::string windowsPath = std::string("C:\\Games\\Vornalux\\") + name;
        EXPECT_EQ(machine.sys().GetFileAttributesA(windowsPath.c_str()), FILE_ATTRIBUTE_NORMAL);
    }
    for (const char* name : SystemFiles)
        EXPECT_EQ(testing::ReadFile(machine.windowsFolder() / "system32" / name),
                  testing::PlaceholderContent(name));
    EXPECT_FALSE(fs::exists(target / "RUZI.INI"));

    EXPECT_EQ(Settings(), kAudioYes + InstalledKeys("C:\\Games\\Vornalux"));
    EXPECT_EQ(testing::ReadFile(machine.windowsFolder() / "SETUP.INI"),
              "[progman.groups]\r\ngroupX=PELTOMARK! Inc.\r\n[groupX]\r\n"
              "\"Vornalux!\",\"C:\\Games\\Vornalux\\vornalux.exe\",,,,\"C:\\Games\\Vornalux\"\r\n");
    EXPECT_TRUE(testing::WaitForFile(Shortcut()));

    const std::vector<std::string> status = {
        "C:\\windows\\system32\\msvcrt.dll", "C:\\windows\\system32\\mfc42.dll",
        "C:\\Games\\Vornalux\\vornalux.exe", "C:\\Games\\Vornalux\\vornalux.hlp",
        "C:\\Games\\Vornalux\\vornalux.gid", "C:\\Games\\Vornalux\\vornalux.ico",
        "C:\\Games\\Vornalux\\readme.txt"};
    EXPECT_EQ(dlg.statusTexts, status);
    ASSERT_EQ(dlg.messages.size(), 1u);
    EXPECT_EQ(dlg.messages[0].text, kCompleted);
    EXPECT_EQ(dlg.messages[0].caption, "Vornalux! installation complete.");
    EXPECT_EQ(dlg.messages[0].type, MB_OK);
}

TEST_F(InstallFixture, ReinstallKeepsTheNewSoundCardAnswer) {
    ASSERT_TRUE(Install("C:\\Games\\Vornalux"));
    dlg.soundCardAnswers = {IDCANCEL};
    ASSERT_TRUE(Install("C:\\Games\\Vornalux"));
    EXPECT_EQ(Settings(), kAudioNo + InstalledKeys("C:\\Games\\Vornalux"));
}

TEST_F(InstallFixture, DirectoryThatCannotBeCreatedStopsTheInstall) {
    ASSERT_FALSE(Install("Q:\\Games\\Vornalux"));  // no such drive
    ASSERT_EQ(dlg.messages.size(), 1u);
    EXPECT_EQ(dlg.messages[0].text, "Couldn't create installation directory.");
    EXPECT_EQ(dlg.messages[0].caption, "Installation Error");
    // Only the sound-card answer was written.
    EXPECT_EQ(Settings(), kAudioYes);
    EXPECT_FALSE(fs::exists(machine.windowsFolder() / "SETUP.INI"));
}

TEST_F(InstallFixture, ReadOnlyFolderStopsTheInstall) {
    if (!testing::CanDropPrivileges())
        GTEST_SKIP() << "needs root to switch to an unprivileged user";
    // The unprivileged user may write the settings but not into C:\Locked.
    fs::create_directories(machine.driveC() / "Locked");
    fs::permissions(machine.windowsFolder(), fs::perms::all);
    fs::permissions(machine.windowsFolder() / "system32", fs::perms::all);
    const int result = testing::RunAsUnprivileged([&] {
        machine.Restart();
        ScriptedDialogServices child(machine.sys());
        PathBuffer source, target;
        TakeSourceDirectory(machine.sys(), source);
        target.Assign("C:\\Locked\\Vornalux");
        const std::optional<CheckedDirectory> checked =
            ConfirmSetupDirectory(machine.sys(), child, target, SetupAction::Install, source);
        const bool installed = checked && RunInstall(machine.sys(), child, *checked);
        const bool told = child.messages.size() == 1 &&
                          child.messages[0].text == "Couldn't create installation directory.";
        return installed ? 1 : told ? 0 : 2;
    });
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(fs::exists(machine.driveC() / "Locked" / "Vornalux"));
    EXPECT_EQ(Settings(), kAudioYes);
}

TEST_F(InstallFixture, FailedCopiesAreReportedAndTheInstallCanBeUndone) {
    fs::remove(machine.distFolder() / "readme.txt");
    fs::remove(machine.distFolder() / "mfc42.dll");
    ASSERT_TRUE(Install("C:\\Games\\Vornalux"));
    ASSERT_EQ(dlg.messages.size(), 1u);
    EXPECT_EQ(dlg.messages[0].text,
              "Vornalux! installation is incomplete.\nC:\\windows\\system32\\mfc42.dll\n"
              "C:\\Games\\Vornalux\\readme.txt");
    EXPECT_EQ(dlg.messages[0].caption, "Installation Error");
    EXPECT_FALSE(fs::exists(machine.driveC() / "Games" / "Vornalux" / "readme.txt"));
    EXPECT_EQ(Settings(), kAudioYes + InstalledKeys("C:\\Games\\Vornalux"));
}

TEST_F(InstallFixture, GroupThatCannotBeMadeIsReported) {
    const std::string groupLine = "\nThe Start Menu group PELTOMARK! Inc could not be created.";
    // No converter to start.
    fs::remove(machine.distFolder() / "grpconv");
    ASSERT_TRUE(Install("C:\\Games\\Vornalux"));
    ASSERT_EQ(dlg.messages.size(), 1u);
    EXPECT_EQ(dlg.messages[0].text, "Vornalux! installation is incomplete." + groupLine);

    // A script file that cannot be created: a read-only SETUP.INI.
    testing::FillDistribution(machine);
    fs::permissions(machine.windowsFolder() / "SETUP.INI",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    dlg.messages.clear();
    ASSERT_TRUE(Install("C:\\Games\\Vornalux"));
    ASSERT_EQ(dlg.messages.size(), 1u);
    EXPECT_EQ(dlg.messages[0].text, "Vornalux! installation is incomplete." + groupLine);
    EXPECT_EQ(Settings(), kAudioYes + InstalledKeys("C:\\Games\\Vornalux"));
}

TEST_F(InstallFixture, LongFolderWithSpacesGetsTheShortProgramPath) {
    ASSERT_TRUE(Install("C:\\PLAY AREA\\LONG FOLDER NAME"));
    EXPECT_EQ(testing::ReadFile(machine.windowsFolder() / "SETUP.INI"),
              "[progman.groups]\r\ngroupX=PELTOMARK! Inc.\r\n[groupX]\r\n"
              "\"Vornalux!\",\"C:\\PLAYAR~1\\LONGFO~1\\vornalux.exe\",,,,"
              "\"C:\\PLAY AREA\\LONG FOLDER NAME\"\r\n");
    ASSERT_EQ(dlg.messages.size(), 1u);
    EXPECT_EQ(dlg.messages[0].text, kCompleted);
}

TEST_F(InstallFixture, ScriptThatWouldNotFitIsNotWritten) {
    // 24 components of nine characters: the short path is nearly as long as
    // the directory, and the two together overflow the script's 512 bytes.
    std::string directory = "C:";
    for (int i = 0; i < 24; ++i) directory += "\\abcdefghi";
    ASSERT_TRUE(Install(directory));
    EXPECT_FALSE(fs::exists(machine.windowsFolder() / "SETUP.INI"));
    ASSERT_EQ(dlg.messages.size(), 1u);
    EXPECT_EQ(dlg.messages[0].text,
              "Vornalux! installation is incomplete.\nThe Start Menu group PELTOMARK! Inc could "
              "not be created.");
}

TEST_F(InstallFixture, ProbeNeverTouchesAFileOfTheUsers) {
    const fs::path target = machine.driveC() / "Games" / "Vornalux";
    testing::WriteFile(target / "RUZI.INI", "mine");
    testing::WriteFile(target / "RUZI1.INI", "mine too");
    ASSERT_TRUE(Install("C:\\Games\\Vornalux"));
    EXPECT_EQ(testing::ReadFile(target / "RUZI.INI"), "mine");
    EXPECT_EQ(testing::ReadFile(target / "RUZI1.INI"), "mine too");
    EXPECT_FALSE(fs::exists(target / "RUZI2.INI"));
}

TEST_F(InstallFixture, InstallingIntoTheSetupFolderIsNotAFailure) {
    PathBuffer source;
    TakeSourceDirectory(machine.sys(), source);
    ASSERT_TRUE(Install(std::string(source.view())));
    ASSERT_EQ(dlg.messages.size(), 1u);
    EXPECT_EQ(dlg.messages[0].text, kCompleted);
    EXPECT_EQ(testing::ReadFile(machine.distFolder() / "vornalux.exe"),
              testing::PlaceholderContent("vornalux.exe"));
}

TEST_F(InstallFixture, NewerRuntimeLibraryIsNeverReplacedByAnOlderOne) {
    using testing::BuildPeLibrary;
    using testing::VersionWord;
    const fs::path system32 = machine.windowsFolder() / "system32";
    const std::string ours = BuildPeLibrary({VersionWord(6, 0), VersionWord(8168, 0)});
    testing::WriteFile(machine.distFolder() / "msvcrt.dll", ours);
    testing::WriteFile(machine.distFolder() / "mfc42.dll", ours);
    struct Case {
        const char* name;
        std::string existing;
        bool replaced;
    } cases[] = {
        {"msvcrt.dll", BuildPeLibrary({VersionWord(7, 0), 0}), false},                    // newer
        {"mfc42.dll", BuildPeLibrary({VersionWord(6, 0), VersionWord(8168, 0)}), false},  // same
    };
    for (const Case& c : cases) testing::WriteFile(system32 / c.name, c.existing);
    ASSERT_TRUE(Install("C:\\Games\\Vornalux"));
    for (const Case& c : cases)
        EXPECT_EQ(testing::ReadFile(system32 / c.name), c.existing) << c.name;
    // Kept libraries are named on the status line and are not failures.
    EXPECT_EQ(dlg.statusTexts[0], "C:\\windows\\system32\\msvcrt.dll");
    ASSERT_EQ(dlg.messages.size(), 1u);
    EXPECT_EQ(dlg.messages[0].text, kCompleted);

    // An older one, or one whose version cannot be read, is handled as each deserves.
    testing::WriteFile(system32 / "msvcrt.dll", BuildPeLibrary({VersionWord(5, 0), 0}));
    testing::WriteFile(system32 / "mfc42.dll", "not a library");
    dlg.messages.clear();
    ASSERT_TRUE(Install("C:\\Games\\Vornalux"));
    EXPECT_EQ(testing::ReadFile(system32 / "msvcrt.dll"), ours);
    EXPECT_EQ(testing::ReadFile(system32 / "mfc42.dll"), "not a library");
}

TEST_F(InstallFixture, ForbiddenDirectoriesAreRefusedBeforeAnythingHappens) {
    const std::string kVanishing =
        "holds a folder name of only dots and spaces, which Windows drops.";
    struct Case {
        std::string directory;
        std::string message;
    } cases[] = {
        {"", "Please enter the directory to use."},
        {"Games\\Vornalux", "\"Games\\Vornalux\" is not a full path such as C:\\Games\\Vornalux."},
        {"C:Games", "\"C:Games\" is not a full path such as C:\\Games\\Vornalux."},
        {"C:\\Ga?mes", "\"C:\\Ga?mes\" holds a character that file names cannot hold."},
        {"C:\\Games\\a:b", "\"C:\\Games\\a:b\" holds a character that file names cannot hold."},
        {"C:\\", "\"C:\\\" is the root of a drive."},
        {"c:\\Games\\..", "\"c:\\Games\\..\" is the root of a drive."},
        {"C:\\WINDOWS", "\"C:\\WINDOWS\" holds the Windows system files."},
        {"C:\\windows\\system32\\..",
         "\"C:\\windows\\system32\\..\" holds the Windows system files."},
        {"C:\\windows\\SYSTEM32", "\"C:\\windows\\SYSTEM32\" holds the Windows system files."},
        // Windows drops a name of dots and spaces: this would be C:\games itself.
        {"C:\\games\\...\\", "\"C:\\games\\...\\\" " + kVanishing},
        {"C:\\games\\ .\\Vornalux", "\"C:\\games\\ .\\Vornalux\" " + kVanishing},
        // The host's own folders, through the drive that shows its root.
        {"Z:\\usr\\bin", "\"Z:\\usr\\bin\" holds the host system's files."},
        {"z:\\ETC\\", "\"z:\\ETC\\\" holds the host system's files."},
        {"Z:\\usr", "\"Z:\\usr\" holds the host system's files."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory);
        dlg.messages.clear();
        EXPECT_FALSE(Install(c.directory));
        ASSERT_EQ(dlg.messages.size(), 1u);
        EXPECT_EQ(dlg.messages[0].text, c.message);
        EXPECT_EQ(dlg.messages[0].caption, "Installation Error");
    }
    EXPECT_TRUE(dlg.soundCardResults.empty());
    EXPECT_FALSE(HasSettings());
    EXPECT_TRUE(dlg.statusTexts.empty());
}

TEST_F(InstallFixture, FoldersHoldingProtectedOnesAreRefusedWhateverTheSpelling) {
    // The machine folder holds C:\windows; through Z: it has another spelling.
    const std::optional<std::string> machineFolder =
        machine.sys().machine().ToWindowsPath(machine.machineFolder().string());
    ASSERT_TRUE(machineFolder);
    PathBuffer source;
    TakeSourceDirectory(machine.sys(), source);
    auto check = [&](const std::string& directory, SetupAction action) {
        return CheckSetupDirectory(machine.sys(), directory, action, source).value_or("");
    };
    EXPECT_EQ(check(*machineFolder, SetupAction::Install),
              "\"" + *machineFolder + "\" holds the Windows system files.");

    char home[MAX_PATH] = {};
    ASSERT_GT(machine.sys().GetHomeDirectoryA(home, MAX_PATH), 0u);
    EXPECT_EQ(check(home, SetupAction::Install),
              "\"" + std::string(home) + "\" holds your home folder.");

    // The setup program's folder may be used by both: the uninstall leaves its files.
    EXPECT_EQ(check(std::string(source.view()), SetupAction::Install), "");
    EXPECT_EQ(check(std::string(source.view()), SetupAction::Uninstall), "");
    EXPECT_EQ(check("C:\\Games\\Vornalux", SetupAction::Uninstall), "");
}

}  // namespace
}  // namespace vx
