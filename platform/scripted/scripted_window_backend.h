// A windowing backend for tests: windows built from the real templates whose
// clicks and keys come from a script, and system windows that record what
// they were asked and answer from a script.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/framework/window_backend.h"

namespace vx {

class ScriptedWindow;

class ScriptedWindowBackend final : public WindowBackend {
public:
    using Step = std::function<void(ScriptedWindow&)>;

    struct Message {
        std::string text;
        std::string caption;
        int ownerTemplate;  // the owning dialog's template, 0 for none
    };

    // Script: for each template, the steps of each run of that dialog, in order.
    std::map<int, std::deque<std::vector<Step>>> scripts;
    std::deque<bool> confirmationAnswers;  // empty: yes
    std::deque<int> messageAnswers;        // IDYES or IDNO for Yes/No boxes; empty: the default
    std::deque<std::optional<std::string>> folderChoices;  // empty: cancelled

    // Record.
    std::vector<int> opened;  // template of every window created
    std::vector<Message> messages;
    std::vector<std::string> questions;
    std::vector<std::string> progressTexts;
    bool scriptRanOut = false;

    std::unique_ptr<DialogWindow> CreateDialogWindow(const DialogTemplate& dialogTemplate,
                                                     CDialog& dialog, DialogWindow* owner) override;
    int MessageBox(DialogWindow* owner, std::string_view text, std::string_view caption,
                   UINT type) override;
    bool AskConfirmation(DialogWindow* owner, std::string_view text,
                         std::string_view caption) override;
    void BeginProgress(DialogWindow* owner, std::string_view text) override;
    void UpdateProgress(std::uint64_t, std::uint64_t) override {}
    void EndProgress() override {}
    std::optional<std::string> BrowseForFolder(DialogWindow* owner, SystemServices& sys) override;
};

class ScriptedWindow final : public DialogWindow {
public:
    ScriptedWindow(ScriptedWindowBackend& backend, const DialogTemplate& dialogTemplate,
                   CDialog& dialog, std::vector<ScriptedWindowBackend::Step> steps);

    // What the person at the keyboard does.
    void Click(int id);
    void Type(int id, std::string_view text);  // replaces the field, stopping at its limit
    void PressEnter();                         // the default button
    void PressEscape();                        // Cancel

    bool ended() const { return ended_; }
    int focus() const { return focus_; }
    const DialogTemplate& dialogTemplate() const { return template_; }
    bool hasPicture(int id) const { return pictures_.count(id) != 0; }
    int iconsSet() const { return iconsSet_; }

    INT_PTR RunModal() override;
    void EndModal(INT_PTR result) override;
    void SetCheck(int id, UINT state) override { checks_[id] = state; }
    UINT GetCheck(int id) const override;
    void SetText(int id, std::string_view text) override { texts_[id] = std::string(text); }
    std::string GetText(int id) const override;
    void LimitText(int id, int maxChars) override { limits_[id] = maxChars; }
    void SetFocus(int id) override { focus_ = id; }
    void SetPicture(int id, const Picture& picture) override { pictures_[id] = &picture; }
    void SetIcon(const Picture&, bool) override { ++iconsSet_; }
    bool IsIconic() const override { return false; }
    void DrawIcon(const Picture&) override {}

private:
    ScriptedWindowBackend& backend_;
    const DialogTemplate& template_;
    CDialog& dialog_;
    std::vector<ScriptedWindowBackend::Step> steps_;
    std::map<int, UINT> checks_;
    std::map<int, std::string> texts_;
    std::map<int, int> limits_;
    std::map<int, const Picture*> pictures_;
    int focus_ = 0;
    int iconsSet_ = 0;
    bool ended_ = false;
    INT_PTR result_ = 0;
};

}  // namespace vx
