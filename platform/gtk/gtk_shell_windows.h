// The system's own windows as GTK dialogs: message boxes, the shell's
// questions and its copy progress, and the folder chooser.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/text/text_codec.h"
#include "platform/gtk/gtk_dialog_window.h"
#include "platform/system_services.h"

namespace vx::gtk {

struct ButtonChoice {
    const char* label;  // '&' marks the mnemonic
    int result;
};

// A modal message dialog owned by `owner`, titled `caption`, showing `text`
// above a row of buttons; the focus starts on the default one. Escape and the
// close box give `cancelResult`. Returns the result of the button used.
int RunButtonDialog(GtkDialogWindow* owner, const std::string& utf8Text,
                    const std::string& utf8Caption, std::span<const ButtonChoice> buttons,
                    int defaultResult, int cancelResult);

// The copy progress: it appears only once a copy has run for half a second,
// never takes the keyboard, keeps the owner from taking input from Begin to
// End, and lets GTK handle its events meanwhile, so that the bar moves on the
// screen and for screen readers.
class ProgressWindow {
public:
    ProgressWindow(GtkDialogWindow* owner, std::string utf8Text);
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;
    void Update(std::uint64_t done, std::uint64_t total);

private:
    GtkDialogWindow* owner_;
    std::string text_;
    GtkWidget* window_ = nullptr;
    GtkWidget* bar_ = nullptr;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDrawn_;
};

// The folder chooser: a modal tree of the machine's drives and folders.
// A Windows path in the machine's code page, or nothing when cancelled.
std::optional<std::string> ChooseFolder(GtkDialogWindow* owner, SystemServices& sys,
                                        const TextCodec& codec);

}  // namespace vx::gtk
