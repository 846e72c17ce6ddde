#include "platform/scripted/scripted_window_backend.h"

#include "platform/framework/afx.h"

namespace vx {

std::unique_ptr<DialogWindow> ScriptedWindowBackend::CreateDialogWindow(
    const DialogTemplate& dialogTemplate, CDialog& dialog, DialogWindow*) {
    opened.push_back(dialogTemplate.id);
    std::vector<Step> steps;
    auto& runs = scripts[dialogTemplate.id];
    if (!runs.empty()) {
        steps = std::move(runs.front());
        runs.pop_front();
    }
    return std::make_unique<ScriptedWindow>(*this, dialogTemplate, dialog, std::move(steps));
}

namespace {

int OwnerTemplate(DialogWindow* owner) {
    auto* window = dynamic_cast<ScriptedWindow*>(owner);
    return window ? window->dialogTemplate().id : 0;
}

}  // namespace

int ScriptedWindowBackend::MessageBox(DialogWindow* owner, std::string_view text,
                                      std::string_view caption, UINT type) {
    messages.push_back({std::string(text), std::string(caption), OwnerTemplate(owner)});
    if (!IsYesNoBox(type) || messageAnswers.empty()) return DefaultResultOf(type);
    const int answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

bool ScriptedWindowBackend::AskConfirmation(DialogWindow*, std::string_view text,
                                            std::string_view) {
    questions.emplace_back(text);
    if (confirmationAnswers.empty()) return true;
    const bool yes = confirmationAnswers.front();
    confirmationAnswers.pop_front();
    return yes;
}

void ScriptedWindowBackend::BeginProgress(DialogWindow*, std::string_view text) {
    progressTexts.emplace_back(text);
}

std::optional<std::string> ScriptedWindowBackend::BrowseForFolder(DialogWindow*, SystemServices&) {
    if (folderChoices.empty()) return std::nullopt;
    std::optional<std::string> choice = folderChoices.front();
    folderChoices.pop_front();
    return choice;
}

ScriptedWindow::ScriptedWindow(ScriptedWindowBackend& backend, const DialogTemplate& dialogTemplate,
                               CDialog& dialog, std::vector<ScriptedWindowBackend::Step> steps)
    : backend_(backend), template_(dialogTemplate), dialog_(dialog), steps_(std::move(steps)) {
    for (const ControlTemplate& c : template_.controls) {
        if (c.id != -1) texts_[c.id] = c.text;
        if (focus_ == 0 && TakesFocus(c.kind)) focus_ = c.id;
    }
}

INT_PTR ScriptedWindow::RunModal() {
    dialog_.OnMessage(WM_PAINT);
    for (std::size_t i = 0; i < steps_.size() && !ended_; ++i) steps_[i](*this);
    if (!ended_) {
        // A dialog the script leaves open would wait for ever; close it as Escape would.
        backend_.scriptRanOut = true;
        return IDCANCEL;
    }
    return result_;
}

void ScriptedWindow::EndModal(INT_PTR result) {
    ended_ = true;
    result_ = result;
}

UINT ScriptedWindow::GetCheck(int id) const {
    const auto it = checks_.find(id);
    return it == checks_.end() ? BST_UNCHECKED : it->second;
}

std::string ScriptedWindow::GetText(int id) const {
    const auto it = texts_.find(id);
    return it == texts_.end() ? std::string() : it->second;
}

void ScriptedWindow::Click(int id) {
    focus_ = id;
    dialog_.OnCommand(id);
}

void ScriptedWindow::Type(int id, std::string_view text) {
    const auto limit = limits_.find(id);
    if (limit != limits_.end() && limit->second > 0 &&
        text.size() > static_cast<std::size_t>(limit->second))
        text = text.substr(0, static_cast<std::size_t>(limit->second));
    focus_ = id;
    texts_[id] = std::string(text);
}

void ScriptedWindow::PressEnter() { dialog_.OnCommand(IDOK); }
void ScriptedWindow::PressEscape() { dialog_.OnCommand(IDCANCEL); }

}  // namespace vx
