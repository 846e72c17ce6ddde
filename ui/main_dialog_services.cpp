#include "ui/main_dialog_services.h"

#include "ui/sound_card_dlg.h"

namespace vx {

BOOL MainDialogServices::CheckDlgButton(int id, UINT check) {
    dialog_.CheckDlgButton(id, check);
    return TRUE;
}

BOOL MainDialogServices::SetDlgItemTextA(int id, const char* text) {
    dialog_.SetDlgItemText(id, text);
    return TRUE;
}

int MainDialogServices::GetDlgItemTextA(int id, char* buffer, int size) {
    return dialog_.GetDlgItemText(id, buffer, size);
}

int MainDialogServices::MessageBox(const char* text, const char* caption, UINT type) {
    return dialog_.MessageBox(text, caption, type);
}

INT_PTR MainDialogServices::RunSoundCardDialog() {
    // No parent: the application's main window owns it.
    CSoundCardDlg soundCard;
    return soundCard.DoModal();
}

bool MainDialogServices::AskConfirmation(std::string_view text, std::string_view caption) {
    return AfxGetBackend().AskConfirmation(dialog_.window(), text, caption);
}

void MainDialogServices::BeginProgress(std::string_view text) {
    AfxGetBackend().BeginProgress(dialog_.window(), text);
}

void MainDialogServices::UpdateProgress(std::uint64_t done, std::uint64_t total) {
    AfxGetBackend().UpdateProgress(done, total);
}

void MainDialogServices::EndProgress() { AfxGetBackend().EndProgress(); }

}  // namespace vx
