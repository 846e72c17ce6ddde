// The door through which the setup logic touches the user interface: a few
// operations of the dialog manager on the main dialog, plus the windows the
// shell's file operations open on the dialog's behalf.
#pragma once

#include <algorithm>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace vx {

// The shell's own windows, owned by the main dialog. The Win32 shell draws
// these itself; the Linux stand-in asks for them through this interface.
class ShellWindows {
public:
    // Each one is listed while it lives, so that a handle names only a live one.
    ShellWindows() { Live(this, true); }
    ShellWindows(const ShellWindows&) : ShellWindows() {}
    ShellWindows& operator=(const ShellWindows&) { return *this; }
    virtual ~ShellWindows() { Live(this, false); }
    // A yes/no question such as "Are you sure you want to delete ...?".
    virtual bool AskConfirmation(std::string_view text, std::string_view caption) = 0;
    // Progress of a long copy: begin once, update as bytes move, end once.
    virtual void BeginProgress(std::string_view text) = 0;
    virtual void UpdateProgress(std::uint64_t done, std::uint64_t total) = 0;
    virtual void EndProgress() = 0;

    // The live one named by `hwnd`, or nullptr.
    static ShellWindows* Find(HWND hwnd) {
        std::lock_guard<std::mutex> lock(Registry().mutex);
        for (ShellWindows* windows : Registry().live)
            if (reinterpret_cast<HWND>(windows) == hwnd) return windows;
        return nullptr;
    }

private:
    struct LiveList {
        std::mutex mutex;
        std::vector<ShellWindows*> live;
    };
    static LiveList& Registry() {
        static LiveList registry;
        return registry;
    }
    static void Live(ShellWindows* windows, bool live) {
        std::lock_guard<std::mutex> lock(Registry().mutex);
        if (live)
            Registry().live.push_back(windows);
        else
            std::erase(Registry().live, windows);
    }
};

class DialogServices : public ShellWindows {
public:
    // The main dialog's handle, the owner named in shell requests.
    virtual HWND GetSafeHwnd() = 0;
    virtual BOOL CheckDlgButton(int id, UINT check) = 0;
    virtual BOOL SetDlgItemTextA(int id, const char* text) = 0;
    // GetDlgItem(id) followed by GetWindowTextA: at most size - 1 characters.
    virtual int GetDlgItemTextA(int id, char* buffer, int size) = 0;
    virtual int MessageBox(const char* text, const char* caption, UINT type) = 0;
    // Runs the sound-card dialog modally, owned by the main dialog. Its
    // buttons write the answer themselves; returns IDOK ("Yes!") or IDCANCEL.
    virtual INT_PTR RunSoundCardDialog() = 0;
};

// How a stand-in finds the shell windows of the dialog named in a request:
// nullptr for a handle that names no live dialog.
inline HWND HwndOf(ShellWindows* windows) { return reinterpret_cast<HWND>(windows); }
inline ShellWindows* ShellWindowsOf(HWND hwnd) { return ShellWindows::Find(hwnd); }

}  // namespace vx
