// What the user has chosen in the main dialog, and the click rules of its
// three plain check boxes.
#pragma once

#include <string>

#include "platform/dialog_services.h"
#include "setup/settings_file.h"

namespace vx {

// Control identifiers of the main dialog.
inline constexpr int IDC_INSTALL_DIRECTX = 1000;
inline constexpr int IDC_INSTALL_PROGRAM = 1002;
inline constexpr int IDC_INSTALL_DIR = 1003;
inline constexpr int IDC_UNINSTALL = 1004;
inline constexpr int IDC_BROWSE = 1006;
inline constexpr int IDC_BANNER = 1010;
inline constexpr int IDC_STATUS = 1013;
inline constexpr int IDC_LAUNCH = 1015;

// The longest directory text the field takes.
inline constexpr int kInstallDirMaxChars = 128;

struct SetupSelection {
    BOOL m_bInstall = FALSE;
    BOOL m_bUninstall = FALSE;
    BOOL m_bInstalled = FALSE;
    std::string m_strInstallDir;

    // The starting state: the stored directory, and install preselected
    // unless the game counts as installed.
    void InitFromSettings(const SettingsFile& settings);

    // Shows the starting selection (box 1002 checked when install is selected).
    void ShowStartingSelection(DialogServices& dlg) const;

    void OnClickInstallDirectX(DialogServices& dlg);
    void OnClickInstallProgram(DialogServices& dlg);
    void OnClickUninstall(DialogServices& dlg);

private:
    // A check box and the choice it shows.
    struct Box {
        BOOL& value;
        int id;
    };
    // Flips the clicked box; once it is set, the other is cleared: install
    // and uninstall are never chosen together.
    static void ToggleExclusive(DialogServices& dlg, Box clicked, Box other);
    static void Check(DialogServices& dlg, int id, UINT check);
};

}  // namespace vx
