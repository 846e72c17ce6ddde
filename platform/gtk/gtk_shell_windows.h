// The system's own windows as GTK dialogs: message boxes, the shell's
// questions and its copy progress, and the folder chooser.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/framework/system_windows.h"
#include "platform/gtk/gtk_dialog_window.h"
#include "platform/system_services.h"

namespace vx::gtk {

// A modal message dialog owned by `owner`, with no icon; the focus starts
// on the default button. Escape and the close box give the box's cancel
// result. Returns the result of the button used.
int RunButtonDialog(GtkDialogWindow* owner, const ButtonBox& box);

// The copy progress: it appears only once a copy has run for half a second,
// never takes the keyboard, keeps the owner from taking input from Begin to
// End, and lets GTK handle its events meanwhile, so that the bar moves on the
// screen and for screen readers.
class ProgressWindow final : public ProgressDisplay {
public:
    ProgressWindow(GtkDialogWindow* owner, std::string utf8Text);
    ~ProgressWindow() override;
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;
    void Update(std::uint64_t done, std::uint64_t total) override;

private:
    GtkDialogWindow* owner_;
    std::string text_;
    GtkWidget* window_ = nullptr;
    GtkWidget* bar_ = nullptr;
    ProgressPacing pacing_{std::chrono::milliseconds(30)};
};

// The folder chooser: a modal tree of the machine's drives and folders.
// A Windows path in the machine's code page, or nothing when cancelled.
std::optional<std::string> ChooseFolder(GtkDialogWindow* owner, SystemServices& sys,
                                        const TextCodec& codec);

}  // namespace vx::gtk
