#include "platform/gtk/gtk_shell_windows.h"

#include <algorithm>

namespace vx::gtk {

int RunButtonDialog(GtkDialogWindow* owner, const ButtonBox& box) {
    GtkWidget* dialog = gtk_message_dialog_new(
        owner ? owner->gtkWindow() : nullptr,
        static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        GTK_MESSAGE_OTHER, GTK_BUTTONS_NONE, "%s", box.text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), box.caption.c_str());
    // Screen readers announce the alert by its caption, then read its text.
    atk_object_set_name(gtk_widget_get_accessible(dialog), box.caption.c_str());
    for (const ButtonChoice& choice : box.buttons)
        gtk_dialog_add_button(GTK_DIALOG(dialog), MnemonicText(choice.label).c_str(),
                              choice.result);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), box.defaultResult);
    if (GtkWidget* button =
            gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), box.defaultResult))
        gtk_widget_grab_focus(button);
    if (owner) owner->Disable();
    FocusWhenMapped(dialog);
    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    if (owner) owner->Enable();
    gtk_widget_destroy(dialog);
    for (const ButtonChoice& choice : box.buttons)
        if (choice.result == response) return response;
    return box.cancelResult;
}

namespace {

// Lets GTK draw and answer (screen readers included) while a long job runs
// inside a command.
void HandlePendingEvents() {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

}  // namespace

ProgressWindow::ProgressWindow(GtkDialogWindow* owner, std::string utf8Text)
    : owner_(owner), text_(std::move(utf8Text)) {
    if (owner_) owner_->Disable();
}

ProgressWindow::~ProgressWindow() {
    if (window_) {
        gtk_widget_destroy(window_);
        HandlePendingEvents();
    }
    if (owner_) owner_->Enable();
}

void ProgressWindow::Update(std::uint64_t done, std::uint64_t total) {
    const ProgressPacing::Step step = pacing_.Next(done, total);
    if (step.appears) {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        GtkWindow* window = GTK_WINDOW(window_);
        gtk_window_set_title(window, "Copying...");
        gtk_window_set_resizable(window, FALSE);
        gtk_window_set_deletable(window, FALSE);
        gtk_window_set_accept_focus(window, FALSE);
        gtk_window_set_focus_on_map(window, FALSE);
        gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
        if (owner_) {
            gtk_window_set_transient_for(window, owner_->gtkWindow());
            gtk_window_set_modal(window, TRUE);
            gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
        }
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
        gtk_container_set_border_width(GTK_CONTAINER(box), 11);
        GtkWidget* label = gtk_label_new(text_.c_str());
        gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        bar_ = gtk_progress_bar_new();
        gtk_widget_set_size_request(bar_, 338, -1);
        atk_object_set_name(gtk_widget_get_accessible(bar_), text_.c_str());
        gtk_container_add(GTK_CONTAINER(box), label);
        gtk_container_add(GTK_CONTAINER(box), bar_);
        gtk_container_add(GTK_CONTAINER(window_), box);
        gtk_widget_show_all(window_);
    }
    if (!step.draws) return;
    if (bar_) {
        const double fraction =
            total > 0 ? static_cast<double>(std::min(done, total)) / static_cast<double>(total)
                      : 1.0;
        gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(bar_), fraction);
    }
    HandlePendingEvents();
}

}  // namespace vx::gtk
