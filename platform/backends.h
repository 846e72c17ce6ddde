// The windowing backends the Linux program can run on.
#pragma once

#include <cstring>
#include <memory>

#include "platform/framework/window_backend.h"

namespace vx {

// Dialogs drawn in the terminal on standard input, for machines without a
// display; nullptr when there is no terminal that can show them. Narrow text
// is in the Windows code page `codePage`.
std::unique_ptr<WindowBackend> CreateTerminalBackend(UINT codePage);

// The real windows are plugins beside the program, so that the program
// itself starts on machines without a display or the libraries they need.
// A plugin exports one C function of this type, named kWindowPluginEntry:
// given the build stamp of the program loading it and the code page of
// narrow text, it opens the display and creates the windows' backend
// (released with delete). The GTK plugin (Wayland or X11) is tried first,
// then the FLTK one (X11).
inline constexpr const char* kGtkWindowPluginName = "install-gtk.so";
inline constexpr const char* kWindowPluginName = "install-windows.so";
inline constexpr const char* kWindowPluginEntry = "VxCreateWindowBackend";
// Forces one interface: "gtk", "fltk" or "text".
inline constexpr const char* kWindowsChoiceVariable = "VORNALUX_WINDOWS";
enum WindowPluginResult : int {
    kWindowPluginCreated = 0,
    kWindowPluginNoDisplay = 1,   // no display could be opened
    kWindowPluginOtherBuild = 2,  // the plugin belongs to another build of the program
};
using WindowPluginEntry = int (*)(const char* buildStamp, UINT codePage, WindowBackend** backend);

// The entry's first check, made before anything else: the rest of the
// interface is only known to match within one build. False when the call
// comes from another build (kWindowPluginOtherBuild); *backend is cleared
// where there is one.
inline bool IsCallOfThisBuild(const char* buildStamp, const char* ownStamp,
                              WindowBackend** backend) {
    if (backend == nullptr) return false;
    *backend = nullptr;
    return buildStamp != nullptr && std::strcmp(buildStamp, ownStamp) == 0;
}

}  // namespace vx
