// What the Linux backends' dialog windows built from a template share: the
// template, the dialog their controls report to, the text codec, the
// controls by identifier, where the focus starts, and how the modal run
// ended. `Control` holds at least `const ControlTemplate* source`.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/framework/afx.h"
#include "platform/text/text_codec.h"

namespace vx {

template <typename Control>
class TemplateWindow : public DialogWindow {
public:
    TemplateWindow(const TemplateWindow&) = delete;
    TemplateWindow& operator=(const TemplateWindow&) = delete;

protected:
    TemplateWindow(const DialogTemplate& dialogTemplate, CDialog& dialog, const TextCodec& codec)
        : template_(dialogTemplate), dialog_(dialog), codec_(codec) {}

    // The control `id` names; the unaddressed statics (-1) are never found.
    Control* Find(int id) {
        if (id == -1) return nullptr;
        for (Control& c : controls_)
            if (c.source->id == id) return &c;
        return nullptr;
    }
    const Control* Find(int id) const { return const_cast<TemplateWindow*>(this)->Find(id); }

    // Where the focus starts once the window shows: on the control
    // OnInitDialog chose, else on the first one that takes it.
    Control* FirstFocus() {
        Control* first = pendingFocus_ != 0 ? Find(pendingFocus_) : nullptr;
        for (std::size_t i = 0; first == nullptr && i < controls_.size(); ++i)
            if (TakesFocus(controls_[i].source->kind)) first = &controls_[i];
        pendingFocus_ = 0;
        return first;
    }

    // Ends the modal run with `result`; false when it had ended already.
    bool End(INT_PTR result) {
        if (ended_) return false;
        ended_ = true;
        result_ = result;
        return true;
    }

    const DialogTemplate& template_;
    CDialog& dialog_;
    const TextCodec& codec_;
    std::vector<Control> controls_;
    int pendingFocus_ = 0;  // asked for before the window shows
    bool ended_ = false;
    INT_PTR result_ = IDCANCEL;
};

}  // namespace vx
