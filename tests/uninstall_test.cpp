#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <stdio.h>

#include <atomic>
#include <thread>
#endif

#include "platform/scripted/scripted_dialog_services.h"
#include "setup/install_log.h"
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
        const std::optional<CheckedDirectory> checked =
            ConfirmSetupDirectory(machine.sys(), dlg, targetDir, SetupAction::Install, Source());
        ASSERT_TRUE(checked && RunInstall(machine.sys(), dlg, *checked));
        ASSERT_TRUE(testing::WaitForFile(group / "Vornalux!.lnk"))
            << "the install said: " << (dlg.messages.empty() ? "" : dlg.messages.back().text);
        dlg.messages.clear();
        dlg.statusTexts.clear();
    }
    void Uninstall(const std::string& directory) {
        PathBuffer targetDir;
        ASSERT_TRUE(targetDir.Assign(directory));
        const std::optional<CheckedDirectory> checked =
            ConfirmSetupDirectory(machine.sys(), dlg, targetDir, SetupAction::Uninstall, Source());
        if (checked) RunUninstall(machine.sys(), dlg, *checked);
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
    // The question names the folder and what else it holds.
    ASSERT_EQ(dlg.questions.size(), 1u);
    EXPECT_EQ(dlg.questions[0],
              "Are you sure you want to delete the folder 'C:\\Games\\Vornalux' and all of its "
              "contents?  Besides the game's own files it holds 1 file and 0 folders.");
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

    // The record stays with the folder: after a re-install the folder is
    // still the install's own, and goes with everything in it.
    EXPECT_TRUE(fs::exists(target / kInstallLogName));
    Install();
    dlg.questions.clear();
    dlg.messages.clear();
    Uninstall("c:\\games\\vornalux");
    ASSERT_EQ(dlg.questions.size(), 1u);
    EXPECT_NE(dlg.questions[0].find("'C:\\Games\\Vornalux'"), std::string::npos)
        << dlg.questions[0];
    EXPECT_FALSE(fs::exists(target));
    ExpectCompleted();
}

TEST_F(UninstallFixture, FoldersThatExistedKeepWhatTheInstallDidNotPutThere) {
    const struct Case {
        std::string directory;
        fs::path folder;
    } cases[] = {
        {"C:\\games", machine.driveC() / "games"},
        {"C:\\Program Files", machine.driveC() / "Program Files"},
        {"C:\\users\\player", machine.driveC() / "users" / "player"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory);
        testing::WriteFile(c.folder / "Other Game" / "slot1.sav", "another game's save");
        testing::WriteFile(c.folder / "notes.txt", "mine");
        Install(c.directory);
        Uninstall(c.directory);
        EXPECT_EQ(testing::ReadFile(c.folder / "Other Game" / "slot1.sav"), "another game's save");
        EXPECT_EQ(testing::ReadFile(c.folder / "notes.txt"), "mine");
        for (const char* name : ProgramFiles) EXPECT_FALSE(fs::exists(c.folder / name)) << name;
        EXPECT_FALSE(fs::exists(c.folder / kInstallLogName));
        EXPECT_TRUE(dlg.questions.empty());
        ASSERT_EQ(dlg.messages.size(), 1u);
        EXPECT_EQ(dlg.messages[0].text,
                  "Vornalux! was not completely uninstalled.\n" + c.directory);
        EXPECT_FALSE(fs::exists(machine.windowsFolder() / "vornalux.ini"));
        // Only what the test put there: C:\Program Files has more under Wine.
        fs::remove_all(c.folder / "Other Game");
        fs::remove(c.folder / "notes.txt");
        std::error_code ec;
        fs::remove(c.folder, ec);
        dlg.messages.clear();
    }
    // One that existed empty is empty again afterwards, and goes.
    fs::create_directories(machine.driveC() / "Empty");
    Install("C:\\Empty");
    Uninstall("C:\\Empty");
    EXPECT_FALSE(fs::exists(machine.driveC() / "Empty"));
    EXPECT_TRUE(dlg.questions.empty());
    ExpectCompleted();
}

