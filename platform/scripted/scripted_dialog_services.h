// A dialog backend for tests: it records what the procedures show and answers
// the questions they ask from a script, standing in for the person at the
// keyboard.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/dialog_services.h"
#include "platform/system_services.h"

namespace vx {

class ScriptedDialogServices final : public DialogServices {
public:
    struct Message {
        std::string text;
        std::string caption;
        UINT type;
    };
    struct Check {
        int id;
        UINT state;
    };

    // The sound-card dialog's buttons write their answer through `sys`.
    explicit ScriptedDialogServices(SystemServices& sys) : sys_(sys) {}

    // Script.
    std::string directoryField;            // what GetDlgItemTextA(1003) returns
    std::deque<INT_PTR> soundCardAnswers;  // IDOK or IDCANCEL; empty: IDOK
    std::deque<bool> confirmationAnswers;  // empty: yes
    std::deque<int> messageAnswers;        // IDYES or IDNO for Yes/No boxes; empty: the default

    // Record.
    std::vector<Check> checks;
    std::vector<std::string> statusTexts;  // every text set on the status line, in order
    std::vector<Message> messages;
    std::vector<std::string> questions;
    std::vector<INT_PTR> soundCardResults;
    int progressWindows = 0;
    std::map<int, UINT> checkState;  // the boxes' marks as they stand

    HWND GetSafeHwnd() override { return HwndOf(this); }
    BOOL CheckDlgButton(int id, UINT check) override;
    BOOL SetDlgItemTextA(int id, const char* text) override;
    int GetDlgItemTextA(int id, char* buffer, int size) override;
    int MessageBox(const char* text, const char* caption, UINT type) override;
    INT_PTR RunSoundCardDialog() override;

    bool AskConfirmation(std::string_view text, std::string_view caption) override;
    void BeginProgress(std::string_view text) override;
    void UpdateProgress(std::uint64_t, std::uint64_t) override {}
    void EndProgress() override {}

private:
    SystemServices& sys_;
    std::map<int, std::string> itemTexts_;
};

}  // namespace vx
