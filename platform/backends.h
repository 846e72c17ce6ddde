// The windowing backends the Linux program can run on.
#pragma once

#include <memory>

#include "platform/framework/window_backend.h"

namespace vx {

// Real windows through FLTK; nullptr when no display can be opened.
std::unique_ptr<WindowBackend> CreateFltkBackend();
// Dialogs drawn as text in the terminal, for machines without a display.
std::unique_ptr<WindowBackend> CreateTerminalBackend();

}  // namespace vx
