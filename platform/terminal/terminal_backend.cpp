// Dialogs drawn in the terminal with curses, for machines without a
// display: the same templates, the same keyboard as the windows.
#include <memory>

#include "platform/backends.h"
#include "platform/framework/afx.h"
#include "platform/framework/system_windows.h"
#include "platform/terminal/dialog_window.h"
#include "platform/terminal/screen.h"
#include "platform/terminal/shell_windows.h"

namespace vx {

namespace {

class TerminalBackend final : public SystemWindowsBackend {
public:
    TerminalBackend(std::unique_ptr<terminal::Screen> screen, UINT codePage)
        : SystemWindowsBackend(codePage), screen_(std::move(screen)) {}
    // The progress window draws on the screen: it closes first.
    ~TerminalBackend() override { EndProgress(); }

    std::unique_ptr<DialogWindow> CreateDialogWindow(const DialogTemplate& dialogTemplate,
                                                     CDialog& dialog,
                                                     DialogWindow* owner) override {
        // An owned dialog is drawn over its owner, which takes no keys meanwhile.
        return std::make_unique<terminal::DialogTextWindow>(*screen_, dialogTemplate, dialog,
                                                            codec());
    }

    std::optional<std::string> BrowseForFolder(DialogWindow*, SystemServices& sys) override {
        return terminal::ChooseFolder(*screen_, sys, codec());
    }

protected:
    int RunButtonBox(DialogWindow*, const ButtonBox& box) override {
        return terminal::RunButtonWindow(*screen_, box);
    }
    std::unique_ptr<ProgressDisplay> OpenProgress(DialogWindow*, std::string utf8Text) override {
        return std::make_unique<terminal::ProgressWindow>(*screen_, std::move(utf8Text));
    }

private:
    std::unique_ptr<terminal::Screen> screen_;
};

}  // namespace

std::unique_ptr<WindowBackend> CreateTerminalBackend(UINT codePage) {
    std::unique_ptr<terminal::Screen> screen = terminal::Screen::Open();
    if (!screen) return nullptr;
    return std::make_unique<TerminalBackend>(std::move(screen), codePage);
}

}  // namespace vx
