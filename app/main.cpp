// The Linux program's entry: the best windowing backend this session
// offers, the Windows machine stand-in, then the framework's entry.
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "app/install_app.h"
#include "platform/backends.h"
#include "platform/posix/posix_system_services.h"
#include "ui/resources.h"

namespace {

vx::CInstallApp theApp;

}  // namespace

int main() {
    // A write past a file-size limit, or into a closed pipe, then fails like
    // a full disk and is reported, instead of ending the program silently.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    std::unique_ptr<vx::WindowBackend> backend = vx::CreateFltkBackend();
    if (!backend) {
        // Decided before the machine is touched: without a way to ask the
        // user, nothing may be done.
        if (!isatty(STDIN_FILENO)) {
            std::fputs(
                "No display could be opened and standard input is not a terminal; "
                "nothing was done.\n",
                stderr);
            return 1;
        }
        std::fputs("No display could be opened; using the text interface.\n", stderr);
        backend = vx::CreateTerminalBackend();
        if (!backend) {
            std::fputs(
                "This terminal cannot show the text interface (check TERM); "
                "nothing was done.\n",
                stderr);
            return 1;
        }
    }
    vx::posix::PosixSystemServices sys;
    vx::AfxSetResources(vx::ProgramResources());
    vx::AfxSetPlatform(backend.get(), &sys);
    return vx::AfxWinMain();
}
