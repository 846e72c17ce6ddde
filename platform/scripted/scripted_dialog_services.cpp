#include "platform/scripted/scripted_dialog_services.h"

#include <cstring>

#include "setup/audio_settings.h"
#include "setup/setup_selection.h"

namespace vx {

BOOL ScriptedDialogServices::CheckDlgButton(int id, UINT check) {
    checks.push_back({id, check});
    checkState[id] = check;
    return TRUE;
}

BOOL ScriptedDialogServices::SetDlgItemTextA(int id, const char* text) {
    itemTexts_[id] = text ? text : "";
    if (id == IDC_STATUS) statusTexts.push_back(itemTexts_[id]);
    if (id == IDC_INSTALL_DIR) directoryField = itemTexts_[id];
    return TRUE;
}

int ScriptedDialogServices::GetDlgItemTextA(int id, char* buffer, int size) {
    if (size <= 0) return 0;
    const std::string& text = id == IDC_INSTALL_DIR ? directoryField : itemTexts_[id];
    const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

int ScriptedDialogServices::MessageBox(const char* text, const char* caption, UINT type) {
    messages.push_back({text ? text : "", caption ? caption : "", type});
    if (!IsYesNoBox(type) || messageAnswers.empty()) return DefaultResultOf(type);
    const int answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

INT_PTR ScriptedDialogServices::RunSoundCardDialog() {
    INT_PTR answer = IDOK;
    if (!soundCardAnswers.empty()) {
        answer = soundCardAnswers.front();
        soundCardAnswers.pop_front();
    }
    // As the real dialog's buttons do: the answer is written before it closes.
    WriteAudioSettings(sys_, answer == IDOK);
    soundCardResults.push_back(answer);
    return answer;
}

bool ScriptedDialogServices::AskConfirmation(std::string_view text, std::string_view) {
    questions.emplace_back(text);
    if (confirmationAnswers.empty()) return true;
    const bool yes = confirmationAnswers.front();
    confirmationAnswers.pop_front();
    return yes;
}

void ScriptedDialogServices::BeginProgress(std::string_view) { ++progressWindows; }

}  // namespace vx
