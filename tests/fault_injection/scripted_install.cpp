// One install through the procedures and the scripted person at the keyboard,
// in a process of its own, so that a test can kill it anywhere:
//   scripted_install <machine folder> <setup program path> <target directory>
// Prints the caption of each message the install shows.
#include <cstdio>

#include "platform/posix/posix_system_services.h"
#include "platform/scripted/scripted_dialog_services.h"
#include "setup/paths.h"
#include "setup/procedures.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: scripted_install <machine> <program> <target>\n", stderr);
        return 2;
    }
    vx::posix::PosixSystemServices sys({argv[1], argv[2], vx::posix::CodePage::Windows1252});
    vx::ScriptedDialogServices dlg(sys);
    vx::PathBuffer source, target;
    vx::TakeSourceDirectory(sys, source);
    if (!target.Assign(argv[3])) return 2;
    const std::optional<vx::CheckedDirectory> checked =
        vx::ConfirmSetupDirectory(sys, dlg, target, vx::SetupAction::Install, source);
    const bool installed = checked && vx::RunInstall(sys, dlg, *checked);
    for (const auto& message : dlg.messages) std::printf("%s\n", message.caption.c_str());
    return installed ? 0 : 1;
}
