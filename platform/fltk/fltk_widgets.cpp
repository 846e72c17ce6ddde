#include "platform/fltk/fltk_widgets.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>

namespace vx::fltk {

void RegisterDialogFont() {
    // The leading space asks for the regular face of the family.
    Fl::set_font(kFont, " Arial");
}

namespace {

double desktopScale = 1.0;

}  // namespace

void SetScale(double scale) { desktopScale = scale; }

double Scale() { return desktopScale; }

int Scaled(int pixels) { return static_cast<int>(std::lround(pixels * desktopScale)); }

std::string LabelText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (const char c : utf8) {
        if (c == '@') out += '@';
        out += c;
    }
    return out;
}

namespace {

// The window manager hints of the Motif era that every current manager still reads.
struct MotifHints {
    unsigned long flags;
    unsigned long functions;
    unsigned long decorations;
    long inputMode;
    unsigned long status;
};
constexpr unsigned long kMwmHintsFunctions = 1, kMwmHintsDecorations = 2;
constexpr unsigned long kMwmFuncMove = 4, kMwmFuncClose = 32;
constexpr unsigned long kMwmDecorBorder = 2, kMwmDecorTitle = 8, kMwmDecorMenu = 16;

bool IsMappedAndViewable(Window xid) {
    if (xid == 0) return false;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(fl_display, xid, &attributes)) return false;
    return attributes.map_state == IsViewable;
}

// Set right after show(), in the same request stream as the map, so that
// the window manager reads them when it first manages the window.
void SetFrameHints(Window xid, Window ownerXid, Frame frame, bool takesFocus) {
    MotifHints hints{};
    hints.flags = kMwmHintsFunctions | kMwmHintsDecorations;
    if (frame == Frame::CloseBox) {
        hints.functions = kMwmFuncMove | kMwmFuncClose;
        hints.decorations = kMwmDecorBorder | kMwmDecorTitle | kMwmDecorMenu;
    } else {
        hints.functions = kMwmFuncMove;
        hints.decorations = kMwmDecorBorder | kMwmDecorTitle;
    }
    const Atom motif = XInternAtom(fl_display, "_MOTIF_WM_HINTS", False);
    XChangeProperty(fl_display, xid, motif, motif, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&hints), 5);
    if (ownerXid != 0) {
        XSetTransientForHint(fl_display, xid, ownerXid);
        const Atom type = XInternAtom(fl_display, "_NET_WM_WINDOW_TYPE", False);
        Atom dialog = XInternAtom(fl_display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
        XChangeProperty(fl_display, xid, type, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&dialog), 1);
    }
    if (!takesFocus) {
        // Neither the manager nor a click hands it the keyboard.
        XWMHints* wm = XGetWMHints(fl_display, xid);
        XWMHints fresh{};
        XWMHints* target = wm ? wm : &fresh;
        target->flags |= InputHint;
        target->input = False;
        XSetWMHints(fl_display, xid, target);
        if (wm) XFree(wm);
        const Atom userTime = XInternAtom(fl_display, "_NET_WM_USER_TIME", False);
        long zero = 0;
        XChangeProperty(fl_display, xid, userTime, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&zero), 1);
    }
}

void RetryFocus(void* data);

bool IsInputEvent(int event) {
    switch (event) {
        case FL_PUSH:
        case FL_RELEASE:
        case FL_DRAG:
        case FL_KEYBOARD:
        case FL_KEYUP:
        case FL_SHORTCUT:
        case FL_MOUSEWHEEL:
        case FL_CLOSE:
        case FL_PASTE:
        case FL_DND_ENTER:
        case FL_DND_DRAG:
        case FL_DND_RELEASE:
            return true;
        default:
            return false;
    }
}

int Dispatch(int event, Fl_Window* window) {
    if (auto* dialog = dynamic_cast<DialogFlWindow*>(window)) {
        if (dialog->disabled() && IsInputEvent(event)) return 1;
        if (event == FL_KEYBOARD && dialog->PreKey()) return 1;
    }
    return Fl::handle_(event, window);
}

