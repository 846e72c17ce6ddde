// A dialog drawn in character cells from its template, with the keyboard
// of the Windows dialog manager: Tab and the arrows move the focus, Space
// clicks the focused button or box, Enter the default button, Escape is
// Cancel, and the field is edited in place.
#pragma once

#include <string>
#include <vector>

#include "platform/framework/template_window.h"
#include "platform/terminal/dialog_layout.h"
#include "platform/terminal/edit_field.h"
#include "platform/terminal/screen.h"
#include "platform/text/text_codec.h"

namespace vx::terminal {

// One control of a dialog window, with what it shows.
struct TextControl {
    TextControl(const ControlTemplate& source, const ControlCells& layout, const TextCodec& codec)
        : source(&source), layout(layout), edit(codec) {}
    // What the control shows, narrow: an edit control's is its field's.
    const std::string& Text() const { return isField ? edit.text() : text; }

    const ControlTemplate* source;
    ControlCells layout;
    std::string text;  // narrow, in the machine's code page
    UINT check = BST_UNCHECKED;
    Picture picture;
    EditField edit;
    bool isField = source->kind == ControlKind::Edit;
};

class DialogTextWindow final : public TemplateWindow<TextControl>, public Layer {
public:
    DialogTextWindow(Screen& screen, const DialogTemplate& dialogTemplate, CDialog& dialog,
                     const TextCodec& codec);
    ~DialogTextWindow() override;

    INT_PTR RunModal() override;
    void EndModal(INT_PTR result) override;
    void SetCheck(int id, UINT state) override;
    UINT GetCheck(int id) const override;
    void SetText(int id, std::string_view text) override;
    std::string GetText(int id) const override;
    void LimitText(int id, int maxChars) override;
    void SetFocus(int id) override;
    void SetPicture(int id, const Picture& picture) override;
    void SetIcon(const Picture&, bool) override {}
    // A text window is never minimised.
    bool IsIconic() const override { return false; }
    void DrawIcon(const Picture&) override {}

    Rect Place(int rows, int columns) const override;
    void Draw(Screen& screen, const Rect& at) override;
    std::optional<std::pair<int, int>> Cursor(const Rect& at) const override;

private:
    void HandleKey(const Key& key);

    using Control = TextControl;
    void Changed();
    void MoveFocus(int step);
    void FocusControl(Control& c);
    int DefaultButton() const;
    bool Framed(const Control& c) const;
    void DrawPicture(Screen& screen, const Control& c, const Rect& inner);

    Screen& screen_;
    DialogLayout layout_;
    int focus_ = 0;
    bool shown_ = false;
};

}  // namespace vx::terminal
