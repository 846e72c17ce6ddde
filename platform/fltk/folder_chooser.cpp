// The folder chooser: drives as the machine maps them, their folders read
// when a branch is opened, a Windows path as the answer.
#include <FL/Fl.H>
#include <FL/Fl_Tree.H>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/fltk/fltk_shell_windows.h"
#include "platform/framework/folder_listing.h"

namespace vx::fltk {

namespace {

struct Folder {
    std::string windowsPath;  // narrow
    bool listed = false;
};

// A tree whose keyboard moves the selection, as the shell's tree does (FLTK's
// arrows move only a focus mark).
class FolderTree : public Fl_Tree {
public:
    using Fl_Tree::Fl_Tree;
    int handle(int event) override {
        const int used = Fl_Tree::handle(event);
        if (event == FL_KEYBOARD) {
            Fl_Tree_Item* focused = get_item_focus();
            if (focused && !focused->is_selected()) select_only(focused, 1);
        }
        return used;
    }
};

class Chooser {
public:
    Chooser(SystemServices& sys, const TextCodec& codec) : sys_(sys), codec_(codec) {}

    std::optional<std::string> Run(DialogFlWindow* owner) {
        const int w = Scaled(320), h = Scaled(360), margin = Scaled(11);
        const int buttonW = Scaled(75), buttonH = Scaled(23);
        DialogFlWindow window(w, h, "Browse for Folder");
        tree_ = new FolderTree(margin, margin, w - 2 * margin, h - 3 * margin - buttonH);
        tree_->showroot(0);
        tree_->selectmode(FL_TREE_SELECT_SINGLE);
        tree_->item_labelfont(kFont);
        tree_->item_labelsize(DialogFontSize());
        tree_->connectorstyle(FL_TREE_CONNECTOR_DOTTED);
        ScaleTree(*tree_);
        tree_->callback(OnTree, this);
        auto* ok = new PushButton(w - 2 * margin - 2 * buttonW + margin - Scaled(6),
                                  h - margin - buttonH, buttonW, buttonH, true);
        ok->label("OK");
        auto* cancel =
            new PushButton(w - margin - buttonW, h - margin - buttonH, buttonW, buttonH, false);
        cancel->label("Cancel");
        window.end();

        Fl_Tree_Item* firstDrive = nullptr;
        for (const std::string& root : ListDrives(sys_)) {
            Fl_Tree_Item* item = AddFolder(tree_->root(), codec_.ToUtf8(root.substr(0, 2)), root);
            if (!firstDrive) firstDrive = item;
        }

        bool done = false;
        bool picked = false;
        auto accept = [&] {
            if (Selected() == nullptr) return;
            picked = true;
            done = true;
        };
        auto refuse = [&] { done = true; };
        ok->callback([](Fl_Widget*, void* f) { (*static_cast<std::function<void()>*>(f))(); },
                     &acceptAction_);
        cancel->callback([](Fl_Widget*, void* f) { (*static_cast<std::function<void()>*>(f))(); },
                         &refuseAction_);
        acceptAction_ = accept;
        refuseAction_ = refuse;
        window.onDefault = accept;
        window.onCancel = refuse;
        window.onClose = refuse;

        window.ShowOwned(owner, Frame::CloseBox, true, true);
        if (firstDrive) {
            tree_->select_only(firstDrive, 0);
            tree_->set_item_focus(firstDrive);
        }
        tree_->take_focus();
        window.RunUntil(done);
        window.Dismiss();
        const Folder* folder = Selected();
        if (!picked || folder == nullptr) return std::nullopt;
        return folder->windowsPath;
    }

private:
    static void OnTree(Fl_Widget*, void* data) { static_cast<Chooser*>(data)->TreeChanged(); }

    // The tree's margins and its opener icons at the desktop's scale.
    void ScaleTree(Fl_Tree& tree) {
        if (Scale() == 1.0) return;
        tree.margintop(Scaled(tree.margintop()));
        tree.marginleft(Scaled(tree.marginleft()));
        tree.linespacing(Scaled(tree.linespacing()));
        tree.openchild_marginbottom(Scaled(tree.openchild_marginbottom()));
        tree.usericonmarginleft(Scaled(tree.usericonmarginleft()));
        tree.labelmarginleft(Scaled(tree.labelmarginleft()));
        tree.connectorwidth(Scaled(tree.connectorwidth()));
        Fl_Image* open = tree.openicon();
        Fl_Image* close = tree.closeicon();
        if (open && close) {
            openIcon_.reset(open->copy(Scaled(open->w()), Scaled(open->h())));
            closeIcon_.reset(close->copy(Scaled(close->w()), Scaled(close->h())));
            tree.openicon(openIcon_.get());
            tree.closeicon(closeIcon_.get());
        }
    }

    void TreeChanged() {
        Fl_Tree_Item* item = tree_->callback_item();
        if (item && tree_->callback_reason() == FL_TREE_REASON_OPENED) List(item);
    }

    Fl_Tree_Item* AddFolder(Fl_Tree_Item* parent, const std::string& utf8Label,
                            const std::string& windowsPath) {
        Fl_Tree_Item* item = tree_->add(parent, utf8Label.c_str());
        if (item == nullptr) return nullptr;
        folders_.push_back(Folder{windowsPath, false});
        item->user_data(&folders_.back());
        // A stand-in child gives the branch its opener until it is read.
        tree_->add(item, "");
        item->close();
        return item;
    }

    void List(Fl_Tree_Item* item) {
        auto* folder = static_cast<Folder*>(item->user_data());
        if (folder == nullptr || folder->listed) return;
        folder->listed = true;
        item->clear_children();
        for (const std::string& name : ListSubfolders(sys_, folder->windowsPath))
            AddFolder(item, codec_.ToUtf8(name), JoinWindowsPath(folder->windowsPath, name));
        tree_->redraw();
    }

    const Folder* Selected() const {
        Fl_Tree_Item* item = tree_->first_selected_item();
        return item ? static_cast<const Folder*>(item->user_data()) : nullptr;
    }

    SystemServices& sys_;
    const TextCodec& codec_;
    std::unique_ptr<Fl_Image> openIcon_, closeIcon_;  // the tree's; they outlive its window
    Fl_Tree* tree_ = nullptr;
    std::deque<Folder> folders_;
    std::function<void()> acceptAction_, refuseAction_;
};

}  // namespace

std::optional<std::string> ChooseFolder(DialogFlWindow* owner, SystemServices& sys,
                                        const TextCodec& codec) {
    Chooser chooser(sys, codec);
    return chooser.Run(owner);
}

}  // namespace vx::fltk
