#include "ui/dialog_templates.h"

#include "setup/setup_selection.h"
#include "ui/resource.h"

namespace vx {

namespace {

constexpr DWORD kChild = WS_VISIBLE;
constexpr DWORD kTab = kChild | WS_TABSTOP;

constexpr ControlTemplate kInstallControls[] = {
    {IDOK, ControlKind::DefPushButton, "Install", 82, 159, 50, 12, kTab | BS_DEFPUSHBUTTON},
    {IDCANCEL, ControlKind::PushButton, "Cancel", 136, 159, 50, 12, kTab | BS_PUSHBUTTON},
    {IDC_INSTALL_DIRECTX, ControlKind::CheckBox, "Install DirectX3 drivers", 7, 7, 179, 11,
     kTab | BS_CHECKBOX},
    {IDC_INSTALL_PROGRAM, ControlKind::CheckBox, "Install Vornalux! 1.2 to:", 7, 19, 87, 11,
     kTab | BS_CHECKBOX},
    {IDC_INSTALL_DIR, ControlKind::Edit, "", 95, 18, 91, 12, kTab | WS_BORDER | ES_AUTOHSCROLL},
    {IDC_UNINSTALL, ControlKind::CheckBox, "UnInstall Vornalux! 1.2", 7, 31, 101, 11,
     kTab | BS_CHECKBOX},
    {-1, ControlKind::StaticCenter,
     "Vornalux! 1.2 (c) PELTOMARK! Inc.\nShareware: share it freely.", 7, 116, 179, 17,
     kChild | SS_CENTER},
    {IDC_BROWSE, ControlKind::PushButton, "Browse...", 144, 33, 42, 13, kTab | BS_PUSHBUTTON},
    {IDC_BANNER, ControlKind::Bitmap, "", 13, 49, 15, 13, kChild | SS_BITMAP},
    {IDC_STATUS, ControlKind::StaticLeft,
     "Note: The shareware version does not come with Direct X3.  If you don't have it, get it "
     "from Microsoft's web page.",
     7, 138, 179, 16, kChild},
    {IDC_LAUNCH, ControlKind::PushButton, "Launch Vornalux!", 7, 159, 70, 12, kTab | BS_PUSHBUTTON},
};

constexpr ControlTemplate kSoundCardControls[] = {
    {IDOK, ControlKind::DefPushButton, "Yes!", 74, 33, 50, 14, kTab | BS_DEFPUSHBUTTON},
    {IDCANCEL, ControlKind::PushButton, "No!", 129, 33, 50, 14, kTab | BS_PUSHBUTTON},
    {-1, ControlKind::StaticLeft, "Do you have a soundcard installed under Windows 95?", 7, 7, 172,
     21, kChild},
};

const DialogTemplate kInstallDialog{
    IDD_INSTALL_DIALOG,
    "Vornalux! 1.2 Install/Unistall",
    194,
    178,
    "MS Sans Serif",
    8,
    WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK | DS_SETFONT,
    WS_EX_APPWINDOW,
    kInstallControls};

const DialogTemplate kSoundCardDialog{IDD_SOUNDCARD,
                                      "Do you have a sound card?",
                                      186,
                                      54,
                                      "MS Sans Serif",
                                      8,
                                      WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT,
                                      0,
                                      kSoundCardControls};

}  // namespace

const DialogTemplate& InstallDialogTemplate() { return kInstallDialog; }
const DialogTemplate& SoundCardDialogTemplate() { return kSoundCardDialog; }

const DialogTemplate* FindDialogTemplate(int id) {
    if (id == IDD_INSTALL_DIALOG) return &kInstallDialog;
    if (id == IDD_SOUNDCARD) return &kSoundCardDialog;
    return nullptr;
}

}  // namespace vx
