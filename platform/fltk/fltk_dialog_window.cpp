#include "platform/fltk/fltk_dialog_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Input.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vx::fltk {

bool ImageHolder::Assign(const Picture& picture, double scale) {
    if (!picture.HasPixels()) return false;
    // The new image is complete before the old one goes: a widget may still show it.
    std::string bytes = picture.rgb.substr(0, picture.PixelBytes());
    auto image = std::make_unique<Fl_RGB_Image>(reinterpret_cast<const uchar*>(bytes.data()),
                                                picture.width, picture.height, 3);
    if (scale != 1.0) {
        // A copy with pixels of its own, interpolated so that it is not blocky.
        const int w = std::max(1, static_cast<int>(std::lround(picture.width * scale)));
        const int h = std::max(1, static_cast<int>(std::lround(picture.height * scale)));
        const Fl_RGB_Scaling before = Fl_Image::RGB_scaling();
        Fl_Image::RGB_scaling(FL_RGB_SCALING_BILINEAR);
        auto* scaled = static_cast<Fl_RGB_Image*>(image->copy(w, h));
        Fl_Image::RGB_scaling(before);
        if (scaled == nullptr) return false;
        image.reset(scaled);
        bytes.clear();
    }
    pixels.swap(bytes);
    image.swap(this->image);
    return true;
}

namespace {

void OnControl(Fl_Widget* widget, void* data);

}  // namespace

FltkDialogWindow::FltkDialogWindow(const DialogTemplate& dialogTemplate, CDialog& dialog,
                                   FltkDialogWindow* owner, const TextCodec& codec)
    : TemplateWindow(dialogTemplate, dialog, codec), owner_(owner) {
    window_ = std::make_unique<DialogFlWindow>(Scaled(DialogUnitsToPixelsX(template_.cx)),
                                               Scaled(DialogUnitsToPixelsY(template_.cy)),
                                               codec_.ToUtf8(template_.caption).c_str());
    controls_.reserve(template_.controls.size());
    window_->begin();
    // Children in template order: FLTK's Tab navigation follows child order.
    for (const ControlTemplate& c : template_.controls) {
        Fl_Widget* widget = NewWidget(c);
        widget->labelfont(kFont);
        widget->labelsize(DialogFontSize());
        if (TakesFocus(c.kind)) widget->callback(OnControl, this);
        controls_.push_back(Control{&c, widget, {}, {}});
        if (c.text != nullptr) Show(controls_.back(), c.text);
    }
    window_->end();
    window_->onDefault = [this] { Command(defaultId_); };
    window_->onCancel = [this] { Command(IDCANCEL); };
    // Without a system menu there is no close box, and a close request is ignored.
    if (template_.HasCloseBox()) window_->onClose = [this] { Command(IDCANCEL); };
    window_->onPaint = [this] { Paint(); };
}

Fl_Widget* FltkDialogWindow::NewWidget(const ControlTemplate& c) {
    const int x = Scaled(DialogUnitsToPixelsX(c.x)), y = Scaled(DialogUnitsToPixelsY(c.y));
    const int w = Scaled(DialogUnitsToPixelsX(c.cx)), h = Scaled(DialogUnitsToPixelsY(c.cy));
    Fl_Widget* widget = nullptr;
    switch (c.kind) {
        case ControlKind::DefPushButton:
        case ControlKind::PushButton: {
            const bool isDefault = c.kind == ControlKind::DefPushButton;
            widget = new PushButton(x, y, w, h, isDefault);
            if (isDefault) defaultId_ = c.id;
            break;
        }
        case ControlKind::CheckBox:
            widget = new CheckBox(x, y, w, h);
            break;
        case ControlKind::Edit: {
            auto* input = new Fl_Input(x, y, w, h);
            input->box(FL_DOWN_BOX);
            input->textfont(kFont);
            input->textsize(DialogFontSize());
            input->when(FL_WHEN_NEVER);
            widget = input;
            break;
        }
        case ControlKind::StaticLeft:
        case ControlKind::StaticCenter:
        case ControlKind::Bitmap: {
            auto* box = new StaticBox(x, y, w, h);
            if (c.kind == ControlKind::StaticLeft)
                box->align(FL_ALIGN_WRAP | FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_TOP);
            else if (c.kind == ControlKind::StaticCenter)
                box->align(FL_ALIGN_WRAP | FL_ALIGN_INSIDE | FL_ALIGN_TOP);
            else
                box->align(FL_ALIGN_INSIDE | FL_ALIGN_TOP_LEFT);
            widget = box;
            break;
        }
    }
    return widget;
}

FltkDialogWindow::~FltkDialogWindow() {
    window_->Dismiss();
    window_.reset();
}

namespace {

void OnControl(Fl_Widget* widget, void* data) {
    static_cast<FltkDialogWindow*>(data)->Clicked(widget);
}

}  // namespace

