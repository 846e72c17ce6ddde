// The dialog operations the setup procedures use, carried out on the main
// dialog and the backend's windows.
#pragma once

#include "platform/dialog_services.h"
#include "platform/framework/afx.h"

namespace vx {

class MainDialogServices final : public DialogServices {
public:
    explicit MainDialogServices(CDialog& dialog) : dialog_(dialog) {}

    // The dialog's real window where there is one; the stand-in's handle otherwise.
    HWND GetSafeHwnd() override {
        const HWND native = dialog_.window() ? dialog_.window()->NativeHandle() : nullptr;
        return native ? native : HwndOf(this);
    }
    BOOL CheckDlgButton(int id, UINT check) override;
    BOOL SetDlgItemTextA(int id, const char* text) override;
    int GetDlgItemTextA(int id, char* buffer, int size) override;
    int MessageBox(const char* text, const char* caption, UINT type) override;
    INT_PTR RunSoundCardDialog() override;

    bool AskConfirmation(std::string_view text, std::string_view caption) override;
    void BeginProgress(std::string_view text) override;
    void UpdateProgress(std::uint64_t done, std::uint64_t total) override;
    void EndProgress() override;

private:
    CDialog& dialog_;
};

}  // namespace vx
