// The FLTK pieces the dialogs are built from: a window that reads the
// keyboard the way the Windows dialog manager does, and push buttons and
// check boxes that look and behave like their Windows counterparts.
#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>

#include <functional>
#include <string>
#include <string_view>

namespace vx::fltk {

// 8-point sans serif at 96 DPI: a face with Arial's metrics where
// fontconfig has one, which is what 8-point MS Sans Serif text measures.
inline constexpr Fl_Font kFont = FL_FREE_FONT;
inline constexpr Fl_Fontsize kFontSize = 11;
void RegisterDialogFont();

// FLTK 1.3 draws in device pixels and knows no scale factor: every size
// these windows use is given at 96 DPI and goes through Scaled, which
// multiplies it by the desktop's scale (Xft.dpi / 96, set once at start).
void SetScale(double scale);
double Scale();
int Scaled(int pixels);
// The dialog font's size at the desktop's scale.
inline Fl_Fontsize DialogFontSize() { return Scaled(kFontSize); }

// A label FLTK shows as written ('@' would otherwise start a symbol).
std::string LabelText(std::string_view utf8);

// What the window manager is told about a window's frame.
enum class Frame {
    CloseBox,    // title bar with a close box, nothing else
    NoCloseBox,  // title bar only
};

// A dialog's top-level window. Keys reach it before its controls (see
// InstallKeyboardDispatch): Escape cancels, Enter clicks the focused push
// button or else the default one; Tab, Shift+Tab and Space are left to the
// controls and FLTK's navigation, which follows child order.
class DialogFlWindow : public Fl_Double_Window {
public:
    DialogFlWindow(int w, int h, const char* title);
    ~DialogFlWindow() override;

    std::function<void()> onDefault;  // Enter while no push button has the focus
    std::function<void()> onCancel;   // Escape
    std::function<void()> onClose;    // the window manager's close request
    std::function<void()> onPaint;    // every paint, before the controls are drawn

    // Shows the window owned by `owner` (nullptr: top level), centred over
    // it or on the screen. An owner takes no input until Dismiss.
    void ShowOwned(DialogFlWindow* owner, Frame frame, bool modal, bool takesFocus);
    // Hides the window and gives the owner its input and focus back.
    void Dismiss();
    // Runs the event loop until `done` is set or the window is gone.
    void RunUntil(const bool& done);

    // While disabled (an owned window is up) input is swallowed.
    void Disable();
    void Enable();
    bool disabled() const { return disabled_ > 0; }

    // Paints nothing but the background and this picture (a minimised window's icon).
    bool paintOnlyIcon = false;

    // Keyboard pre-processing; true when the key was used.
    bool PreKey();
    // X focus to this window once it is viewable.
    void FocusWhenViewable();

    void draw() override;

private:
    static void CloseCallback(Fl_Widget* widget, void* data);

    DialogFlWindow* owner_ = nullptr;
    bool showing_ = false;
    bool wantsFocus_ = false;
    int disabled_ = 0;
    Fl_Widget* savedFocus_ = nullptr;
};

// Routes every FLTK event through the dialog windows' keyboard handling and
// input blocking. Idempotent.
void InstallKeyboardDispatch();

// A static text or picture: never takes the focus, and like a Windows
// static draws nothing outside its rectangle.
class StaticBox : public Fl_Box {
public:
    StaticBox(int x, int y, int w, int h);
    void draw() override;
};

// A Windows push button: raised, a dark frame when it is the one Enter
// clicks (the default button, or any push button holding the focus).
class PushButton : public Fl_Button {
public:
    PushButton(int x, int y, int w, int h, bool isDefault);
    int handle(int event) override;
    void draw() override;
    bool isDefault() const { return isDefault_; }

private:
    bool isDefault_;
};

// A Windows check box that never changes its own mark: a click or Space
// only runs the callback; SetChecked sets the mark.
class CheckBox : public Fl_Button {
public:
    CheckBox(int x, int y, int w, int h);
    void draw() override;
    void SetChecked(unsigned state);
    unsigned checked() const { return checked_; }

private:
    unsigned checked_ = 0;
};

}  // namespace vx::fltk
