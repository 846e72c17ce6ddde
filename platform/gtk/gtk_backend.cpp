// Real windows through GTK 3: Wayland and X11, the desktop's scale and text
// size, and screen readers through GTK's accessibility bridge. The program's
// first window plugin.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <span>
#include <type_traits>

#include "platform/backends.h"
#include "platform/text/text_codec.h"
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

class GtkBackend final : public WindowBackend {
public:
    explicit GtkBackend(UINT codePage) : codec_(codePage) {
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
        return std::make_unique<GtkDialogWindow>(dialogTemplate, dialog, Owner(owner), codec_);
    }

    int MessageBox(DialogWindow* owner, std::string_view text, std::string_view caption,
                   UINT type) override {
        // OK boxes and Yes/No questions, with no icon; Escape answers No to a question.
        static constexpr gtk::ButtonChoice kOk[] = {{"OK", IDOK}};
        static constexpr gtk::ButtonChoice kYesNo[] = {{"&Yes", IDYES}, {"&No", IDNO}};
        const bool yesNo = IsYesNoBox(type);
        return gtk::RunButtonDialog(Owner(owner), codec_.ToUtf8(text), codec_.ToUtf8(caption),
                                    yesNo ? std::span<const gtk::ButtonChoice>(kYesNo)
                                          : std::span<const gtk::ButtonChoice>(kOk),
                                    DefaultResultOf(type), yesNo ? IDNO : IDOK);
    }

    bool AskConfirmation(DialogWindow* owner, std::string_view text,
                         std::string_view caption) override {
        static constexpr gtk::ButtonChoice kYesNo[] = {{"&Yes", IDYES}, {"&No", IDNO}};
        return gtk::RunButtonDialog(Owner(owner), codec_.ToUtf8(text), codec_.ToUtf8(caption),
                                    kYesNo, IDYES, IDNO) == IDYES;
    }

    void BeginProgress(DialogWindow* owner, std::string_view text) override {
        progress_.reset();
        progress_ = std::make_unique<gtk::ProgressWindow>(Owner(owner), codec_.ToUtf8(text));
    }
    void UpdateProgress(std::uint64_t done, std::uint64_t total) override {
        if (progress_) progress_->Update(done, total);
    }
    void EndProgress() override { progress_.reset(); }

    std::optional<std::string> BrowseForFolder(DialogWindow* owner, SystemServices& sys) override {
        return gtk::ChooseFolder(Owner(owner), sys, codec_);
    }

private:
    static GtkDialogWindow* Owner(DialogWindow* owner) {
        return dynamic_cast<GtkDialogWindow*>(owner);
    }

    TextCodec codec_;
    std::unique_ptr<gtk::ProgressWindow> progress_;
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
    if (backend == nullptr) return vx::kWindowPluginOtherBuild;
    *backend = nullptr;
    if (buildStamp == nullptr || std::strcmp(buildStamp, VX_BUILD_STAMP) != 0)
        return vx::kWindowPluginOtherBuild;
    if (!vx::IsSet("WAYLAND_DISPLAY") && !vx::IsSet("DISPLAY")) return vx::kWindowPluginNoDisplay;
    // The program's name, as the desktop and screen readers list it.
    if (g_get_prgname() == nullptr) g_set_prgname(program_invocation_short_name);
    if (!gtk_init_check(nullptr, nullptr)) return vx::kWindowPluginNoDisplay;
    *backend = new vx::GtkBackend(codePage);
    return vx::kWindowPluginCreated;
}
