// Real windows through GTK 3: Wayland and X11, the desktop's scale and text
// size, and screen readers through GTK's accessibility bridge. The program's
// first window plugin.
#include <cerrno>
#include <cstdlib>
#include <type_traits>

#include "platform/backends.h"
#include "platform/framework/system_windows.h"
#include "platform/gtk/gtk_dialog_window.h"
#include "platform/gtk/gtk_shell_windows.h"
#include "vx_build_stamp.h"

namespace vx {

namespace {

using gtk::GtkDialogWindow;

// The template's rectangles are small for the theme's roomy buttons and
// fields: the dialogs' controls keep to them.
constexpr const char* kDialogStyle = R"css(
.vx-dialog button { min-height: 0; min-width: 0; padding: 0 4px; }
.vx-dialog entry { min-height: 0; padding: 0 3px; }
.vx-dialog checkbutton { min-height: 0; padding: 0; }
)css";

class GtkBackend final : public SystemWindowsBackend {
public:
    explicit GtkBackend(UINT codePage) : SystemWindowsBackend(codePage) {
        GtkCssProvider* style = gtk_css_provider_new();
        gtk_css_provider_load_from_data(style, kDialogStyle, -1, nullptr);
        gtk_style_context_add_provider_for_screen(gdk_screen_get_default(),
                                                  GTK_STYLE_PROVIDER(style),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        g_object_unref(style);
    }

    std::unique_ptr<DialogWindow> CreateDialogWindow(const DialogTemplate& dialogTemplate,
                                                     CDialog& dialog,
                                                     DialogWindow* owner) override {
        return std::make_unique<GtkDialogWindow>(dialogTemplate, dialog, Owner(owner), codec());
    }

    std::optional<std::string> BrowseForFolder(DialogWindow* owner, SystemServices& sys) override {
        return gtk::ChooseFolder(Owner(owner), sys, codec());
    }

protected:
    int RunButtonBox(DialogWindow* owner, const ButtonBox& box) override {
        return gtk::RunButtonDialog(Owner(owner), box);
    }
    std::unique_ptr<ProgressDisplay> OpenProgress(DialogWindow* owner,
                                                  std::string utf8Text) override {
        return std::make_unique<gtk::ProgressWindow>(Owner(owner), std::move(utf8Text));
    }

private:
    static GtkDialogWindow* Owner(DialogWindow* owner) {
        return dynamic_cast<GtkDialogWindow*>(owner);
    }
};

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

}  // namespace

}  // namespace vx

// The plugin's one export. The stamp is compared before anything else: the
// rest of the interface is only known to match within one build.
extern "C" __attribute__((visibility("default"))) int VxCreateWindowBackend(
    const char* buildStamp, vx::UINT codePage, vx::WindowBackend** backend) {
    static_assert(std::is_same_v<decltype(&VxCreateWindowBackend), vx::WindowPluginEntry>);
    if (!vx::IsCallOfThisBuild(buildStamp, VX_BUILD_STAMP, backend))
        return vx::kWindowPluginOtherBuild;
    if (!vx::IsSet("WAYLAND_DISPLAY") && !vx::IsSet("DISPLAY")) return vx::kWindowPluginNoDisplay;
    // The program's name, as the desktop and screen readers list it.
    if (g_get_prgname() == nullptr) g_set_prgname(program_invocation_short_name);
    if (!gtk_init_check(nullptr, nullptr)) return vx::kWindowPluginNoDisplay;
    *backend = new vx::GtkBackend(codePage);
    return vx::kWindowPluginCreated;
}
