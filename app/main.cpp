// The Linux program's entry: the Windows machine stand-in, the best windowing
// backend this session offers, then the framework's entry.
#include <cstdio>

#include "app/install_app.h"
#include "platform/backends.h"
#include "platform/posix/posix_system_services.h"
#include "ui/resources.h"

namespace {

vx::CInstallApp theApp;

}  // namespace

int main() {
    vx::posix::PosixSystemServices sys;
    std::unique_ptr<vx::WindowBackend> backend = vx::CreateFltkBackend();
    if (!backend) {
        std::fprintf(stderr, "install: no display could be opened; showing the dialogs as text.\n");
        backend = vx::CreateTerminalBackend();
    }
    vx::AfxSetResources(vx::ProgramResources());
    vx::AfxSetPlatform(backend.get(), &sys);
    return vx::AfxWinMain();
}
