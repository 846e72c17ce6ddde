// The system's own windows as the Linux backends word them: message boxes
// with OK or Yes and No, the shell's question, and the copy progress's
// lifetime and pace, over narrow text turned into UTF-8. A backend says
// only how its windows look.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/framework/window_backend.h"
#include "platform/text/text_codec.h"

namespace vx {

// A button of a message box or question; '&' marks its mnemonic.
struct ButtonChoice {
    const char* label;
    int result;
};

// A modal window of text above a row of buttons, texts in UTF-8.
struct ButtonBox {
    std::string text;
    std::string caption;
    std::span<const ButtonChoice> buttons;
    int defaultResult;  // the button the focus starts on
    int cancelResult;   // what Escape, the close box and the end of input give
};

// An open copy progress window; it closes when destroyed.
class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;
    virtual void Update(std::uint64_t done, std::uint64_t total) = 0;
};

// When a progress window shows and draws: it appears once a copy has run
// for half a second, then draws at most once per `interval`, and always
// the last update.
class ProgressPacing {
public:
    explicit ProgressPacing(std::chrono::milliseconds interval);
    struct Step {
        bool appears;  // the window shows from this update on
        bool draws;    // this update is drawn
    };
    Step Next(std::uint64_t done, std::uint64_t total);

private:
    std::chrono::milliseconds interval_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDrawn_{};
    bool shown_ = false;
};

// The system windows' part of WindowBackend, the same for every Linux backend.
class SystemWindowsBackend : public WindowBackend {
public:
    explicit SystemWindowsBackend(UINT codePage) : codec_(codePage) {}

    int MessageBox(DialogWindow* owner, std::string_view text, std::string_view caption,
                   UINT type) final;
    bool AskConfirmation(DialogWindow* owner, std::string_view text,
                         std::string_view caption) final;
    void BeginProgress(DialogWindow* owner, std::string_view text) final;
    void UpdateProgress(std::uint64_t done, std::uint64_t total) final;
    void EndProgress() final;

protected:
    const TextCodec& codec() const { return codec_; }
    // Runs `box` owned by `owner`; the result of the button used.
    virtual int RunButtonBox(DialogWindow* owner, const ButtonBox& box) = 0;
    virtual std::unique_ptr<ProgressDisplay> OpenProgress(DialogWindow* owner,
                                                          std::string utf8Text) = 0;

private:
    TextCodec codec_;
    std::unique_ptr<ProgressDisplay> progress_;
};

}  // namespace vx
