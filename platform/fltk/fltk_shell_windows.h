// The system's own windows: message boxes, the shell's questions and its
// copy progress, and the folder chooser.
#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Progress.H>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/fltk/fltk_widgets.h"
#include "platform/framework/system_windows.h"
#include "platform/system_services.h"

namespace vx::fltk {

// A modal window owned by `owner` showing the box's text above its row of
// buttons; the focus starts on the default one. Escape (and the close box,
// when there is one) give the cancel result. Returns the result of the
// button used.
int RunButtonWindow(DialogFlWindow* owner, const ButtonBox& box, bool closeBox);

// The copy progress: it appears only once a copy has run for half a
// second, never takes the keyboard, and keeps the owner from taking input
// from Begin to End.
class ProgressWindow final : public ProgressDisplay {
public:
    ProgressWindow(DialogFlWindow* owner, std::string utf8Text);
    ~ProgressWindow() override;
    void Update(std::uint64_t done, std::uint64_t total) override;

private:
    DialogFlWindow* owner_;
    std::string text_;
    std::unique_ptr<DialogFlWindow> window_;
    Fl_Progress* bar_ = nullptr;
    ProgressPacing pacing_{std::chrono::milliseconds(30)};
};

// The folder chooser: a modal tree of the machine's drives and folders.
// A Windows path in the machine's code page, or nothing when cancelled.
std::optional<std::string> ChooseFolder(DialogFlWindow* owner, SystemServices& sys,
                                        const TextCodec& codec);

}  // namespace vx::fltk
