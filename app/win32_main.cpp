// The Windows program's entry: the real system and the real dialog manager,
// then the framework's entry.

#include "app/install_app.h"
#include "platform/win32/win32_system_services.h"
#include "platform/win32/win32_window_backend.h"
#include "ui/dialog_templates.h"

// After the project's headers: <windows.h> defines several of their names as macros.
// clang-format off
#include <windows.h>
// clang-format on

namespace {

vx::CInstallApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    vx::win32::Win32SystemServices sys;
    const std::unique_ptr<vx::WindowBackend> backend = vx::win32::CreateWin32Backend();
    vx::AfxSetResources({&vx::FindDialogTemplate, &vx::win32::LoadModuleImage});
    vx::AfxSetPlatform(backend.get(), &sys);
    return vx::AfxWinMain();
}
