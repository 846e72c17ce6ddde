// Dialogs drawn in the terminal with curses, for machines without a
// display: the same templates, the same keyboard as the windows.
#include <memory>

#include "platform/backends.h"
#include "platform/framework/afx.h"
#include "platform/text/text_codec.h"
#include "platform/terminal/dialog_window.h"
#include "platform/terminal/screen.h"
#include "platform/terminal/shell_windows.h"

namespace vx {

namespace {

using terminal::ButtonChoice;

class TerminalBackend final : public WindowBackend {
public:
    TerminalBackend(std::unique_ptr<terminal::Screen> screen, UINT codePage)
        : screen_(std::move(screen)), codec_(codePage) {}

    std::unique_ptr<DialogWindow> CreateDialogWindow(const DialogTemplate& dialogTemplate,
                                                     CDialog& dialog,
                                                     DialogWindow* owner) override {
        // An owned dialog is drawn over its owner, which takes no keys meanwhile.
        return std::make_unique<terminal::DialogTextWindow>(*screen_, dialogTemplate, dialog,
                                                            codec_);
    }

    int MessageBox(DialogWindow*, std::string_view text, std::string_view caption,
                   UINT type) override {
        // OK boxes, where Escape also means OK, and Yes/No questions, where it means No.
        static constexpr ButtonChoice kOk[] = {{"OK", IDOK}};
        static constexpr ButtonChoice kYesNo[] = {{"&Yes", IDYES}, {"&No", IDNO}};
        if (!IsYesNoBox(type))
            return terminal::RunButtonWindow(*screen_, codec_.ToUtf8(text), codec_.ToUtf8(caption),
                                             kOk, IDOK);
        return terminal::RunButtonWindow(*screen_, codec_.ToUtf8(text), codec_.ToUtf8(caption),
                                         kYesNo, IDNO, DefaultResultOf(type) == IDNO ? 1 : 0);
    }

    bool AskConfirmation(DialogWindow*, std::string_view text, std::string_view caption) override {
        static constexpr ButtonChoice kYesNo[] = {{"&Yes", IDYES}, {"&No", IDNO}};
        return terminal::RunButtonWindow(*screen_, codec_.ToUtf8(text), codec_.ToUtf8(caption),
                                         kYesNo, IDNO) == IDYES;
    }

    void BeginProgress(DialogWindow*, std::string_view text) override {
        progress_.reset();
        progress_ = std::make_unique<terminal::ProgressWindow>(*screen_, codec_.ToUtf8(text));
    }
    void UpdateProgress(std::uint64_t done, std::uint64_t total) override {
        if (progress_) progress_->Update(done, total);
    }
    void EndProgress() override { progress_.reset(); }

    std::optional<std::string> BrowseForFolder(DialogWindow*, SystemServices& sys) override {
        return terminal::ChooseFolder(*screen_, sys, codec_);
    }

private:
    std::unique_ptr<terminal::Screen> screen_;
    TextCodec codec_;
    std::unique_ptr<terminal::ProgressWindow> progress_;
};

}  // namespace

std::unique_ptr<WindowBackend> CreateTerminalBackend(UINT codePage) {
    std::unique_ptr<terminal::Screen> screen = terminal::Screen::Open();
    if (!screen) return nullptr;
    return std::make_unique<TerminalBackend>(std::move(screen), codePage);
}

}  // namespace vx
