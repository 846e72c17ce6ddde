#include "setup/setup_selection.h"

#include <gtest/gtest.h>

#include "platform/scripted/scripted_dialog_services.h"
#include "tests/support/temp_machine.h"

namespace vx {
namespace {

struct SelectionFixture : ::testing::Test {
    testing::TempMachine machine;
    ScriptedDialogServices dlg{machine.sys()};

    SetupSelection Start(bool installed) {
        SetupSelection selection;
        selection.m_bInstalled = installed;
        selection.m_bInstall = !installed;
        return selection;
    }
    UINT Mark(int id) { return dlg.checkState.count(id) ? dlg.checkState[id] : BST_UNCHECKED; }
};

TEST_F(SelectionFixture, StartsFromTheSettingsFile) {
    SetupSelection fresh;
    fresh.InitFromSettings(SettingsFile(machine.sys()));
    EXPECT_EQ(fresh.m_strInstallDir, "c:\\vornalux\\");
    EXPECT_TRUE(fresh.m_bInstall);
    EXPECT_FALSE(fresh.m_bUninstall);
    EXPECT_FALSE(fresh.m_bInstalled);
    fresh.ShowStartingSelection(dlg);
    EXPECT_EQ(Mark(IDC_INSTALL_PROGRAM), BST_CHECKED);

    testing::WriteFile(machine.windowsFolder() / "vornalux.ini",
                       "[Installation]\r\nDirectory=D:\\Games\\V\r\nVornaluxInstalled=1\r\n");
    SetupSelection installed;
    installed.InitFromSettings(SettingsFile(machine.sys()));
    EXPECT_EQ(installed.m_strInstallDir, "D:\\Games\\V");
    EXPECT_FALSE(installed.m_bInstall);
    EXPECT_FALSE(installed.m_bUninstall);
    EXPECT_TRUE(installed.m_bInstalled);
    dlg.checks.clear();
    installed.ShowStartingSelection(dlg);
    EXPECT_TRUE(dlg.checks.empty());
}

TEST_F(SelectionFixture, UninstallIsIgnoredWhileNotInstalled) {
    SetupSelection selection = Start(false);
    for (int i = 0; i < 3; ++i) selection.OnClickUninstall(dlg);
    EXPECT_FALSE(selection.m_bUninstall);
    EXPECT_TRUE(selection.m_bInstall);
    EXPECT_TRUE(dlg.checks.empty());
}

TEST_F(SelectionFixture, InstallAndUninstallExcludeEachOther) {
    SetupSelection selection = Start(true);
    selection.OnClickUninstall(dlg);
    EXPECT_TRUE(selection.m_bUninstall);
    EXPECT_EQ(Mark(IDC_UNINSTALL), BST_CHECKED);

    selection.OnClickInstallProgram(dlg);
    EXPECT_TRUE(selection.m_bInstall);
    EXPECT_FALSE(selection.m_bUninstall);
    EXPECT_EQ(Mark(IDC_UNINSTALL), BST_UNCHECKED);
    EXPECT_EQ(Mark(IDC_INSTALL_PROGRAM), BST_CHECKED);

    selection.OnClickUninstall(dlg);
    EXPECT_FALSE(selection.m_bInstall);
    EXPECT_TRUE(selection.m_bUninstall);
    EXPECT_EQ(Mark(IDC_INSTALL_PROGRAM), BST_UNCHECKED);
    EXPECT_EQ(Mark(IDC_UNINSTALL), BST_CHECKED);
    EXPECT_FALSE(selection.m_bInstall && selection.m_bUninstall);
}

TEST_F(SelectionFixture, ClickingTheCheckedBoxClearsTheSelection) {
    SetupSelection selection = Start(false);
    selection.OnClickInstallProgram(dlg);
    EXPECT_FALSE(selection.m_bInstall);
    EXPECT_FALSE(selection.m_bUninstall);
    EXPECT_EQ(Mark(IDC_INSTALL_PROGRAM), BST_UNCHECKED);

    SetupSelection installed = Start(true);
    installed.OnClickUninstall(dlg);
    installed.OnClickUninstall(dlg);
    EXPECT_FALSE(installed.m_bUninstall);
    EXPECT_EQ(Mark(IDC_UNINSTALL), BST_UNCHECKED);
}

TEST_F(SelectionFixture, DirectXBoxNeverKeepsItsMark) {
    for (bool installed : {false, true}) {
        SCOPED_TRACE(installed);
        SetupSelection selection = Start(installed);
        const SetupSelection before = selection;
        dlg.checks.clear();
        selection.OnClickInstallDirectX(dlg);
        ASSERT_EQ(dlg.checks.size(), 1u);
        EXPECT_EQ(dlg.checks[0].id, IDC_INSTALL_DIRECTX);
        EXPECT_EQ(dlg.checks[0].state, BST_UNCHECKED);
        EXPECT_EQ(selection.m_bInstall, before.m_bInstall);
        EXPECT_EQ(selection.m_bUninstall, before.m_bUninstall);
    }
}

}  // namespace
}  // namespace vx