void RedrawPushButtons(Fl_Group* group) {
    if (group == nullptr) return;
    for (int i = 0; i < group->children(); ++i)
        if (dynamic_cast<PushButton*>(group->child(i))) group->child(i)->redraw();
}

}  // namespace

void InstallKeyboardDispatch() { Fl::event_dispatch(Dispatch); }

DialogFlWindow::DialogFlWindow(int w, int h, const char* title) : Fl_Double_Window(w, h) {
    copy_label(title);
    callback(CloseCallback, this);
    labelfont(kFont);
    labelsize(DialogFontSize());
}

DialogFlWindow::~DialogFlWindow() {
    Fl::remove_timeout(RetryFocus, this);
    if (showing_ && owner_) owner_->Enable();
}

void DialogFlWindow::CloseCallback(Fl_Widget*, void* data) {
    auto* self = static_cast<DialogFlWindow*>(data);
    // FLTK sends Escape here too when nothing else used it; a close
    // request comes as FL_CLOSE.
    const bool escape = Fl::event() != FL_CLOSE && Fl::event_key() == FL_Escape;
    if (self->disabled()) return;
    if (escape) {
        if (self->onCancel) self->onCancel();
    } else if (self->onClose) {
        self->onClose();
    }
}

void DialogFlWindow::ShowOwned(DialogFlWindow* owner, Frame frame, bool modal, bool takesFocus) {
    owner_ = owner;
    if (owner_) {
        owner_->Disable();
        position(owner_->x() + (owner_->w() - w()) / 2, owner_->y() + (owner_->h() - h()) / 2);
    } else {
        position(std::max(0, (Fl::w() - w()) / 2), std::max(0, (Fl::h() - h()) / 2));
    }
    if (modal) set_modal();
    if (!takesFocus) set_non_modal();
    showing_ = true;
    show();
    SetFrameHints(fl_xid(this), owner_ && owner_->shown() ? fl_xid(owner_) : 0, frame, takesFocus);
    if (takesFocus) FocusWhenViewable();
}

void DialogFlWindow::Dismiss() {
    if (!showing_) return;
    showing_ = false;
    wantsFocus_ = false;
    Fl::remove_timeout(RetryFocus, this);
    hide();
    if (owner_) owner_->Enable();
}

void DialogFlWindow::RunUntil(const bool& done) {
    while (!done && shown()) Fl::wait();
}

void DialogFlWindow::Disable() {
    if (disabled_++ == 0) {
        Fl_Widget* focus = Fl::focus();
        savedFocus_ = focus && contains(focus) ? focus : nullptr;
    }
}

void DialogFlWindow::Enable() {
    if (disabled_ == 0 || --disabled_ > 0) return;
    if (!shown() || !visible()) return;
    // As when an owned window closes on Windows: the owner is active again
    // and the control that had the focus has it back.
    if (savedFocus_ && contains(savedFocus_)) savedFocus_->take_focus();
    savedFocus_ = nullptr;
    FocusWhenViewable();
}

bool DialogFlWindow::PreKey() {
    if (Fl::event_state() & (FL_CTRL | FL_ALT | FL_META)) return false;
    const int key = Fl::event_key();
    if (key == FL_Escape) {
        if (onCancel) onCancel();
        return true;
    }
    if (key == FL_Enter || key == FL_KP_Enter) {
        auto* focused = dynamic_cast<PushButton*>(Fl::focus());
        if (focused && focused->window() == this && focused->active_r()) {
            focused->do_callback();
        } else if (onDefault) {
            onDefault();
        }
        return true;
    }
    return false;
}

namespace {

void RetryFocus(void* data) { static_cast<DialogFlWindow*>(data)->FocusWhenViewable(); }

}  // namespace

void DialogFlWindow::FocusWhenViewable() {
    if (!shown()) return;
    const Window xid = fl_xid(this);
    if (IsMappedAndViewable(xid)) {
        wantsFocus_ = false;
        Fl::remove_timeout(RetryFocus, this);
        XSetInputFocus(fl_display, xid, RevertToParent, CurrentTime);
        return;
    }
    // Not mapped yet (the window manager maps it in its own time): look again shortly.
    if (!wantsFocus_) {
        wantsFocus_ = true;
        Fl::add_timeout(0.02, RetryFocus, this);
    } else {
        Fl::repeat_timeout(0.02, RetryFocus, this);
    }
}

