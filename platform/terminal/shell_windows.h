// The system's own windows drawn over the dialogs: message boxes, the
// shell's question and its copy progress, and the folder chooser.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/text/text_codec.h"
#include "platform/system_services.h"
#include "platform/terminal/screen.h"

namespace vx::terminal {

struct ButtonChoice {
    const char* label;  // '&' marks the key that picks it
    int result;
};

// A window with `utf8Text` over a row of buttons, the focus on the one at
// `focus`; Escape and the end of input give `cancelResult`.
int RunButtonWindow(Screen& screen, std::string_view utf8Text, std::string_view utf8Caption,
                    std::span<const ButtonChoice> buttons, int cancelResult, int focus = 0);

// The copy progress: a line with the file and one with the percentage. It
// shows once a copy has run for half a second and takes no keys.
class ProgressWindow final : public Layer {
public:
    ProgressWindow(Screen& screen, std::string utf8Text);
    ~ProgressWindow() override;
    void Update(std::uint64_t done, std::uint64_t total);

    Rect Place(int rows, int columns) const override;
    void Draw(Screen& screen, const Rect& at) override;

private:
    Screen& screen_;
    std::string text_;
    int percent_ = 0;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDrawn_;
};

// The folder chooser: the machine's drives and their folders, walked with
// the arrows. A Windows path in the machine's code page, or nothing when
// cancelled.
std::optional<std::string> ChooseFolder(Screen& screen, SystemServices& sys,
                                        const TextCodec& codec);

}  // namespace vx::terminal
