#include "setup/setup_selection.h"

namespace vx {

void SetupSelection::InitFromSettings(const SettingsFile& settings) {
    m_strInstallDir = settings.ReadDirectory();
    m_bInstalled = settings.IsInstalled() ? TRUE : FALSE;
    m_bInstall = m_bInstalled ? FALSE : TRUE;
    m_bUninstall = FALSE;
}

void SetupSelection::ShowStartingSelection(DialogServices& dlg) const {
    if (m_bInstall) Check(dlg, IDC_INSTALL_PROGRAM, BST_CHECKED);
}

void SetupSelection::OnClickInstallDirectX(DialogServices& dlg) {
    // This version ships without DirectX; the box never keeps a mark.
    Check(dlg, IDC_INSTALL_DIRECTX, BST_UNCHECKED);
}

void SetupSelection::OnClickInstallProgram(DialogServices& dlg) {
    ToggleExclusive(dlg, {m_bInstall, IDC_INSTALL_PROGRAM}, {m_bUninstall, IDC_UNINSTALL});
}

void SetupSelection::OnClickUninstall(DialogServices& dlg) {
    if (!m_bInstalled) return;
    ToggleExclusive(dlg, {m_bUninstall, IDC_UNINSTALL}, {m_bInstall, IDC_INSTALL_PROGRAM});
}

void SetupSelection::ToggleExclusive(DialogServices& dlg, Box clicked, Box other) {
    clicked.value = clicked.value ? FALSE : TRUE;
    if (!clicked.value) {
        Check(dlg, clicked.id, BST_UNCHECKED);
        return;
    }
    if (other.value) {
        Check(dlg, other.id, BST_UNCHECKED);
        other.value = FALSE;
    }
    Check(dlg, clicked.id, BST_CHECKED);
}

void SetupSelection::Check(DialogServices& dlg, int id, UINT check) {
    // The mark only mirrors the selection kept here; a mark that fails to show changes nothing.
    (void)dlg.CheckDlgButton(id, check);
}

}  // namespace vx