void DialogFlWindow::draw() {
    paintOnlyIcon = false;
    if (onPaint) onPaint();
    if (!paintOnlyIcon) Fl_Double_Window::draw();
    paintOnlyIcon = false;
}

StaticBox::StaticBox(int x, int y, int w, int h) : Fl_Box(FL_FLAT_BOX, x, y, w, h, nullptr) {
    clear_visible_focus();
    labelfont(kFont);
    labelsize(DialogFontSize());
}

void StaticBox::draw() {
    fl_push_clip(x(), y(), w(), h());
    draw_box();
    // The whole rectangle, without the margin FLTK gives side-aligned labels.
    draw_label(x(), y(), w(), h(), align());
    fl_pop_clip();
}

PushButton::PushButton(int x, int y, int w, int h, bool isDefault)
    : Fl_Button(x, y, w, h), isDefault_(isDefault) {
    box(FL_UP_BOX);
    down_box(FL_DOWN_BOX);
    labelfont(kFont);
    labelsize(DialogFontSize());
}

int PushButton::handle(int event) {
    const int used = Fl_Button::handle(event);
    // The dark frame follows the focus between the push buttons.
    if (event == FL_FOCUS || event == FL_UNFOCUS) RedrawPushButtons(parent());
    return used;
}

void PushButton::draw() {
    auto* focused = dynamic_cast<PushButton*>(Fl::focus());
    const bool framed =
        focused == this || (isDefault_ && !(focused && focused->window() == window()));
    int X = x(), Y = y(), W = w(), H = h();
    if (framed) {
        fl_color(active_r() ? FL_FOREGROUND_COLOR : fl_inactive(FL_FOREGROUND_COLOR));
        for (int i = Scaled(1); i > 0; --i) {
            fl_rect(X, Y, W, H);
            X += 1, Y += 1, W -= 2, H -= 2;
        }
    }
    const Fl_Boxtype boxType = value() ? down_box() : box();
    draw_box(boxType, X, Y, W, H, color());
    draw_label(X, Y, W, H);
    if (Fl::focus() == this) draw_focus(boxType, X, Y, W, H);
}

CheckBox::CheckBox(int x, int y, int w, int h) : Fl_Button(x, y, w, h) {
    box(FL_FLAT_BOX);
    type(FL_NORMAL_BUTTON);
    align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    labelfont(kFont);
    labelsize(DialogFontSize());
}

void CheckBox::SetChecked(unsigned state) {
    if (state == checked_) return;
    checked_ = state;
    redraw();
}

void CheckBox::draw() {
    draw_box(FL_FLAT_BOX, color());
    const int side = Scaled(13);
    const int bx = x();
    const int by = y() + (h() - side) / 2;
    // Pressed, the square goes grey; the mark only ever follows SetChecked.
    fl_draw_box(FL_DOWN_BOX, bx, by, side, side,
                value() || !active_r() ? FL_BACKGROUND_COLOR : FL_BACKGROUND2_COLOR);
    if (checked_) {
        fl_color(active_r() ? FL_FOREGROUND_COLOR : fl_inactive(FL_FOREGROUND_COLOR));
        for (int i = 0; i < Scaled(3); ++i) {
            fl_line(bx + Scaled(3), by + Scaled(5) + i, bx + Scaled(5), by + Scaled(7) + i);
            fl_line(bx + Scaled(5), by + Scaled(7) + i, bx + Scaled(9), by + Scaled(3) + i);
        }
    }
    const int lx = bx + side + Scaled(4);
    const int lw = std::max(0, w() - (lx - x()));
    draw_label(lx, y(), lw, h(), FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    if (Fl::focus() == this && Fl::visible_focus()) {
        int textW = 0, textH = 0;
        measure_label(textW, textH);
        textW = std::min(textW, lw);
        draw_focus(FL_FLAT_BOX, lx - 1, y() + (h() - textH) / 2 - 1, textW + 3, textH + 3);
    }
}

}  // namespace vx::fltk
