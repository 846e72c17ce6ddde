#include "platform/gtk/gtk_dialog_window.h"

#include <algorithm>

#include "platform/gtk/gtk_widgets.h"

namespace vx::gtk {

GtkDialogWindow::GtkDialogWindow(const DialogTemplate& dialogTemplate, CDialog& dialog,
                                 GtkDialogWindow* owner, const TextCodec& codec)
    : TemplateWindow(dialogTemplate, dialog, codec), owner_(owner) {
    MakeWindow();
    MeasureBaseUnits();
    BuildControls();
    LabelFields();
    ConnectWindowSignals();
}

void GtkDialogWindow::MakeWindow() {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(window_);
    GtkWindow* window = GTK_WINDOW(window_);
    gtk_window_set_title(window, codec_.ToUtf8(template_.caption).c_str());
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_deletable(window, template_.HasCloseBox());
    gtk_style_context_add_class(gtk_widget_get_style_context(window_), "vx-dialog");
    if (owner_) {
        gtk_window_set_transient_for(window, owner_->gtkWindow());
        gtk_window_set_modal(window, TRUE);
        gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
        gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
    } else {
        gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    }
}

void GtkDialogWindow::MeasureBaseUnits() {
    // The dialog base units of the font the controls show, as the Windows
    // dialog manager measures them: the mean width of the 52 letters, and
    // the line height.
    PangoLayout* layout = gtk_widget_create_pango_layout(
        window_, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int textW = 0, textH = 0;
    pango_layout_get_pixel_size(layout, &textW, &textH);
    g_object_unref(layout);
    if (textW > 0 && textH > 0) {
        baseX_ = (textW / 26 + 1) / 2;
        baseY_ = textH;
    }
}

GtkWidget* GtkDialogWindow::NewControlWidget(ControlKind kind) {
    GtkWidget* widget = nullptr;
    switch (kind) {
        case ControlKind::DefPushButton:
        case ControlKind::PushButton:
            widget = gtk_button_new_with_mnemonic("");
            // Enter clicks whichever push button holds the focus.
            gtk_widget_set_receives_default(widget, TRUE);
            g_signal_connect(widget, "clicked", G_CALLBACK(OnClicked), this);
            break;
        case ControlKind::CheckBox:
            widget = gtk_check_button_new_with_mnemonic("");
            g_signal_connect(widget, "toggled", G_CALLBACK(OnToggled), this);
            break;
        case ControlKind::Edit:
            widget = gtk_entry_new();
            // Its rectangle sets its width, not a count of characters.
            gtk_entry_set_width_chars(GTK_ENTRY(widget), 1);
            break;
        case ControlKind::StaticLeft:
        case ControlKind::StaticCenter: {
            widget = gtk_label_new("");
            GtkLabel* label = GTK_LABEL(widget);
            gtk_label_set_line_wrap(label, TRUE);
            // Wrapped inside the rectangle rather than widened to the text.
            gtk_label_set_max_width_chars(label, 1);
            gtk_label_set_yalign(label, 0);
            const bool centred = kind == ControlKind::StaticCenter;
            gtk_label_set_xalign(label, centred ? 0.5f : 0.0f);
            gtk_label_set_justify(label, centred ? GTK_JUSTIFY_CENTER : GTK_JUSTIFY_LEFT);
            break;
        }
        case ControlKind::Bitmap:
            widget = gtk_image_new();
            gtk_widget_set_halign(widget, GTK_ALIGN_START);
            gtk_widget_set_valign(widget, GTK_ALIGN_START);
            break;
    }
    return widget;
}

void GtkDialogWindow::BuildControls() {
    GtkWindow* window = GTK_WINDOW(window_);
    auto px = [this](int x) { return MulDiv(x, baseX_, 4); };
    auto py = [this](int y) { return MulDiv(y, baseY_, 8); };

    // A layout's size is its own, whatever its children ask for; they get
    // their template rectangles exactly (see PlaceControls), clipped there
    // as the Windows controls are.
    fixed_ = gtk_layout_new(nullptr, nullptr);
    gtk_widget_set_size_request(fixed_, px(template_.cx), py(template_.cy));
    g_signal_connect_after(fixed_, "size-allocate", G_CALLBACK(PlaceControls), this);
    gtk_container_add(GTK_CONTAINER(window_), fixed_);
    controls_.reserve(template_.controls.size());
    GList* focusChain = nullptr;
    for (const ControlTemplate& c : template_.controls) {
        GtkWidget* widget = NewControlWidget(c.kind);
        gtk_layout_put(GTK_LAYOUT(fixed_), widget, px(c.x), py(c.y));
        if (c.kind == ControlKind::DefPushButton) {
            defaultId_ = c.id;
            gtk_widget_set_can_default(widget, TRUE);
            gtk_window_set_default(window, widget);
        }
        if (TakesFocus(c.kind)) focusChain = g_list_append(focusChain, widget);
        controls_.push_back(
            Control{&c, widget, {}, {}, GdkRectangle{px(c.x), py(c.y), px(c.cx), py(c.cy)}});
        if (c.text != nullptr) Show(controls_.back(), c.text);
    }
    // Tab follows the template's order, not the controls' places.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_container_set_focus_chain(GTK_CONTAINER(fixed_), focusChain);
    G_GNUC_END_IGNORE_DEPRECATIONS
    g_list_free(focusChain);
}

void GtkDialogWindow::LabelFields() {
    // An edit field is named by the text before it, as a screen reader on
    // Windows names it.
    for (std::size_t i = 1; i < controls_.size(); ++i) {
        if (controls_[i].source->kind != ControlKind::Edit) continue;
        const Control& label = controls_[i - 1];
        if (label.source->kind == ControlKind::Edit || label.source->kind == ControlKind::Bitmap ||
            label.text.empty())
            continue;
        AtkObject* field = gtk_widget_get_accessible(controls_[i].widget);
        AtkObject* labelObject = gtk_widget_get_accessible(label.widget);
        atk_object_add_relationship(field, ATK_RELATION_LABELLED_BY, labelObject);
        atk_object_add_relationship(labelObject, ATK_RELATION_LABEL_FOR, field);
        atk_object_set_name(field, PlainText(codec_.ToUtf8(label.text)).c_str());
    }
}

void GtkDialogWindow::ConnectWindowSignals() {
    FocusWhenMapped(window_);
    g_signal_connect(window_, "key-press-event", G_CALLBACK(OnKey), this);
    g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
    g_signal_connect(window_, "draw", G_CALLBACK(OnDraw), this);
    g_signal_connect(window_, "notify::scale-factor",
                     G_CALLBACK(+[](GObject*, GParamSpec*, gpointer self) {
                         // The pictures again, at the new scale's pixels.
                         auto* me = static_cast<GtkDialogWindow*>(self);
                         for (Control& c : me->controls_)
                             if (c.picture.width > 0)
                                 me->SetPicture(c.source->id, Picture(c.picture));
                     }),
                     this);
}

GtkDialogWindow::~GtkDialogWindow() {
    for (const auto& p : pending_) g_source_remove(p->source);
    pending_.clear();
    gtk_widget_destroy(window_);
    g_object_unref(window_);
    for (GdkPixbuf* pixbuf : iconPixbufs_)
        if (pixbuf) g_object_unref(pixbuf);
    g_list_free(icons_);
}

void GtkDialogWindow::PlaceControls(GtkWidget*, GdkRectangle*, gpointer self) {
    for (Control& c : static_cast<GtkDialogWindow*>(self)->controls_) {
        // Measured first, as GTK wants before any allocation. A text is
        // clipped to its rectangle; a control never gets less than it needs.
        GtkRequisition minimum;
        gtk_widget_get_preferred_size(c.widget, &minimum, nullptr);
        GdkRectangle rect = c.rect;
        if (!GTK_IS_LABEL(c.widget)) {
            rect.width = std::max(rect.width, minimum.width);
            rect.height = std::max(rect.height, minimum.height);
        }
        gtk_widget_size_allocate(c.widget, &rect);
    }
}

void GtkDialogWindow::QueueCommand(int id) {
    auto pending = std::make_unique<PendingCommand>(PendingCommand{this, id});
    pending->source = g_idle_add(RunPending, pending.get());
    pending_.push_back(std::move(pending));
}

gboolean GtkDialogWindow::RunPending(gpointer data) {
    auto* pending = static_cast<PendingCommand*>(data);
    GtkDialogWindow* self = pending->window;
    const int id = pending->id;
    auto& list = self->pending_;
    list.erase(std::find_if(list.begin(), list.end(),
                            [pending](const auto& p) { return p.get() == pending; }));
    // The window may go while the command runs: nothing of it is used after.
    self->Command(id);
    return G_SOURCE_REMOVE;
}

void GtkDialogWindow::OnClicked(GtkButton* button, gpointer self) {
    auto* me = static_cast<GtkDialogWindow*>(self);
    if (Control* c = me->FindWidget(GTK_WIDGET(button))) me->QueueCommand(c->source->id);
}

void GtkDialogWindow::OnToggled(GtkToggleButton* button, gpointer self) {
    auto* me = static_cast<GtkDialogWindow*>(self);
    if (me->updatingCheck_) return;
    // A click changes no mark by itself: the dialog sets it in its handler.
    me->updatingCheck_ = true;
    gtk_toggle_button_set_active(button, !gtk_toggle_button_get_active(button));
    me->updatingCheck_ = false;
    if (Control* c = me->FindWidget(GTK_WIDGET(button))) me->QueueCommand(c->source->id);
}

gboolean GtkDialogWindow::OnKey(GtkWidget*, GdkEventKey* event, gpointer self) {
    auto* me = static_cast<GtkDialogWindow*>(self);
    const guint modifiers = event->state & gtk_accelerator_get_default_mod_mask();
    if (modifiers & (GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK | GDK_META_MASK))
        return FALSE;
    switch (event->keyval) {
        case GDK_KEY_Escape:
            me->QueueCommand(IDCANCEL);
            return TRUE;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
        case GDK_KEY_ISO_Enter: {
            // The focused push button, else the default one.
            GtkWidget* focus = gtk_window_get_focus(me->gtkWindow());
            const Control* c = focus ? me->FindWidget(focus) : nullptr;
            const bool pushButton = c && (c->source->kind == ControlKind::PushButton ||
                                          c->source->kind == ControlKind::DefPushButton);
            me->QueueCommand(pushButton ? c->source->id : me->defaultId_);
            return TRUE;
        }
        default:
            return FALSE;
    }
}

gboolean GtkDialogWindow::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
    auto* me = static_cast<GtkDialogWindow*>(self);
    // Without a system menu there is no close box, and a close request is ignored.
    if (me->template_.HasCloseBox()) me->QueueCommand(IDCANCEL);
    return TRUE;
}

gboolean GtkDialogWindow::OnDraw(GtkWidget*, cairo_t* cr, gpointer self) {
    auto* me = static_cast<GtkDialogWindow*>(self);
    me->painting_ = cr;
    me->paintOnlyIcon_ = false;
    me->dialog_.OnMessage(WM_PAINT);
    me->painting_ = nullptr;
    const bool onlyIcon = me->paintOnlyIcon_;
    me->paintOnlyIcon_ = false;
    return onlyIcon;
}

GtkDialogWindow::Control* GtkDialogWindow::FindWidget(GtkWidget* widget) {
    for (Control& c : controls_)
        if (c.widget == widget) return &c;
    return nullptr;
}

void GtkDialogWindow::Command(int id) {
    if (ended_ || disabled_ > 0) return;
    dialog_.OnCommand(id, BN_CLICKED);
}

INT_PTR GtkDialogWindow::RunModal() {
    if (ended_) return result_;
    if (owner_) owner_->Disable();
    gtk_widget_show_all(window_);
    if (Control* first = FirstFocus()) gtk_widget_grab_focus(first->widget);
    gtk_window_present(gtkWindow());
    while (!ended_) g_main_context_iteration(nullptr, TRUE);
    gtk_widget_hide(window_);
    if (owner_) owner_->Enable();
    return result_;
}

void GtkDialogWindow::EndModal(INT_PTR result) {
    if (!End(result)) return;
    // Hidden at once, as EndDialog does; the modal loop ends when the handler returns.
    gtk_widget_hide(window_);
}

void GtkDialogWindow::SetCheck(int id, UINT state) {
    Control* c = Find(id);
    if (c == nullptr || c->source->kind != ControlKind::CheckBox) return;
    updatingCheck_ = true;
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c->widget), state != 0);
    updatingCheck_ = false;
}