void FltkDialogWindow::Clicked(Fl_Widget* widget) {
    for (const Control& c : controls_)
        if (c.widget == widget) return Command(c.source->id);
}

void FltkDialogWindow::Command(int id) {
    if (ended_) return;
    dialog_.OnCommand(id, BN_CLICKED);
}

void FltkDialogWindow::Paint() {
    painting_ = true;
    dialog_.OnMessage(WM_PAINT);
    painting_ = false;
}

INT_PTR FltkDialogWindow::RunModal() {
    if (ended_) return result_;
    const Frame frame = template_.HasCloseBox() ? Frame::CloseBox : Frame::NoCloseBox;
    window_->ShowOwned(owner_ ? owner_->flWindow() : nullptr, frame, owner_ != nullptr, true);
    if (Control* first = FirstFocus()) first->widget->take_focus();
    window_->RunUntil(ended_);
    window_->Dismiss();
    return result_;
}

void FltkDialogWindow::EndModal(INT_PTR result) {
    if (!End(result)) return;
    // Hidden at once, as EndDialog does; the modal loop ends when the handler returns.
    window_->Dismiss();
}

void FltkDialogWindow::SetCheck(int id, UINT state) {
    Control* c = Find(id);
    if (c && c->source->kind == ControlKind::CheckBox)
        static_cast<CheckBox*>(c->widget)->SetChecked(state);
}

UINT FltkDialogWindow::GetCheck(int id) const {
    const Control* c = Find(id);
    if (c && c->source->kind == ControlKind::CheckBox)
        return static_cast<CheckBox*>(c->widget)->checked();
    return 0;
}

void FltkDialogWindow::SetText(int id, std::string_view text) {
    if (Control* c = Find(id)) Show(*c, text);
}

void FltkDialogWindow::Show(Control& c, std::string_view text) {
    c.text.assign(text);
    const std::string utf8 = codec_.ToUtf8(text);
    if (c.source->kind == ControlKind::Edit) {
        static_cast<Fl_Input*>(c.widget)->value(utf8.c_str());
    } else if (c.source->kind != ControlKind::Bitmap) {
        c.widget->copy_label(LabelText(utf8).c_str());
        c.widget->redraw();
    }
}

std::string FltkDialogWindow::GetText(int id) const {
    const Control* c = Find(id);
    if (c == nullptr) return {};
    if (c->source->kind == ControlKind::Edit)
        return codec_.ToNarrow(static_cast<const Fl_Input*>(c->widget)->value());
    return c->text;
}

void FltkDialogWindow::LimitText(int id, int maxChars) {
    Control* c = Find(id);
    if (c == nullptr || c->source->kind != ControlKind::Edit) return;
    static_cast<Fl_Input*>(c->widget)->maximum_size(maxChars > 0 ? maxChars
                                                                 : std::numeric_limits<int>::max());
}

void FltkDialogWindow::SetFocus(int id) {
    Control* c = Find(id);
    if (c == nullptr || !TakesFocus(c->source->kind)) return;
    if (!window_->shown()) {
        pendingFocus_ = id;
        return;
    }
    c->widget->take_focus();
    // The edit field shows its whole text selected, as after Tab.
    if (c->source->kind == ControlKind::Edit) {
        auto* input = static_cast<Fl_Input*>(c->widget);
        input->position(input->size(), 0);
    }
}

void FltkDialogWindow::SetPicture(int id, const Picture& picture) {
    Control* c = Find(id);
    if (c == nullptr || c->source->kind != ControlKind::Bitmap) return;
    if (!c->picture.Assign(picture, Scale())) return;
    auto* box = static_cast<Fl_Box*>(c->widget);
    box->image(c->picture.image.get());
    // A bitmap control takes the size of its bitmap, at the desktop's scale.
    box->resize(box->x(), box->y(), c->picture.image->w(), c->picture.image->h());
    window_->redraw();
}

void FltkDialogWindow::SetIcon(const Picture& icon, bool large) {
    ImageHolder& holder = icons_[large ? 0 : 1];
    if (!holder.Assign(icon)) return;
    const Fl_RGB_Image* images[2];
    int count = 0;
    for (const ImageHolder& h : icons_)
        if (h.image) images[count++] = h.image.get();
    window_->icons(images, count);
}

bool FltkDialogWindow::IsIconic() const { return window_->shown() && !window_->visible(); }

void FltkDialogWindow::DrawIcon(const Picture& icon) {
    // Only a paint in progress has somewhere to draw.
    if (!painting_) return;
    ImageHolder holder;
    if (!holder.Assign(icon)) return;
    constexpr int kIconSide = 32;
    fl_color(window_->color());
    fl_rectf(0, 0, window_->w(), window_->h());
    holder.image->draw((window_->w() - kIconSide + 1) / 2, (window_->h() - kIconSide + 1) / 2);
    window_->paintOnlyIcon = true;
}

}  // namespace vx::fltk
