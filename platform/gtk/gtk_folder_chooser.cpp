// The folder chooser: drives as the machine maps them, their folders read
// when a branch is opened, a Windows path as the answer.
#include <deque>

#include "platform/framework/folder_listing.h"
#include "platform/gtk/gtk_shell_windows.h"

namespace vx::gtk {

namespace {

enum Column { kLabel, kFolder, kColumns };

struct Folder {
    std::string windowsPath;  // narrow
    bool listed = false;
};

class Chooser {
public:
    Chooser(SystemServices& sys, const TextCodec& codec) : sys_(sys), codec_(codec) {}

    std::optional<std::string> Run(GtkDialogWindow* owner) {
        GtkWidget* dialog = gtk_dialog_new_with_buttons(
            "Browse for Folder", owner ? owner->gtkWindow() : nullptr,
            static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), "OK",
            GTK_RESPONSE_OK, "Cancel", GTK_RESPONSE_CANCEL, nullptr);
        gtk_window_set_default_size(GTK_WINDOW(dialog), 320, 360);
        gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);

        store_ = gtk_tree_store_new(kColumns, G_TYPE_STRING, G_TYPE_INT);
        GtkWidget* tree = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store_));
        g_object_unref(store_);
        tree_ = GTK_TREE_VIEW(tree);
        gtk_tree_view_set_headers_visible(tree_, FALSE);
        gtk_tree_view_insert_column_with_attributes(
            tree_, -1, "Folder", gtk_cell_renderer_text_new(), "text", kLabel, nullptr);
        atk_object_set_name(gtk_widget_get_accessible(tree), "Folders");
        g_signal_connect(tree, "test-expand-row", G_CALLBACK(OnExpand), this);
        // Enter or a double click on a folder picks it, as OK does.
        g_signal_connect(
            tree, "row-activated",
            G_CALLBACK(+[](GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*, gpointer d) {
                gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_OK);
            }),
            dialog);
        GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_IN);
        gtk_container_add(GTK_CONTAINER(scrolled), tree);
        GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
        gtk_box_pack_start(GTK_BOX(content), scrolled, TRUE, TRUE, 0);
        gtk_container_set_border_width(GTK_CONTAINER(content), 11);

        bool first = true;
        for (const std::string& root : ListDrives(sys_)) {
            GtkTreeIter item;
            AddFolder(nullptr, codec_.ToUtf8(root.substr(0, 2)), root, &item);
            if (first) {
                GtkTreePath* path = gtk_tree_model_get_path(GTK_TREE_MODEL(store_), &item);
                gtk_tree_view_set_cursor(tree_, path, nullptr, FALSE);
                gtk_tree_path_free(path);
                first = false;
            }
        }
        FocusWhenMapped(dialog);
        gtk_widget_show_all(dialog);
        gtk_widget_grab_focus(tree);

        std::optional<std::string> chosen;
        if (owner) owner->Disable();
        while (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
            // OK with nothing selected does nothing.
            if (const Folder* folder = Selected()) {
                chosen = folder->windowsPath;
                break;
            }
        }
        if (owner) owner->Enable();
        gtk_widget_destroy(dialog);
        return chosen;
    }

private:
    static gboolean OnExpand(GtkTreeView*, GtkTreeIter* item, GtkTreePath*, gpointer self) {
        static_cast<Chooser*>(self)->List(item);
        return FALSE;
    }

    void AddFolder(GtkTreeIter* parent, const std::string& utf8Label,
                   const std::string& windowsPath, GtkTreeIter* item) {
        folders_.push_back(Folder{windowsPath, false});
        gtk_tree_store_insert_with_values(store_, item, parent, -1, kLabel, utf8Label.c_str(),
                                          kFolder, static_cast<int>(folders_.size() - 1), -1);
        // A stand-in child gives the branch its expander until it is read.
        GtkTreeIter standIn;
        gtk_tree_store_insert_with_values(store_, &standIn, item, -1, kLabel, "", kFolder, -1, -1);
    }

    void List(GtkTreeIter* item) {
        Folder* folder = FolderAt(item);
        if (folder == nullptr || folder->listed) return;
        folder->listed = true;
        const std::string path = folder->windowsPath;
        GtkTreeIter child;
        while (gtk_tree_model_iter_children(GTK_TREE_MODEL(store_), &child, item))
            gtk_tree_store_remove(store_, &child);
        for (const std::string& name : ListSubfolders(sys_, path)) {
            GtkTreeIter added;
            AddFolder(item, codec_.ToUtf8(name), JoinWindowsPath(path, name), &added);
        }
    }

    Folder* FolderAt(GtkTreeIter* item) {
        int index = -1;
        gtk_tree_model_get(GTK_TREE_MODEL(store_), item, kFolder, &index, -1);
        if (index < 0 || static_cast<std::size_t>(index) >= folders_.size()) return nullptr;
        return &folders_[static_cast<std::size_t>(index)];
    }

    const Folder* Selected() {
        GtkTreeIter item;
        if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(tree_), nullptr, &item))
            return nullptr;
        return FolderAt(&item);
    }

    SystemServices& sys_;
    const TextCodec& codec_;
    GtkTreeStore* store_ = nullptr;
    GtkTreeView* tree_ = nullptr;
    std::deque<Folder> folders_;
};

}  // namespace

std::optional<std::string> ChooseFolder(GtkDialogWindow* owner, SystemServices& sys,
                                        const TextCodec& codec) {
    Chooser chooser(sys, codec);
    return chooser.Run(owner);
}

}  // namespace vx::gtk
