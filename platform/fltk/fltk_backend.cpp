// Real windows through FLTK, behaving like the Windows dialog manager.
#include <cstdlib>

#include "platform/backends.h"
#include "platform/fltk/fltk_dialog_window.h"
#include "platform/fltk/fltk_shell_windows.h"
#include "platform/framework/afx.h"

// Xlib's macros (None, Status, ...) clash with names above: it comes last.
#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xlib.h>

namespace vx {

namespace {

using fltk::FltkDialogWindow;

class FltkBackend final : public WindowBackend {
public:
    FltkBackend() {
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
        codec_.Attach(AfxGetSystem());
        return std::make_unique<FltkDialogWindow>(dialogTemplate, dialog, Owner(owner), codec_);
    }

    int MessageBox(DialogWindow* owner, std::string_view text, std::string_view caption,
                   UINT type) override {
        // The program asks only for OK boxes, with no icon.
        static constexpr fltk::ButtonChoice kOk[] = {{"OK", IDOK}};
        return fltk::RunButtonWindow(OwnerWindow(owner), codec_.ToUtf8(text),
                                     codec_.ToUtf8(caption), kOk, IDOK, IDOK, true);
    }

    bool AskConfirmation(DialogWindow* owner, std::string_view text,
                         std::string_view caption) override {
        static constexpr fltk::ButtonChoice kYesNo[] = {{"&Yes", IDYES}, {"&No", IDNO}};
        return fltk::RunButtonWindow(OwnerWindow(owner), codec_.ToUtf8(text),
                                     codec_.ToUtf8(caption), kYesNo, IDYES, IDNO, true) == IDYES;
    }

    void BeginProgress(DialogWindow* owner, std::string_view text) override {
        progress_.reset();
        progress_ = std::make_unique<fltk::ProgressWindow>(OwnerWindow(owner), codec_.ToUtf8(text));
    }
    void UpdateProgress(std::uint64_t done, std::uint64_t total) override {
        if (progress_) progress_->Update(done, total);
    }
    void EndProgress() override { progress_.reset(); }

    std::optional<std::string> BrowseForFolder(DialogWindow* owner, SystemServices& sys) override {
        codec_.Attach(sys);
        return fltk::ChooseFolder(OwnerWindow(owner), sys, codec_);
    }

private:
    static FltkDialogWindow* Owner(DialogWindow* owner) {
        return dynamic_cast<FltkDialogWindow*>(owner);
    }
    static fltk::DialogFlWindow* OwnerWindow(DialogWindow* owner) {
        FltkDialogWindow* window = Owner(owner);
        return window ? window->flWindow() : nullptr;
    }

    posix::TextCodec codec_;
    std::unique_ptr<fltk::ProgressWindow> progress_;
};

}  // namespace

std::unique_ptr<WindowBackend> CreateFltkBackend() {
    // FLTK ends the process when it cannot open its display: try first.
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0') return nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return nullptr;
    fl_open_display(display);
    return std::make_unique<FltkBackend>();
}

}  // namespace vx
