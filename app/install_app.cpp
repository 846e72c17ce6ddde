#include "app/install_app.h"

#include "ui/install_dlg.h"

namespace vx {

BEGIN_MESSAGE_MAP(CInstallApp, CWinApp)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

BOOL CInstallApp::InitInstance() {
    Enable3dControls();
    CInstallDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    // The dialog was the whole program: end without a message loop.
    return FALSE;
}

}  // namespace vx
