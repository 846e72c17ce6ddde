#include "setup/setup_selection.h"

namespace vx {

void SetupSelection::InitFromSettings(const SettingsFile& settings) {
    m_strInstallDir = settings.ReadDirectory();
    m_bInstalled = settings.IsInstalled() ? TRUE : FALSE;
    m_bInstall = m_bInstalled ? FALSE : TRUE;
    m_bUninstall = FALSE;
}

void SetupSelection::ShowStartingSelection(DialogServices& dlg) const {
    if (m_bInstall) dlg.CheckDlgButton(IDC_INSTALL_PROGRAM, BST_CHECKED);
}

void SetupSelection::OnClickInstallDirectX(DialogServices& dlg) {
    // This version ships without DirectX; the box never keeps a mark.
    dlg.CheckDlgButton(IDC_INSTALL_DIRECTX, BST_UNCHECKED);
}

void SetupSelection::OnClickInstallProgram(DialogServices& dlg) {
    m_bInstall = m_bInstall ? FALSE : TRUE;
    if (!m_bInstall) {
        dlg.CheckDlgButton(IDC_INSTALL_PROGRAM, BST_UNCHECKED);
        return;
    }
    if (m_bUninstall) {
        dlg.CheckDlgButton(IDC_UNINSTALL, BST_UNCHECKED);
        m_bUninstall = FALSE;
    }
    dlg.CheckDlgButton(IDC_INSTALL_PROGRAM, BST_CHECKED);
}

void SetupSelection::OnClickUninstall(DialogServices& dlg) {
    if (!m_bInstalled) return;
    m_bUninstall = m_bUninstall ? FALSE : TRUE;
    if (!m_bUninstall) {
        dlg.CheckDlgButton(IDC_UNINSTALL, BST_UNCHECKED);
        return;
    }
    if (m_bInstall) {
        dlg.CheckDlgButton(IDC_INSTALL_PROGRAM, BST_UNCHECKED);
        m_bInstall = FALSE;
    }
    dlg.CheckDlgButton(IDC_UNINSTALL, BST_CHECKED);
}

}  // namespace vx