UINT GtkDialogWindow::GetCheck(int id) const {
    const Control* c = Find(id);
    if (c == nullptr || c->source->kind != ControlKind::CheckBox) return 0;
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(c->widget)) ? 1 : 0;
}

void GtkDialogWindow::SetText(int id, std::string_view text) {
    if (Control* c = Find(id)) Show(*c, text);
}

void GtkDialogWindow::Show(Control& c, std::string_view text) {
    c.text.assign(text);
    const std::string utf8 = codec_.ToUtf8(text);
    switch (c.source->kind) {
        case ControlKind::Edit:
            gtk_entry_set_text(GTK_ENTRY(c.widget), utf8.c_str());
            break;
        case ControlKind::DefPushButton:
        case ControlKind::PushButton:
        case ControlKind::CheckBox:
            gtk_button_set_label(GTK_BUTTON(c.widget), MnemonicText(utf8).c_str());
            break;
        case ControlKind::StaticLeft:
        case ControlKind::StaticCenter:
            gtk_label_set_text(GTK_LABEL(c.widget), utf8.c_str());
            break;
        case ControlKind::Bitmap:
            break;
    }
}

std::string GtkDialogWindow::GetText(int id) const {
    const Control* c = Find(id);
    if (c == nullptr) return {};
    if (c->source->kind == ControlKind::Edit)
        return codec_.ToNarrow(gtk_entry_get_text(GTK_ENTRY(c->widget)));
    return c->text;
}

