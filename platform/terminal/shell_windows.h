// The system's own windows drawn over the dialogs: message boxes, the
// shell's question and its copy progress, and the folder chooser.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/framework/system_windows.h"
#include "platform/system_services.h"
#include "platform/terminal/screen.h"

namespace vx::terminal {

// A window with the box's text over its row of buttons, the focus on the
// default one; Escape and the end of input give the cancel result.
int RunButtonWindow(Screen& screen, const ButtonBox& box);

// The copy progress: a line with the file and one with the percentage. It
// shows once a copy has run for half a second and takes no keys.
class ProgressWindow final : public Layer, public ProgressDisplay {
public:
    ProgressWindow(Screen& screen, std::string utf8Text);
    ~ProgressWindow() override;
    void Update(std::uint64_t done, std::uint64_t total) override;

    Rect Place(int rows, int columns) const override;
    void Draw(Screen& screen, const Rect& at) override;

private:
    Screen& screen_;
    std::string text_;
    int percent_ = 0;
    bool shown_ = false;
    ProgressPacing pacing_{std::chrono::milliseconds(50)};
};

// The folder chooser: the machine's drives and their folders, walked with
// the arrows. A Windows path in the machine's code page, or nothing when
// cancelled.
std::optional<std::string> ChooseFolder(Screen& screen, SystemServices& sys,
                                        const TextCodec& codec);

}  // namespace vx::terminal
