// Drives a program the way a person at a terminal does: it runs in a pane of
// a private tmux server, keys go in through send-keys and the screen comes
// back through capture-pane.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::testing {

// Whether tmux is on PATH; tests that need a terminal skip without it.
bool TmuxAvailable();

class TerminalSession {
public:
    // Starts `program` (no arguments) in a new detached session of `columns`
    // x `rows` on a tmux server of its own (socket in `folder`, no
    // configuration file), in the folder `folder`, with DISPLAY,
    // WAYLAND_DISPLAY and LC_ALL unset, WINEPREFIX=`machineFolder`,
    // LANG=C.UTF-8 and otherwise the test's environment. The program's
    // standard error goes to a file in `folder`, its exit status to another.
    // One session per folder at a time.
    TerminalSession(const std::filesystem::path& program,
                    const std::filesystem::path& machineFolder, const std::filesystem::path& folder,
                    int columns = 80, int rows = 24);
    ~TerminalSession();  // ends the server and whatever still runs in it
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;

    bool started() const { return started_; }

    // tmux key names, one key press each: "Tab", "BTab", "Enter", "Escape",
    // "Space", "Up", "Down", "Left", "Right", "BSpace", "DC", "Home", "End", "y".
    void SendKeys(std::initializer_list<std::string_view> keys);
    // Text typed as it is (UTF-8), never read as key names.
    void Type(std::string_view text);

    // The visible rows now, joined with '\n', trailing spaces removed; empty
    // when the pane cannot be read.
    std::string Screen() const;
    // Polls the screen until it shows `text`; false after `seconds`.
    bool WaitForText(std::string_view text, double seconds = 10) const;
    // Polls the screen until it no longer shows `text`; false after
    // `seconds`, and false while the pane cannot be read.
    bool WaitForTextGone(std::string_view text, double seconds = 10) const;

    // The program's exit status (128 + signal number when a signal ended it)
    // once it has ended, waiting at most `seconds`; nullopt while it still
    // runs, or when it ended without a status being recorded.
    std::optional<int> WaitForExit(double seconds = 20);
    // What the program wrote to its standard error so far.
    std::string StandardError() const;

private:
    // Runs one tmux command against this server; its exit code, -1 when it
    // could not run or hung. `output` receives its standard output.
    int Tmux(const std::vector<std::string>& arguments, std::string* output = nullptr) const;
    bool Capture(std::string* screen) const;
    struct PaneState {
        bool dead = false;   // nothing runs in the pane any more
        bool ended = false;  // the wrapper announced the program's end
    };
    // nullopt when the server does not answer.
    std::optional<PaneState> State() const;
    void Shutdown();

    std::filesystem::path folder_;
    std::filesystem::path socket_;
    std::filesystem::path socketFolder_;  // our own short folder when `folder` is too deep
    std::filesystem::path errorFile_;
    std::filesystem::path statusFile_;
    std::filesystem::path tmuxLog_;
    std::vector<std::string> environment_;
    std::string pane_;
    pid_t panePid_ = -1;
    pid_t serverPid_ = -1;
    bool started_ = false;
    std::optional<int> exitStatus_;
};

}  // namespace vx::testing
