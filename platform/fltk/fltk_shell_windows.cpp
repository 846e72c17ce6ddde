#include "platform/fltk/fltk_shell_windows.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <deque>
#include <functional>

namespace vx::fltk {

namespace {

// Sizes of the Windows message box at these base units, at 96 DPI.
constexpr int kMargin = 11;
constexpr int kButtonW = 75, kButtonH = 23, kButtonGap = 6;
constexpr int kMaxTextW = 440;

using Action = std::function<void()>;

void RunAction(Fl_Widget*, void* data) { (*static_cast<Action*>(data))(); }

}  // namespace

int RunButtonWindow(DialogFlWindow* owner, std::string_view utf8Text, std::string_view utf8Caption,
                    std::span<const ButtonChoice> buttons, int defaultResult, int cancelResult,
                    bool closeBox) {
    const std::string label = LabelText(utf8Text);
    const int margin = Scaled(kMargin), buttonW = Scaled(kButtonW), buttonH = Scaled(kButtonH);
    const int gap = Scaled(kButtonGap), maxTextW = Scaled(kMaxTextW);
    fl_font(kFont, DialogFontSize());
    int textW = 0, textH = 0;
    fl_measure(label.c_str(), textW, textH, 1);
    if (textW > maxTextW) {
        textW = maxTextW;
        textH = 0;
        fl_measure(label.c_str(), textW, textH, 1);
    }
    const int count = static_cast<int>(buttons.size());
    const int rowW = count * buttonW + std::max(0, count - 1) * gap;
    const int w = std::max({textW + 2 * margin, rowW + 2 * margin, Scaled(160)});
    const int h = margin + textH + 2 * margin + buttonH + margin;

    const std::string caption(utf8Caption);
    DialogFlWindow window(w, h, caption.c_str());
    auto* text = new StaticBox(margin, margin, w - 2 * margin, textH);
    text->copy_label(label.c_str());
    text->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
    text->clear_visible_focus();

    bool done = false;
    int chosen = cancelResult;
    std::deque<Action> actions;
    PushButton* defaultButton = nullptr;
    int x = (w - rowW) / 2;
    for (const ButtonChoice& choice : buttons) {
        const bool isDefault = choice.result == defaultResult;
        auto* button = new PushButton(x, h - margin - buttonH, buttonW, buttonH, isDefault);
        button->label(choice.label);
        const int result = choice.result;
        actions.emplace_back([&done, &chosen, result] {
            chosen = result;
            done = true;
        });
        button->callback(RunAction, &actions.back());
        if (isDefault) defaultButton = button;
        x += buttonW + gap;
    }
    window.end();
    window.onDefault = [&] {
        chosen = defaultResult;
        done = true;
    };
    window.onCancel = [&] {
        chosen = cancelResult;
        done = true;
    };
    if (closeBox) window.onClose = window.onCancel;

    window.ShowOwned(owner, closeBox ? Frame::CloseBox : Frame::NoCloseBox, true, true);
    if (defaultButton) defaultButton->take_focus();
    window.RunUntil(done);
    window.Dismiss();
    return chosen;
}

ProgressWindow::ProgressWindow(DialogFlWindow* owner, std::string utf8Text)
    : owner_(owner), text_(LabelText(utf8Text)), start_(std::chrono::steady_clock::now()) {
    if (owner_) owner_->Disable();
}

ProgressWindow::~ProgressWindow() {
    if (window_) window_->Dismiss();
    window_.reset();
    if (owner_) owner_->Enable();
}

void ProgressWindow::Update(std::uint64_t done, std::uint64_t total) {
    using namespace std::chrono_literals;
    const auto now = std::chrono::steady_clock::now();
    if (!window_ && now - start_ >= 500ms) {
        const int w = Scaled(360), h = Scaled(84), margin = Scaled(kMargin);
        window_ = std::make_unique<DialogFlWindow>(w, h, "Copying...");
        auto* text = new StaticBox(margin, margin, w - 2 * margin, Scaled(28));
        text->copy_label(text_.c_str());
        text->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
        text->clear_visible_focus();
        bar_ = new Fl_Progress(margin, margin + Scaled(34), w - 2 * margin, Scaled(16));
        bar_->selection_color(FL_DARK_BLUE);
        bar_->minimum(0);
        bar_->clear_visible_focus();
        window_->end();
        window_->ShowOwned(owner_, Frame::NoCloseBox, false, false);
        lastDrawn_ = now - 1s;
    }
    if (window_ && (now - lastDrawn_ >= 30ms || done >= total)) {
        bar_->maximum(total > 0 ? static_cast<float>(total) : 1.0f);
        bar_->value(static_cast<float>(std::min(done, total)));
        lastDrawn_ = now;
    }
    // The copy runs inside a click's handler: let the windows repaint meanwhile.
    Fl::check();
}

}  // namespace vx::fltk