TEST_F(UninstallFixture, SetupProgramsOwnFolderKeepsItsFiles) {
    const std::string source(Source().view());
    Install(source);
    EXPECT_EQ(testing::ReadFile(machine.distFolder() / kInstallLogName),
              "[Folder]\r\nCreated=0\r\nGameFilesCopied=0\r\n");
    Uninstall(source);
    for (const char* name : ProgramFiles)
        EXPECT_EQ(testing::ReadFile(machine.distFolder() / name), testing::PlaceholderContent(name))
            << name;
    EXPECT_FALSE(fs::exists(machine.distFolder() / kInstallLogName));
    EXPECT_FALSE(fs::exists(group));
    EXPECT_FALSE(fs::exists(machine.windowsFolder() / "vornalux.ini"));
    EXPECT_TRUE(dlg.questions.empty());
    ASSERT_EQ(dlg.messages.size(), 1u);
    EXPECT_EQ(dlg.messages[0].text, "Vornalux! has completed uninstalling.  Its files stay in " +
                                        source + ", the folder this setup program runs from.");
}

TEST_F(UninstallFixture, FolderWithoutARecordIsNeverWiped) {
    // As an earlier version left it: the game's files, no record.
    testing::WriteFile(machine.windowsFolder() / "vornalux.ini",
                       "[Installation]\r\nVornaluxInstalled=1\r\nDirectory=C:\\Documents\r\n");
    testing::WriteFile(machine.driveC() / "Documents" / "letter.txt", "dear");
    testing::WriteFile(machine.driveC() / "Documents" / "vornalux.exe", "game");
    Uninstall("C:\\Documents");
    EXPECT_EQ(testing::ReadFile(machine.driveC() / "Documents" / "letter.txt"), "dear");
    EXPECT_FALSE(fs::exists(machine.driveC() / "Documents" / "vornalux.exe"));
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
        const std::optional<CheckedDirectory> checked =
            ConfirmSetupDirectory(machine.sys(), child, targetDir, SetupAction::Uninstall, source);
        if (!checked) return 2;
        RunUninstall(machine.sys(), child, *checked);
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

// A probe a crashed install left, named by the record, is taken away by the
// next uninstall, or reused and removed by the next install; a record naming
// anything but a probe's name is not followed, and a file of the user's by
// the probe's name is never touched.
TEST_F(UninstallFixture, ProbeLeftByACrashIsTakenAway) {
    struct Case {
        const char* recorded;
        bool reinstall;
        bool taken;
    };
    for (const Case& c : {Case{"RUZI1.INI", false, true}, Case{"ruzi1.ini", true, true},
                          Case{"SAVES.DAT", false, false}, Case{"RUZI01.INI", true, false}}) {
        SCOPED_TRACE(c.recorded);
        fs::remove_all(target);
        testing::WriteFile(target / "RUZI.INI", "mine");
        testing::WriteFile(target / c.recorded, "left");
        testing::WriteFile(target / kInstallLogName,
                           std::string("[Folder]\r\nCreated=0\r\nProbe=") + c.recorded + "\r\n");
        if (c.reinstall) {
            Install();
            EXPECT_EQ(fs::exists(target / c.recorded), !c.taken);
        }
        Uninstall("C:\\Games\\Vornalux");
        dlg.messages.clear();
        EXPECT_EQ(fs::exists(target / c.recorded), !c.taken);
        EXPECT_EQ(testing::ReadFile(target / "RUZI.INI"), "mine");
    }
}
#ifndef _WIN32
// The scripted person, who also starts swapping the target's parent with a
// link to a folder outside as soon as the folder's delete is asked for.
class SwappingDialogServices final : public DialogServices {
public:
    SwappingDialogServices(ScriptedDialogServices& inner, fs::path parent, fs::path link)
        : inner_(inner), parent_(std::move(parent)), link_(std::move(link)) {}
    ~SwappingDialogServices() override { Stop(); }

    // Stops swapping; the parent is a folder again afterwards.
    int Stop() {
        stop_ = true;
        if (attacker_.joinable()) attacker_.join();
        if (swaps_ % 2 != 0 && Swap()) ++swaps_;
        return swaps_;
    }

    HWND GetSafeHwnd() override { return HwndOf(this); }
    BOOL CheckDlgButton(int id, UINT check) override { return inner_.CheckDlgButton(id, check); }
    BOOL SetDlgItemTextA(int id, const char* text) override {
        return inner_.SetDlgItemTextA(id, text);
    }
    int GetDlgItemTextA(int id, char* buffer, int size) override {
        return inner_.GetDlgItemTextA(id, buffer, size);
    }
    int MessageBox(const char* text, const char* caption, UINT type) override {
        return inner_.MessageBox(text, caption, type);
    }
    INT_PTR RunSoundCardDialog() override { return inner_.RunSoundCardDialog(); }
    bool AskConfirmation(std::string_view text, std::string_view caption) override {
        attacker_ = std::thread([this] {
            while (!stop_)
                if (Swap()) ++swaps_;
        });
        while (swaps_ == 0) std::this_thread::yield();
        return inner_.AskConfirmation(text, caption);
    }
    void BeginProgress(std::string_view text) override { inner_.BeginProgress(text); }
    void UpdateProgress(std::uint64_t done, std::uint64_t total) override {
        inner_.UpdateProgress(done, total);
    }
    void EndProgress() override { inner_.EndProgress(); }

private:
    bool Swap() {
        return renameat2(AT_FDCWD, parent_.c_str(), AT_FDCWD, link_.c_str(), RENAME_EXCHANGE) == 0;
    }

    ScriptedDialogServices& inner_;
    fs::path parent_, link_;
    std::thread attacker_;
    std::atomic<bool> stop_{false};
    std::atomic<int> swaps_{0};
};

// Whatever the uninstall removes while its target's parent keeps changing,
// it is never the outside folder's.
TEST_F(UninstallFixture, SwappingTheParentDuringTheDeleteRedirectsNothing) {
    const fs::path outside = machine.root() / "outside";
    const fs::path link = machine.root() / "link";
    auto fillTree = [](const fs::path& folder, const std::string& content) {
        for (int i = 0; i < 200; ++i)
            testing::WriteFile(
                folder / ("saves" + std::to_string(i % 8)) / ("slot" + std::to_string(i) + ".sav"),
                content);
    };
    fillTree(outside / "Vornalux", "outside");
    fs::create_directory_symlink(outside, link);
    int removed = 0;
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE(run);
        fillTree(target, "ours");
        testing::WriteFile(target / kInstallLogName, "[Folder]\r\nCreated=1\r\n");
        PathBuffer targetDir;
        ASSERT_TRUE(targetDir.Assign("C:\\Games\\Vornalux"));
        SwappingDialogServices swapping(dlg, machine.driveC() / "Games", link);
        const std::optional<CheckedDirectory> checked = ConfirmSetupDirectory(
            machine.sys(), swapping, targetDir, SetupAction::Uninstall, Source());
        ASSERT_TRUE(checked);
        RunUninstall(machine.sys(), swapping, *checked);
        EXPECT_GT(swapping.Stop(), 0);
        ASSERT_TRUE(fs::is_symlink(link));
        for (int i = 0; i < 200; ++i)
            ASSERT_EQ(testing::ReadFile(outside / "Vornalux" / ("saves" + std::to_string(i % 8)) /
                                        ("slot" + std::to_string(i) + ".sav")),
                      "outside");
        removed += fs::exists(target) ? 0 : 1;
        fs::remove_all(target);
    }
    // The folder that was checked is the one removed, every time.
    EXPECT_EQ(removed, 20);
}
#endif

}  // namespace
}  // namespace vx
