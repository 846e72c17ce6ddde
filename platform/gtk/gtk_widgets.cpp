#include "platform/gtk/gtk_widgets.h"

#include <algorithm>

// Xlib's macros (None, Status, ...) clash with names above: it comes last.
#include <gdk/gdkx.h>

namespace vx::gtk {

std::string MnemonicText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        const bool marks = c == '&' && i + 1 < utf8.size();
        if (marks && utf8[i + 1] == '&') {
            out += '&';  // "&&" is a literal ampersand
            ++i;
        } else if (marks) {
            out += '_';
        } else if (c == '_') {
            out += "__";
        } else {
            out += c;
        }
    }
    return out;
}

std::string PlainText(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '&' && i + 1 < utf8.size()) ++i;
        out += utf8[i];
    }
    return out;
}

GdkPixbuf* PixbufOf(const Picture& picture) {
    if (!picture.HasPixels()) return nullptr;
    GdkPixbuf* view = gdk_pixbuf_new_from_data(reinterpret_cast<const guchar*>(picture.rgb.data()),
                                               GDK_COLORSPACE_RGB, FALSE, 8, picture.width,
                                               picture.height, picture.width * 3, nullptr, nullptr);
    GdkPixbuf* copy = gdk_pixbuf_copy(view);
    g_object_unref(view);
    return copy;
}

cairo_surface_t* ScaledSurface(const Picture& picture, int width, int height, GtkWidget* widget) {
    GdkPixbuf* pixbuf = PixbufOf(picture);
    if (pixbuf == nullptr) return nullptr;
    const int scale = std::max(1, gtk_widget_get_scale_factor(widget));
    GdkPixbuf* scaled = pixbuf;
    if (width * scale != picture.width || height * scale != picture.height) {
        scaled =
            gdk_pixbuf_scale_simple(pixbuf, width * scale, height * scale, GDK_INTERP_BILINEAR);
        g_object_unref(pixbuf);
    }
    cairo_surface_t* surface =
        gdk_cairo_surface_create_from_pixbuf(scaled, scale, gtk_widget_get_window(widget));
    g_object_unref(scaled);
    return surface;
}

void FocusWhenMapped(GtkWidget* window) {
    // Wayland compositors focus every new window themselves.
    if (!GDK_IS_X11_DISPLAY(gtk_widget_get_display(window))) return;
    g_signal_connect(window, "map-event", G_CALLBACK(+[](GtkWidget* w, GdkEvent*, gpointer) {
                         gtk_window_present(GTK_WINDOW(w));
                         return FALSE;
                     }),
                     nullptr);
}

}  // namespace vx::gtk
