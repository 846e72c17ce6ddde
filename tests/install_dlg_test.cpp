#include "ui/install_dlg.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/scripted/scripted_window_backend.h"
#include "tests/support/distribution.h"
#include "tests/support/temp_machine.h"
#include "ui/resource.h"
#include "ui/resources.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using Step = ScriptedWindowBackend::Step;

constexpr const char* kNote =
    "Note: The shareware version does not come with Direct X3.  If you don't have it, get it "
    "from Microsoft's web page.";

struct DialogFixture : ::testing::Test {
    testing::TempMachine machine;
    ScriptedWindowBackend backend;
    CWinApp app;

    void SetUp() override {
        testing::FillDistribution(machine);
        AfxSetResources(ProgramResources());
        AfxSetPlatform(&backend, &machine.sys());
        CInstallDlg::s_bFirstPaint = TRUE;
    }
    void TearDown() override { AfxSetPlatform(nullptr, nullptr); }

    // Runs the main dialog as the application does.
    INT_PTR Run(std::vector<Step> steps) {
        backend.scripts[IDD_INSTALL_DIALOG].push_back(std::move(steps));
        machine.Restart();
        AfxSetPlatform(&backend, &machine.sys());
        CInstallDlg dlg;
        app.m_pMainWnd = &dlg;
        const INT_PTR result = dlg.DoModal();
        app.m_pMainWnd = nullptr;
        return result;
    }
    void AnswerSoundCard(std::vector<Step> steps) {
        backend.scripts[IDD_SOUNDCARD].push_back(std::move(steps));
    }
    fs::path Settings() { return machine.windowsFolder() / "vornalux.ini"; }
};

TEST_F(DialogFixture, FreshMachineStartsWithInstallSelected) {
    bool looked = false;
    const INT_PTR result = Run({[&](ScriptedWindow& w) {
        EXPECT_EQ(w.GetText(IDC_INSTALL_DIR), "c:\\vornalux\\");
        EXPECT_EQ(w.GetCheck(IDC_INSTALL_PROGRAM), BST_CHECKED);
        EXPECT_EQ(w.GetCheck(IDC_INSTALL_DIRECTX), BST_UNCHECKED);
        EXPECT_EQ(w.GetCheck(IDC_UNINSTALL), BST_UNCHECKED);
        EXPECT_EQ(w.GetText(IDC_STATUS), kNote);
        EXPECT_EQ(w.focus(), IDOK);
        EXPECT_TRUE(w.hasPicture(IDC_BANNER));
        EXPECT_EQ(w.iconsSet(), 2);
        looked = true;
        w.Click(IDCANCEL);
    }});
    EXPECT_TRUE(looked);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(fs::exists(Settings()));
    EXPECT_FALSE(backend.scriptRanOut);
}

TEST_F(DialogFixture, ClickRulesShowOnScreen) {
    testing::WriteFile(Settings(),
                       "[Installation]\r\nVornaluxInstalled=1\r\nDirectory=C:\\Games\\V\r\n");
    Run({[&](ScriptedWindow& w) {
        EXPECT_EQ(w.GetText(IDC_INSTALL_DIR), "C:\\Games\\V");
        EXPECT_EQ(w.GetCheck(IDC_INSTALL_PROGRAM), BST_UNCHECKED);
        w.Click(IDC_UNINSTALL);
        EXPECT_EQ(w.GetCheck(IDC_UNINSTALL), BST_CHECKED);
        w.Click(IDC_INSTALL_PROGRAM);
        EXPECT_EQ(w.GetCheck(IDC_INSTALL_PROGRAM), BST_CHECKED);
        EXPECT_EQ(w.GetCheck(IDC_UNINSTALL), BST_UNCHECKED);
        w.Click(IDC_INSTALL_DIRECTX);
        EXPECT_EQ(w.GetCheck(IDC_INSTALL_DIRECTX), BST_UNCHECKED);
        EXPECT_EQ(w.GetCheck(IDC_INSTALL_PROGRAM), BST_CHECKED);
        w.Click(IDC_INSTALL_PROGRAM);
        EXPECT_EQ(w.GetCheck(IDC_INSTALL_PROGRAM), BST_UNCHECKED);
        // Nothing selected: confirming only closes.
        w.PressEnter();
    }});
    EXPECT_TRUE(backend.messages.empty());
    EXPECT_EQ(testing::ReadFile(Settings()),
              "[Installation]\r\nVornaluxInstalled=1\r\nDirectory=C:\\Games\\V\r\n");
    EXPECT_FALSE(backend.scriptRanOut);
}

TEST_F(DialogFixture, TooLongDirectoryRunsNothingAndKeepsTheDialogOpen) {
    const std::string picked = "C:\\" + std::string(140, 'd');
    backend.folderChoices = {picked};
    bool stillOpen = false;
    Run({[&](ScriptedWindow& w) { w.Click(IDC_BROWSE); },
         [&](ScriptedWindow& w) {
             EXPECT_EQ(w.GetText(IDC_INSTALL_DIR), picked);
             w.PressEnter();
             stillOpen = !w.ended();
             EXPECT_EQ(w.focus(), IDC_INSTALL_DIR);
         },
         [&](ScriptedWindow& w) { w.PressEscape(); }});
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(backend.messages.size(), 1u);
    EXPECT_EQ(backend.messages[0].text, "The directory can be at most 128 characters long.");
    EXPECT_EQ(backend.messages[0].caption, "Vornalux! 1.2 Install/Unistall");
    // Neither the sound-card question nor any file.
    EXPECT_EQ(backend.opened, std::vector<int>{IDD_INSTALL_DIALOG});
    EXPECT_FALSE(fs::exists(Settings()));
}

