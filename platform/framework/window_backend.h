// What a windowing backend (FLTK, terminal, scripted, Win32) provides to the
// framework: windows built from a dialog template, and the system's own
// modal windows (message boxes, the shell's questions and progress, the
// folder chooser).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/framework/dialog_template.h"
#include "platform/image/picture.h"
#include "platform/system_services.h"

namespace vx {

class CDialog;

// Notifications a dialog window delivers to its dialog object.
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_QUERYDRAGICON = 0x0037;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT BN_CLICKED = 0;
inline constexpr int ID_HELP = 0xE146;

// One live dialog window.
class DialogWindow {
public:
    virtual ~DialogWindow() = default;
    // Runs the window modally until EndModal; returns the result given there.
    virtual INT_PTR RunModal() = 0;
    virtual void EndModal(INT_PTR result) = 0;

    virtual void SetCheck(int id, UINT state) = 0;
    virtual UINT GetCheck(int id) const = 0;
    virtual void SetText(int id, std::string_view text) = 0;
    virtual std::string GetText(int id) const = 0;
    // The longest text the control takes from the keyboard (0: no limit).
    virtual void LimitText(int id, int maxChars) = 0;
    virtual void SetFocus(int id) = 0;
    virtual void SetPicture(int id, const Picture& picture) = 0;
    virtual void SetIcon(const Picture& icon, bool large) = 0;
    virtual bool IsIconic() const = 0;
    // Paints the icon centred in the client area of a minimised window.
    virtual void DrawIcon(const Picture& icon) = 0;
    // The system's own handle of the window where the backend has one (Win32).
    virtual HWND NativeHandle() const { return nullptr; }
};

class WindowBackend {
public:
    virtual ~WindowBackend() = default;
    // A window for `dialog`, owned by `owner` (nullptr: a top-level window).
    // Its controls report clicks through dialog.OnCommand; closing it
    // (Escape, the close box) calls dialog.OnCommand(IDCANCEL).
    virtual std::unique_ptr<DialogWindow> CreateDialogWindow(const DialogTemplate& dialogTemplate,
                                                             CDialog& dialog,
                                                             DialogWindow* owner) = 0;
    virtual int MessageBox(DialogWindow* owner, std::string_view text, std::string_view caption,
                           UINT type) = 0;
    virtual bool AskConfirmation(DialogWindow* owner, std::string_view text,
                                 std::string_view caption) = 0;
    virtual void BeginProgress(DialogWindow* owner, std::string_view text) = 0;
    virtual void UpdateProgress(std::uint64_t done, std::uint64_t total) = 0;
    virtual void EndProgress() = 0;
    // The folder chooser: a Windows path, or nothing when the user cancelled.
    virtual std::optional<std::string> BrowseForFolder(DialogWindow* owner,
                                                       SystemServices& sys) = 0;
};

}  // namespace vx
