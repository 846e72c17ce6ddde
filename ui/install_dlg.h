// The setup program's main window: choose install or uninstall, edit or
// browse the directory, start the game, or leave.
#pragma once

#include "platform/framework/afx.h"
#include "setup/path_buffer.h"
#include "setup/setup_selection.h"
#include "ui/main_dialog_services.h"

namespace vx {

class CInstallDlg : public CDialog, public SetupSelection {
public:
    explicit CInstallDlg(CDialog* parent = nullptr);

    // Set until the dialog has been painted while not minimised.
    static BOOL s_bFirstPaint;

    PathBuffer m_szTargetDir;
    PathBuffer m_szSourceDir;
    HICON m_hIcon;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    void OnPaint();
    HICON OnQueryDragIcon();
    void OnClickInstallDirectX();
    void OnClickInstallProgram();
    void OnClickUninstall();
    void OnBrowse();
    void OnLaunch();

    DECLARE_MESSAGE_MAP()

private:
    MainDialogServices services_;
};

}  // namespace vx
