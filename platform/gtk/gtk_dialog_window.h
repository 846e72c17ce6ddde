// A dialog window built from its template with GTK widgets, laid out in the
// dialog units of the desktop's font and drawn at the desktop's scale.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/framework/afx.h"
#include "platform/framework/template_window.h"
#include "platform/text/text_codec.h"
// GLib's TRUE and FALSE macros come after the framework's constants of those names.
#include <gtk/gtk.h>

#include "platform/gtk/gtk_widgets.h"

namespace vx::gtk {

// One control of a dialog window and the widget that shows it.
struct GtkControl {
    const ControlTemplate* source;
    GtkWidget* widget;
    std::string text;   // narrow, as last set
    Picture picture;    // as last set, drawn again when the scale changes
    GdkRectangle rect;  // in the layout, logical pixels
};

class GtkDialogWindow final : public TemplateWindow<GtkControl> {
public:
    GtkDialogWindow(const DialogTemplate& dialogTemplate, CDialog& dialog, GtkDialogWindow* owner,
                    const TextCodec& codec);
    ~GtkDialogWindow() override;

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

    GtkWindow* gtkWindow() const { return GTK_WINDOW(window_); }
    // While an owned window is up the dialog's commands are dropped, as a
    // disabled owner takes no input on Windows (accessibility actions reach
    // it past GTK's modal grab).
    void Disable() { ++disabled_; }
    void Enable() { --disabled_; }

    // A control's click or key: the command runs once the handler has
    // returned, so that a modal window it opens never runs inside the
    // handler of an accessibility action.
    void QueueCommand(int id);

private:
    using Control = GtkControl;
    struct PendingCommand {
        GtkDialogWindow* window;
        int id;
        guint source = 0;
    };
    // The constructor's steps.
    void MakeWindow();
    void MeasureBaseUnits();
    GtkWidget* NewControlWidget(ControlKind kind);
    void BuildControls();
    void LabelFields();
    void ConnectWindowSignals();

    Control* FindWidget(GtkWidget* widget);
    void Show(Control& c, std::string_view text);
    void Command(int id);
    static gboolean RunPending(gpointer data);
    static void PlaceControls(GtkWidget* layout, GdkRectangle* allocation, gpointer self);
    static void OnClicked(GtkButton* button, gpointer self);
    static void OnToggled(GtkToggleButton* button, gpointer self);
    static gboolean OnKey(GtkWidget* widget, GdkEventKey* event, gpointer self);
    static gboolean OnDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
    static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self);

    GtkDialogWindow* owner_;
    GtkWidget* window_ = nullptr;
    GtkWidget* fixed_ = nullptr;
    std::vector<std::unique_ptr<PendingCommand>> pending_;
    GList* icons_ = nullptr;
    GdkPixbuf* iconPixbufs_[2] = {nullptr, nullptr};  // large, small
    int baseX_ = 6, baseY_ = 13;                      // the font's dialog base units
    int defaultId_ = IDOK;
    int disabled_ = 0;
    bool updatingCheck_ = false;
    cairo_t* painting_ = nullptr;
    bool paintOnlyIcon_ = false;
};

}  // namespace vx::gtk
