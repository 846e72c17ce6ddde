#include "tests/support/terminal_session.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/un.h>

#include <charconv>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <system_error>
#include <thread>

#include "tests/support/x_session.h"

namespace vx::testing {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kPollInterval = std::chrono::milliseconds(30);
// A tmux client command only talks to the server; anything longer is a hang.
constexpr int kCommandLimit = 10000;  // milliseconds

// The wrapper around the program. Its stderr and status go to files named by
// positional arguments, so no path is ever quoted into the script text.
// Ctrl-C reaches the whole foreground group: the trap keeps the shell alive
// to record the status, yet the program still starts with default handling.
// tmux 3.3 may close a pane whose process has ended before reading the rest
// of its output, so the shell stays on after announcing the end through the
// pane title: once tmux shows that title it has read everything before it.
constexpr const char* kWrapperScript =
    "unset DISPLAY WAYLAND_DISPLAY LC_ALL; trap : INT QUIT; \"$0\" 2>\"$1\"; echo $? >\"$2\"; "
    "printf '\\033]2;vx-program-ended\\033\\\\'; exec sleep infinity";
constexpr std::string_view kEndedTitle = "vx-program-ended";

Clock::time_point DeadlineAfter(double seconds) {
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double>(seconds < 0 ? 0 : seconds));
}

// The server starts with this environment and keeps it as the panes' global
// one, so the display variables must already be gone here. TMUX would point
// clients at an enclosing tmux when tests themselves run inside one.
std::vector<std::string> SessionEnvironment(const fs::path& machineFolder) {
    return {"DISPLAY",
            "WAYLAND_DISPLAY",
            "LC_ALL",
            "TMUX",
            "TMUX_PANE",
            "LANG=C.UTF-8",
            "WINEPREFIX=" + machineFolder.string()};
}

// tmux reads an argument ending in ';' as the end of a command; "\;" at the
// end stands for a literal one.
std::string Argument(std::string_view text) {
    std::string argument(text);
    if (!argument.empty() && argument.back() == ';') argument.insert(argument.size() - 1, "\\");
    return argument;
}

// The state and process group from /proc/<pid>/stat; false when it is gone.
bool ReadProcessState(const std::string& pid, char* state, long* group) {
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The command name in parentheses may itself hold spaces and ')'.
    const std::size_t close = content.rfind(')');
    if (close == std::string::npos) return false;
    std::istringstream fields(content.substr(close + 1));
    long parent = 0;
    return static_cast<bool>(fields >> *state >> parent >> *group);
}

// Zombies count as gone: the init process may take its time reaping them.
bool ProcessGone(pid_t pid) {
    char state = 0;
    long group = 0;
    return !ReadProcessState(std::to_string(pid), &state, &group) || state == 'Z';
}

