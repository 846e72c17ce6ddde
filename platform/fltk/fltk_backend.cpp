// Real windows through FLTK, behaving like the Windows dialog manager: the
// program's window plugin.
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "platform/backends.h"
#include "platform/fltk/fltk_dialog_window.h"
#include "platform/fltk/fltk_shell_windows.h"
#include "platform/framework/system_windows.h"
#include "vx_build_stamp.h"

// Xlib's macros (None, Status, ...) clash with names above: it comes last.
#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xlib.h>
#include <X11/Xresource.h>

namespace vx {

namespace {

using fltk::FltkDialogWindow;

// The desktop's scale: the Xft.dpi resource over 96, 1.0 when it is not set
// or not a sensible number. The resources came with the connection: reading
// them asks the server nothing.
double DesktopScale(Display* display) {
    const char* resources = XResourceManagerString(display);
    if (resources == nullptr) return 1.0;
    XrmInitialize();
    XrmDatabase database = XrmGetStringDatabase(resources);
    if (database == nullptr) return 1.0;
    char* type = nullptr;
    XrmValue value{};
    double dpi = 0;
    if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr != nullptr) {
        const char* text = value.addr;
        const char* end = text + strnlen(text, value.size);
        // from_chars reads a number the same way whatever the locale.
        if (std::from_chars(text, end, dpi).ec != std::errc()) dpi = 0;
    }
    XrmDestroyDatabase(database);
    const double scale = dpi / 96.0;
    return scale >= 0.5 && scale <= 8.0 ? scale : 1.0;
}

class FltkBackend final : public SystemWindowsBackend {
public:
    FltkBackend(UINT codePage, double scale) : SystemWindowsBackend(codePage) {
        fltk::SetScale(scale);
        Fl::scrollbar_size(fltk::Scaled(Fl::scrollbar_size()));
        Fl::scheme("base");
        Fl::background(192, 192, 192);
        Fl::visible_focus(1);
        fltk::RegisterDialogFont();
        fltk::InstallKeyboardDispatch();
    }
    ~FltkBackend() override { Fl::event_dispatch(nullptr); }

    std::unique_ptr<DialogWindow> CreateDialogWindow(const DialogTemplate& dialogTemplate,
                                                     CDialog& dialog,
                                                     DialogWindow* owner) override {
        return std::make_unique<FltkDialogWindow>(dialogTemplate, dialog, Owner(owner), codec());
    }

    std::optional<std::string> BrowseForFolder(DialogWindow* owner, SystemServices& sys) override {
        return fltk::ChooseFolder(OwnerWindow(owner), sys, codec());
    }

protected:
    int RunButtonBox(DialogWindow* owner, const ButtonBox& box) override {
        return fltk::RunButtonWindow(OwnerWindow(owner), box, true);
    }
    std::unique_ptr<ProgressDisplay> OpenProgress(DialogWindow* owner,
                                                  std::string utf8Text) override {
        return std::make_unique<fltk::ProgressWindow>(OwnerWindow(owner), std::move(utf8Text));
    }

private:
    static FltkDialogWindow* Owner(DialogWindow* owner) {
        return dynamic_cast<FltkDialogWindow*>(owner);
    }
    static fltk::DialogFlWindow* OwnerWindow(DialogWindow* owner) {
        FltkDialogWindow* window = Owner(owner);
        return window ? window->flWindow() : nullptr;
    }
};

}  // namespace

}  // namespace vx

// The plugin's one export. The stamp is compared before anything else: the
// rest of the interface is only known to match within one build.
extern "C" __attribute__((visibility("default"))) int VxCreateWindowBackend(
    const char* buildStamp, vx::UINT codePage, vx::WindowBackend** backend) {
    static_assert(std::is_same_v<decltype(&VxCreateWindowBackend), vx::WindowPluginEntry>);
    if (!vx::IsCallOfThisBuild(buildStamp, VX_BUILD_STAMP, backend))
        return vx::kWindowPluginOtherBuild;
    // FLTK ends the process when it cannot open its display: try first.
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0') return vx::kWindowPluginNoDisplay;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return vx::kWindowPluginNoDisplay;
    fl_open_display(display);
    // Read once FLTK has opened the display: its input method has loaded the
    // Xlib locale tables the resource parser needs as well, so the reading
    // costs microseconds.
    const double scale = vx::DesktopScale(display);
    *backend = new vx::FltkBackend(codePage, scale);
    return vx::kWindowPluginCreated;
}
