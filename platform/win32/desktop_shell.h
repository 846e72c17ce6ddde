// Starting a program as the user signed in to the desktop: the setup program
// runs with administrator rights, which a game started directly would inherit.
#pragma once

#include <string>

namespace vx::win32 {

// Hands `program` (a full path) to the desktop's own shell, Explorer's
// IShellDispatch2::ShellExecute, which starts it with Explorer's rights in
// `directory`. False where there is no desktop shell or it refuses.
bool ShellExecuteFromDesktop(const std::string& program, const std::string& parameters,
                             const std::string& directory, int showCommand);

}  // namespace vx::win32
