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

namespace {

// The text's size as the window wraps it: at most kMaxTextW wide.
void MeasureText(const std::string& label, int& w, int& h) {
    fl_font(kFont, DialogFontSize());
    w = 0;
    h = 0;
    fl_measure(label.c_str(), w, h, 1);
    if (w > Scaled(kMaxTextW)) {
        w = Scaled(kMaxTextW);
        h = 0;
        fl_measure(label.c_str(), w, h, 1);
    }
}

}  // namespace

int RunButtonWindow(DialogFlWindow* owner, const ButtonBox& box, bool closeBox) {
    const std::string label = LabelText(box.text);
    const int margin = Scaled(kMargin), buttonW = Scaled(kButtonW), buttonH = Scaled(kButtonH);
    const int gap = Scaled(kButtonGap);
    int textW = 0, textH = 0;
    MeasureText(label, textW, textH);
    const int count = static_cast<int>(box.buttons.size());
    const int rowW = count * buttonW + std::max(0, count - 1) * gap;
    const int w = std::max({textW + 2 * margin, rowW + 2 * margin, Scaled(160)});
    const int h = margin + textH + 2 * margin + buttonH + margin;

    DialogFlWindow window(w, h, box.caption.c_str());
    auto* text = new StaticBox(margin, margin, w - 2 * margin, textH);
    text->copy_label(label.c_str());
    text->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
    text->clear_visible_focus();

    bool done = false;
    int chosen = box.cancelResult;
    auto choose = [&](int result) {
        chosen = result;
        done = true;
    };
    std::deque<Action> actions;
    PushButton* defaultButton = nullptr;
    int x = (w - rowW) / 2;
    for (const ButtonChoice& choice : box.buttons) {
        const bool isDefault = choice.result == box.defaultResult;
        auto* button = new PushButton(x, h - margin - buttonH, buttonW, buttonH, isDefault);
        button->label(choice.label);
        actions.emplace_back([&choose, result = choice.result] { choose(result); });
        button->callback(RunAction, &actions.back());
        if (isDefault) defaultButton = button;
        x += buttonW + gap;
    }
    window.end();
    window.onDefault = [&] { choose(box.defaultResult); };
    window.onCancel = [&] { choose(box.cancelResult); };
    if (closeBox) window.onClose = window.onCancel;

    window.ShowOwned(owner, closeBox ? Frame::CloseBox : Frame::NoCloseBox, true, true);
    if (defaultButton) defaultButton->take_focus();
    window.RunUntil(done);
    window.Dismiss();
    return chosen;
}

ProgressWindow::ProgressWindow(DialogFlWindow* owner, std::string utf8Text)
    : owner_(owner), text_(LabelText(utf8Text)) {
    if (owner_) owner_->Disable();
}

ProgressWindow::~ProgressWindow() {
    if (window_) window_->Dismiss();
    window_.reset();
    if (owner_) owner_->Enable();
}

void ProgressWindow::Update(std::uint64_t done, std::uint64_t total) {
    const ProgressPacing::Step step = pacing_.Next(done, total);
    if (step.appears) {
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
    }
    if (window_ && step.draws) {
        bar_->maximum(total > 0 ? static_cast<float>(total) : 1.0f);
        bar_->value(static_cast<float>(std::min(done, total)));
    }
    // The copy runs inside a click's handler: let the windows repaint meanwhile.
    Fl::check();
}

}  // namespace vx::fltk
