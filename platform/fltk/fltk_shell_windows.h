// The system's own windows: message boxes, the shell's questions and its
// copy progress, and the folder chooser.
#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Progress.H>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/fltk/fltk_widgets.h"
#include "platform/text/text_codec.h"
#include "platform/system_services.h"

namespace vx::fltk {

struct ButtonChoice {
    const char* label;
    int result;
};

// A modal window owned by `owner` showing `text` above a row of buttons;
// the focus starts on the default one. Escape (and the close box, when
// there is one) give `cancelResult`. Returns the result of the button used.
int RunButtonWindow(DialogFlWindow* owner, std::string_view utf8Text, std::string_view utf8Caption,
                    std::span<const ButtonChoice> buttons, int defaultResult, int cancelResult,
                    bool closeBox);

// The copy progress: it appears only once a copy has run for half a
// second, never takes the keyboard, and keeps the owner from taking input
// from Begin to End.
class ProgressWindow {
public:
    ProgressWindow(DialogFlWindow* owner, std::string utf8Text);
    ~ProgressWindow();
    void Update(std::uint64_t done, std::uint64_t total);

private:
    DialogFlWindow* owner_;
    std::string text_;
    std::unique_ptr<DialogFlWindow> window_;
    Fl_Progress* bar_ = nullptr;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDrawn_;
};

// The folder chooser: a modal tree of the machine's drives and folders.
// A Windows path in the machine's code page, or nothing when cancelled.
std::optional<std::string> ChooseFolder(DialogFlWindow* owner, SystemServices& sys,
                                        const TextCodec& codec);

}  // namespace vx::fltk