void GtkDialogWindow::LimitText(int id, int maxChars) {
    Control* c = Find(id);
    if (c == nullptr || c->source->kind != ControlKind::Edit) return;
    // GTK's own limit is its largest length.
    gtk_entry_set_max_length(GTK_ENTRY(c->widget), maxChars > 0 ? std::min(maxChars, 65535) : 0);
}

void GtkDialogWindow::SetFocus(int id) {
    Control* c = Find(id);
    if (c == nullptr || !TakesFocus(c->source->kind)) return;
    if (!gtk_widget_get_visible(window_)) {
        pendingFocus_ = id;
        return;
    }
    gtk_widget_grab_focus(c->widget);
    // The edit field shows its whole text selected, as after Tab.
    if (c->source->kind == ControlKind::Edit)
        gtk_editable_select_region(GTK_EDITABLE(c->widget), 0, -1);
}

void GtkDialogWindow::SetPicture(int id, const Picture& picture) {
    Control* c = Find(id);
    if (c == nullptr || c->source->kind != ControlKind::Bitmap) return;
    // A bitmap control takes the size of its bitmap, here in the font's
    // proportion to the dialog font the template was drawn for.
    const double factor = std::min(baseX_ / 6.0, baseY_ / 13.0);
    const int width = std::max(1, static_cast<int>(picture.width * factor + 0.5));
    const int height = std::max(1, static_cast<int>(picture.height * factor + 0.5));
    cairo_surface_t* surface = ScaledSurface(picture, width, height, window_);
    if (surface == nullptr) return;
    c->picture = picture;
    gtk_image_set_from_surface(GTK_IMAGE(c->widget), surface);
    cairo_surface_destroy(surface);
    c->rect.width = width;
    c->rect.height = height;
    gtk_widget_queue_resize(c->widget);
    if (!picture.description.empty()) {
        AtkObject* image = gtk_widget_get_accessible(c->widget);
        atk_object_set_name(image, codec_.ToUtf8(picture.description).c_str());
        atk_image_set_image_description(ATK_IMAGE(image),
                                        codec_.ToUtf8(picture.description).c_str());
    }
}

