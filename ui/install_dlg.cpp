#include "ui/install_dlg.h"

#include "setup/directory_rules.h"
#include "setup/paths.h"
#include "setup/procedures.h"
#include "ui/resource.h"

namespace vx {

BOOL CInstallDlg::s_bFirstPaint = TRUE;

BEGIN_MESSAGE_MAP(CInstallDlg, CDialog)
ON_WM_PAINT(CInstallDlg)
ON_WM_QUERYDRAGICON(CInstallDlg)
ON_BN_CLICKED(IDC_INSTALL_DIRECTX, &CInstallDlg::OnClickInstallDirectX)
ON_BN_CLICKED(IDC_INSTALL_PROGRAM, &CInstallDlg::OnClickInstallProgram)
ON_BN_CLICKED(IDC_UNINSTALL, &CInstallDlg::OnClickUninstall)
ON_BN_CLICKED(IDC_BROWSE, &CInstallDlg::OnBrowse)
ON_BN_CLICKED(IDC_LAUNCH, &CInstallDlg::OnLaunch)
END_MESSAGE_MAP()

CInstallDlg::CInstallDlg(CDialog* parent) : CDialog(IDD_INSTALL_DIALOG, parent), services_(*this) {
    InitFromSettings(SettingsFile(AfxGetSystem()));
    m_hIcon = AfxGetApp() ? AfxGetApp()->LoadIcon(IDR_MAINFRAME) : LoadImageA(IDR_MAINFRAME);
}

void CInstallDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_INSTALL_DIR, m_strInstallDir);
    DDV_MaxChars(pDX, m_strInstallDir, kInstallDirMaxChars);
}

BOOL CInstallDlg::OnInitDialog() {
    // The base's answer is about the focus; this dialog gives its own.
    (void)CDialog::OnInitDialog();
    SendIcon(m_hIcon, TRUE);
    SendIcon(m_hIcon, FALSE);
    return TRUE;
}

void CInstallDlg::OnPaint() {
    if (window() && window()->IsIconic()) {
        if (m_hIcon) window()->DrawIcon(*m_hIcon);
        return;
    }
    if (s_bFirstPaint) {
        ShowStartingSelection(services_);
        if (const Picture* banner = LoadImageA(IDB_BANNER); banner && window())
            window()->SetPicture(IDC_BANNER, *banner);
        s_bFirstPaint = FALSE;
    }
    Default();
}

HICON CInstallDlg::OnQueryDragIcon() { return m_hIcon; }

void CInstallDlg::OnClickInstallDirectX() { SetupSelection::OnClickInstallDirectX(services_); }
void CInstallDlg::OnClickInstallProgram() { SetupSelection::OnClickInstallProgram(services_); }
void CInstallDlg::OnClickUninstall() { SetupSelection::OnClickUninstall(services_); }

void CInstallDlg::OnBrowse() {
    const std::optional<std::string> folder =
        AfxGetBackend().BrowseForFolder(window(), AfxGetSystem());
    // A cancelled chooser, or a path that cannot be fetched, leaves the field as it was.
    if (!folder || folder->empty() || folder->size() >= MAX_PATH) return;
    SetDlgItemText(IDC_INSTALL_DIR, folder->c_str());
}

void CInstallDlg::OnLaunch() {
    OnCancel();
    // WinExec's results up to 31 are errors; an OK box has one answer.
    if (AfxGetSystem().WinExec("vornalux.exe", SW_SHOWDEFAULT) <= 31)
        (void)MessageBox("Couldn't start vornalux.exe.", caption(), MB_OK);
}

void CInstallDlg::OnOK() {
    // The closing data exchange's length check, before anything runs, so
    // that a too-long directory never installs or uninstalls anything.
    if (!UpdateData(TRUE)) return;
    SystemServices& sys = AfxGetSystem();
    TakeSourceDirectory(sys, m_szSourceDir);
    TakeTargetDirectory(services_, m_szTargetDir);
    if (m_bInstall || m_bUninstall) {
        // Checked once; the procedures act on what was checked.
        const SetupAction action = m_bInstall ? SetupAction::Install : SetupAction::Uninstall;
        const std::optional<CheckedDirectory> checked =
            ConfirmSetupDirectory(sys, services_, m_szTargetDir, action, m_szSourceDir);
        if (!checked) return;
        if (m_bInstall && !RunInstall(sys, services_, *checked)) return;
        if (m_bUninstall) RunUninstall(sys, services_, *checked);
    }
    CDialog::OnOK();
}

}  // namespace vx