TEST_F(DialogFixture, BrowseThenInstallLandsInThePickedFolder) {
    backend.folderChoices = {std::string("C:\\Games\\Picked")};
    AnswerSoundCard({[](ScriptedWindow& w) {
        EXPECT_EQ(w.dialogTemplate().caption, std::string("Do you have a sound card?"));
        w.PressEnter();
    }});
    const INT_PTR result = Run(
        {[](ScriptedWindow& w) { w.Click(IDC_BROWSE); }, [](ScriptedWindow& w) { w.Click(IDOK); }});
    EXPECT_EQ(result, IDOK);
    for (const char* name : {"vornalux.exe", "readme.txt"})
        EXPECT_TRUE(fs::exists(machine.driveC() / "Games" / "Picked" / name)) << name;
    ASSERT_EQ(backend.messages.size(), 1u);
    EXPECT_EQ(backend.messages[0].caption, "Vornalux! installation complete.");
    EXPECT_EQ(backend.messages[0].ownerTemplate, IDD_INSTALL_DIALOG);
    const std::string settings = testing::ReadFile(Settings());
    EXPECT_NE(settings.find("CDMusic=1\r\n"), std::string::npos);
    EXPECT_NE(settings.find("Directory=C:\\Games\\Picked\r\n"), std::string::npos);

    // A cancelled chooser leaves the field alone.
    backend.messages.clear();
    Run({[](ScriptedWindow& w) { w.Click(IDC_BROWSE); },
         [](ScriptedWindow& w) {
             EXPECT_EQ(w.GetText(IDC_INSTALL_DIR), "C:\\Games\\Picked");
             w.Click(IDCANCEL);
         }});
}

TEST_F(DialogFixture, EscapeInTheSoundCardDialogMeansNo) {
    AnswerSoundCard({[](ScriptedWindow& w) { w.PressEscape(); }});
    Run({[](ScriptedWindow& w) {
        w.Type(IDC_INSTALL_DIR, "C:\\Games\\Vornalux");
        w.PressEnter();
    }});
    const std::string settings = testing::ReadFile(Settings());
    EXPECT_EQ(settings.substr(0, settings.find("[ScreenMode]")),
              "[Audio]\r\nMIDIMusic=0\r\nCDMusic=0\r\nSoundFx=0\r\nSoundFxAllowed=0\r\n"
              "Naration=0\r\nSurferSounds=0\r\n");
}

TEST_F(DialogFixture, ForbiddenDirectoryIsRefusedBeforeTheSoundCardQuestion) {
    bool stillOpen = false;
    Run({[&](ScriptedWindow& w) {
             w.Type(IDC_INSTALL_DIR, "C:\\");
             w.PressEnter();
             stillOpen = !w.ended();
         },
         [](ScriptedWindow& w) { w.Click(IDCANCEL); }});
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(backend.messages.size(), 1u);
    EXPECT_EQ(backend.messages[0].text, "\"C:\\\" is the root of a drive.");
    EXPECT_EQ(backend.messages[0].caption, "Installation Error");
    EXPECT_EQ(backend.opened, std::vector<int>{IDD_INSTALL_DIALOG});
    EXPECT_FALSE(fs::exists(Settings()));
}

TEST_F(DialogFixture, LaunchClosesTheDialogAndStartsTheGame) {
    const fs::path marker = machine.root() / "launched";
    testing::WriteFile(machine.distFolder() / "vornalux.exe",
                       "#!/bin/sh\necho started > '" + marker.string() + "'\n");
    fs::permissions(machine.distFolder() / "vornalux.exe", fs::perms::owner_exec,
                    fs::perm_options::add);
    const INT_PTR result = Run({[](ScriptedWindow& w) { w.Click(IDC_LAUNCH); }});
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(testing::WaitForFile(marker));
    EXPECT_TRUE(backend.messages.empty());

    // A game that cannot be started says so.
    fs::remove(machine.distFolder() / "vornalux.exe");
    Run({[](ScriptedWindow& w) { w.Click(IDC_LAUNCH); }});
    ASSERT_EQ(backend.messages.size(), 1u);
    EXPECT_EQ(backend.messages[0].text, "Couldn't start vornalux.exe.");
    EXPECT_EQ(backend.messages[0].caption, "Vornalux! 1.2 Install/Unistall");
}

TEST_F(DialogFixture, UninstallFromTheDialog) {
    AnswerSoundCard({[](ScriptedWindow& w) { w.PressEnter(); }});
    Run({[](ScriptedWindow& w) {
        w.Type(IDC_INSTALL_DIR, "C:\\Games\\Vornalux");
        w.PressEnter();
    }});
    ASSERT_TRUE(testing::WaitForFile(machine.windowsFolder() / "Start Menu" / "Programs" /
                                     "PELTOMARK! Inc" / "Vornalux!.lnk"));
    backend.messages.clear();
    Run({[](ScriptedWindow& w) {
        EXPECT_EQ(w.GetText(IDC_INSTALL_DIR), "C:\\Games\\Vornalux");
        EXPECT_EQ(w.GetCheck(IDC_INSTALL_PROGRAM), BST_UNCHECKED);
        w.Click(IDC_UNINSTALL);
        w.PressEnter();
    }});
    EXPECT_EQ(backend.questions.size(), 1u);
    EXPECT_FALSE(fs::exists(machine.driveC() / "Games" / "Vornalux"));
    EXPECT_FALSE(fs::exists(Settings()));
    ASSERT_EQ(backend.messages.size(), 1u);
    EXPECT_EQ(backend.messages[0].text, "Vornalux! has completed uninstalling.");
}

}  // namespace
}  // namespace vx
