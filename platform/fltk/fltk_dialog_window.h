// A dialog window built from its template with FLTK widgets.
#pragma once

#include <FL/Fl_RGB_Image.H>

#include <memory>
#include <string>
#include <vector>

#include "platform/fltk/fltk_widgets.h"
#include "platform/text/text_codec.h"
// The framework before any file of FLTK's that brings in Xlib's macros.
#include "platform/framework/afx.h"
#include "platform/framework/template_window.h"

namespace vx::fltk {

// A picture FLTK can draw, holding its own pixels.
struct ImageHolder {
    std::string pixels;
    std::unique_ptr<Fl_RGB_Image> image;
    // False when the picture's pixels do not match its size. `scale` sizes
    // the image FLTK draws.
    bool Assign(const Picture& picture, double scale = 1.0);
};

// One control of a dialog window and the widget that shows it.
struct FltkControl {
    const ControlTemplate* source;
    Fl_Widget* widget;
    std::string text;  // narrow, as last set
    ImageHolder picture;
};

class FltkDialogWindow final : public TemplateWindow<FltkControl> {
public:
    FltkDialogWindow(const DialogTemplate& dialogTemplate, CDialog& dialog, FltkDialogWindow* owner,
                     const TextCodec& codec);
    ~FltkDialogWindow() override;

    INT_PTR RunModal() override;
    void EndModal(INT_PTR result) override;
    void SetCheck(int id, UINT state) override;
    UINT GetCheck(int id) const override;
    void SetText(int id, std::string_view text) override;
    std::string GetText(int id) const override;
    void LimitText(int id, int maxChars) override;
    void SetFocus(int id) override;
    void SetPicture(int id, const Picture& picture) override;
    void SetIcon(const Picture& icon, bool large) override;
    bool IsIconic() const override;
    void DrawIcon(const Picture& icon) override;

    DialogFlWindow* flWindow() const { return window_.get(); }
    // A control's click: its command goes to the dialog.
    void Clicked(Fl_Widget* widget);

private:
    using Control = FltkControl;
    // The widget of a control, in the window being built.
    Fl_Widget* NewWidget(const ControlTemplate& c);
    void Show(Control& c, std::string_view text);
    void Command(int id);
    void Paint();

    FltkDialogWindow* owner_;
    std::unique_ptr<DialogFlWindow> window_;
    ImageHolder icons_[2];  // large, small
    int defaultId_ = IDOK;
    bool painting_ = false;
};

}  // namespace vx::fltk
