// The GTK pieces the dialogs and the system's windows share: texts with
// mnemonics, pictures at the desktop's scale, and the keyboard for new windows.
#pragma once

#include <string>
#include <string_view>

#include "platform/framework/window_backend.h"
// GLib's TRUE and FALSE macros come after the framework's constants of those names.
#include <gtk/gtk.h>

namespace vx::gtk {

// A template text as a GTK label: '&' marks the mnemonic ('_' for GTK), so
// the accessible name is the text without it.
std::string MnemonicText(std::string_view utf8);

// The accessible name of a text: what it shows, the mnemonic mark left out.
std::string PlainText(std::string_view utf8);

// The picture's pixels as a pixbuf of its own; nullptr when they do not
// match its size.
GdkPixbuf* PixbufOf(const Picture& picture);

// A picture as a surface of `width` x `height` logical pixels, scaled smoothly
// to the device pixels of `widget`'s scale factor. nullptr when the picture's
// pixels do not match its size.
cairo_surface_t* ScaledSurface(const Picture& picture, int width, int height, GtkWidget* widget);

// Hands `window` the keyboard each time it is mapped, as a window manager
// does for a new window (and none does on a bare X server).
void FocusWhenMapped(GtkWidget* window);

}  // namespace vx::gtk
