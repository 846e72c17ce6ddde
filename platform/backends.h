// The windowing backends the Linux program can run on.
#pragma once

#include <memory>

#include "platform/framework/window_backend.h"

namespace vx {

// Real windows through FLTK; nullptr when no display can be opened.
std::unique_ptr<WindowBackend> CreateFltkBackend();
// Dialogs drawn in the terminal on standard input, for machines without a
// display; nullptr when there is no terminal that can show them.
std::unique_ptr<WindowBackend> CreateTerminalBackend();

}  // namespace vx