bool GroupGone(pid_t group) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        char state = 0;
        long memberOf = 0;
        if (ReadProcessState(name, &state, &memberOf) && memberOf == group && state != 'Z')
            return false;
    }
    return true;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::optional<int> ParseNumber(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<std::string> ReadWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

bool TmuxAvailable() { return FindProgram("tmux"); }

TerminalSession::TerminalSession(const fs::path& program, const fs::path& machineFolder,
                                 const fs::path& folder, int columns, int rows)
    : folder_(fs::absolute(folder)),
      errorFile_(folder_ / "terminal-stderr.txt"),
      statusFile_(folder_ / "terminal-status.txt"),
      tmuxLog_(folder_ / "tmux-errors.txt"),
      environment_(SessionEnvironment(fs::absolute(machineFolder))) {
    socket_ = folder_ / "tmux.sock";
    if (socket_.string().size() >= sizeof(sockaddr_un{}.sun_path)) {
        // A Unix socket's path is short; deep test folders get one of ours.
        std::string pattern = (fs::temp_directory_path() / "vx-tmux-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return;
        socketFolder_ = pattern;
        socket_ = socketFolder_ / "tmux.sock";
        if (socket_.string().size() >= sizeof(sockaddr_un{}.sun_path)) return;
    }
    // A status left by an earlier session would pass for this program's.
    std::error_code ec;
    fs::remove(statusFile_, ec);
    fs::remove(errorFile_, ec);

    // The options come first in the same command list, so they hold before
    // the pane exists: a pane that ends at once still stays readable, and
    // without the "Pane is dead" line, which would scroll the screen by a row.
    // clang-format off
    const std::vector<std::string> command = {
        "set-option", "-g", "default-terminal", "tmux-256color", ";",
        "set-option", "-g", "remain-on-exit", "on", ";",
        "set-option", "-g", "remain-on-exit-format", "", ";",
        "new-session", "-d", "-s", "vx", "-x", std::to_string(columns),
        "-y", std::to_string(rows), "-c", folder_.string(),
        "-e", "WINEPREFIX=" + fs::absolute(machineFolder).string(), "-e", "LANG=C.UTF-8",
        "-P", "-F", "#{pane_id} #{pane_pid} #{pid}",
        "--", "/bin/sh", "-c", kWrapperScript,
        fs::absolute(program).string(), errorFile_.string(), statusFile_.string()};
    // clang-format on
    std::string ids;
    if (Tmux(command, &ids) != 0) return;
    std::istringstream fields(ids);
    long panePid = -1, serverPid = -1;
    if (!(fields >> pane_ >> panePid >> serverPid) || pane_.empty() || pane_[0] != '%') return;
    panePid_ = static_cast<pid_t>(panePid);
    serverPid_ = static_cast<pid_t>(serverPid);
    started_ = true;
}

TerminalSession::~TerminalSession() { Shutdown(); }

void TerminalSession::Shutdown() {
    const std::optional<PaneState> state = State();
    const bool paneRunning = state && !state->dead;
    Tmux({"kill-server"});
    // kill-server hangs up the panes; a program that ignores that is killed
    // with its whole process group (the pane's shell leads one of its own).
    const auto serverGone = [this] { return ProcessGone(serverPid_); };
    if (serverPid_ > 0 && !WaitUntil(serverGone, std::chrono::seconds(3))) {
        kill(serverPid_, SIGKILL);
        WaitUntil(serverGone, std::chrono::seconds(2));
    }
    const auto paneGone = [this] { return GroupGone(panePid_); };
    if (paneRunning && panePid_ > 0 && !WaitUntil(paneGone, std::chrono::milliseconds(500))) {
        kill(-panePid_, SIGKILL);
        WaitUntil(paneGone, std::chrono::seconds(2));
    }
    std::error_code ec;
    fs::remove(socket_, ec);
    if (!socketFolder_.empty()) fs::remove_all(socketFolder_, ec);
}

int TerminalSession::Tmux(const std::vector<std::string>& arguments, std::string* output) const {
    if (socket_.empty()) return -1;
    std::vector<std::string> argv = {"tmux", "-S", socket_.string(), "-f", "/dev/null"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    // The server the first client forks detaches from that client's output,
    // so the output ends when the client itself exits.
    CommandOptions options(environment_, kCommandLimit);
    options.errorLog = tmuxLog_;
    CommandResult result = RunCommand(argv, options);
    if (!result.finished) return -1;
    if (output) *output = std::move(result.output);
    return result.exitCode;
}

void TerminalSession::SendKeys(std::initializer_list<std::string_view> keys) {
    if (!started_ || keys.size() == 0) return;
    std::vector<std::string> arguments = {"send-keys", "-t", pane_, "--"};
    for (std::string_view key : keys) arguments.push_back(Argument(key));
    Tmux(arguments);
}

void TerminalSession::Type(std::string_view text) {
    if (!started_ || text.empty()) return;
    Tmux({"send-keys", "-t", pane_, "-l", "--", Argument(text)});
}

bool TerminalSession::Capture(std::string* screen) const {
    if (!started_) return false;
    std::string raw;
    if (Tmux({"capture-pane", "-p", "-t", pane_}, &raw) != 0) return false;
    screen->clear();
    std::size_t start = 0;
    while (start < raw.size()) {
        std::size_t end = raw.find('\n', start);
        if (end == std::string::npos) end = raw.size();
        std::size_t last = end;
        while (last > start && raw[last - 1] == ' ') --last;
        if (start > 0) screen->push_back('\n');
        screen->append(raw, start, last - start);
        start = end + 1;
    }
    return true;
}

std::string TerminalSession::Screen() const {
    std::string screen;
    return Capture(&screen) ? screen : std::string();
}

bool TerminalSession::WaitForText(std::string_view text, double seconds) const {
    const auto deadline = DeadlineAfter(seconds);
    for (;;) {
        std::string screen;
        if (Capture(&screen) && screen.find(text) != std::string::npos) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

bool TerminalSession::WaitForTextGone(std::string_view text, double seconds) const {
    const auto deadline = DeadlineAfter(seconds);
    for (;;) {
        std::string screen;
        if (Capture(&screen) && screen.find(text) == std::string::npos) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

std::optional<TerminalSession::PaneState> TerminalSession::State() const {
    std::string answer;
    if (!started_ ||
        Tmux({"display-message", "-p", "-t", pane_, "#{pane_dead} #{pane_title}"}, &answer) != 0)
        return std::nullopt;
    if (answer.size() < 2 || (answer[0] != '0' && answer[0] != '1') || answer[1] != ' ')
        return std::nullopt;
    while (!answer.empty() && answer.back() == '\n') answer.pop_back();
    return PaneState{answer[0] == '1', answer.substr(2) == kEndedTitle};
}

std::optional<int> TerminalSession::WaitForExit(double seconds) {
    if (exitStatus_) return exitStatus_;
    if (!started_) return std::nullopt;
    const auto deadline = DeadlineAfter(seconds);
    for (;;) {
        // The status file is complete once the end is announced; a pane that
        // died without announcing it lost its wrapper, and with it the status.
        const std::optional<PaneState> state = State();
        if (state && (state->ended || state->dead)) {
            if (const std::optional<std::string> status = ReadWholeFile(statusFile_))
                exitStatus_ = ParseNumber(*status);
            return exitStatus_;
        }
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(kPollInterval);
    }
}

std::string TerminalSession::StandardError() const {
    return ReadWholeFile(errorFile_).value_or(std::string());
}

}  // namespace vx::testing