void GtkDialogWindow::SetIcon(const Picture& icon, bool large) {
    GdkPixbuf*& slot = iconPixbufs_[large ? 0 : 1];
    GdkPixbuf* pixbuf = PixbufOf(icon);
    if (pixbuf == nullptr) return;
    if (slot) g_object_unref(slot);
    slot = pixbuf;
    g_list_free(icons_);
    icons_ = nullptr;
    for (GdkPixbuf* p : iconPixbufs_)
        if (p) icons_ = g_list_append(icons_, p);
    gtk_window_set_icon_list(gtkWindow(), icons_);
}

bool GtkDialogWindow::IsIconic() const {
    GdkWindow* window = gtk_widget_get_window(window_);
    return window && (gdk_window_get_state(window) & GDK_WINDOW_STATE_ICONIFIED) != 0;
}

void GtkDialogWindow::DrawIcon(const Picture& icon) {
    // Only a paint in progress has somewhere to draw.
    if (painting_ == nullptr) return;
    GdkPixbuf* pixbuf = PixbufOf(icon);
    if (pixbuf == nullptr) return;
    const int w = gtk_widget_get_allocated_width(window_);
    const int h = gtk_widget_get_allocated_height(window_);
    gtk_render_background(gtk_widget_get_style_context(window_), painting_, 0, 0, w, h);
    gdk_cairo_set_source_pixbuf(painting_, pixbuf, (w - icon.width + 1) / 2,
                                (h - icon.height + 1) / 2);
    cairo_paint(painting_);
    g_object_unref(pixbuf);
    paintOnlyIcon_ = true;
}

}  // namespace vx::gtk
