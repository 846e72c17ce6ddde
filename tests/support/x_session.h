// Child processes for tests that drive real programs (the one way the tests
// start one), and an X server of a test's own (Xvfb on a display it picks itself, so parallel tests
// never share one).
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vx::testing {

// Whether `name` is an executable on PATH.
bool FindProgram(const std::string& name);

class ChildProcess {
public:
    // Starts argv (argv[0] looked up on PATH) with this process's
    // environment changed by `extraEnv` (as CommandOptions::environment), its
    // output and errors going to `logPath` (empty: discarded).
    // `keepFd` stays open in the child. nullptr when it cannot start.
    static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv,
                                               const std::vector<std::string>& extraEnv,
                                               const std::string& logPath, int keepFd = -1);
    ~ChildProcess();  // ends it when still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits (bounded) for the exit; true with its wait status when it ended.
    bool Wait(int milliseconds, int* status);
    bool Running();
    void Kill();

private:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    pid_t pid_;
    bool reaped_ = false;
};

struct CommandResult {
    bool finished = false;  // exited within the time allowed
    int exitCode = -1;      // -1 when it did not exit normally
    std::string output;     // standard output and (unless logged) standard error
};

struct CommandOptions {
    CommandOptions(std::vector<std::string> environment = {}, int milliseconds = 15000)
        : environment(std::move(environment)), milliseconds(milliseconds) {}
    // "NAME=value" sets a variable, a bare "NAME" removes it; the rest is this process's.
    std::vector<std::string> environment;
    int milliseconds;                // then it is killed
    std::string input;               // its standard input (else /dev/null)
    std::filesystem::path folder;    // where it runs; empty: here
    std::filesystem::path errorLog;  // standard error appended there; empty: into the output
};

// Runs a command to its end (bounded), capturing its output. Output that a
// process it left behind still writes is not waited for.
CommandResult RunCommand(const std::vector<std::string>& argv, const CommandOptions& options = {});

class XServer {
public:
    // A fresh Xvfb; nullptr (and `error` set) when it does not come up.
    static std::unique_ptr<XServer> Start(std::string* error);
    const std::string& display() const { return display_; }
    std::string DisplayVariable() const { return "DISPLAY=" + display_; }

private:
    std::unique_ptr<ChildProcess> process_;
    std::string display_;
};

// A headless Wayland compositor of a test's own (Debian's weston), its socket
// in `runtimeDir` (the XDG_RUNTIME_DIR its clients must be given).
class WaylandServer {
public:
    // nullptr (and `error` set) when it does not come up.
    static std::unique_ptr<WaylandServer> Start(const std::string& runtimeDir, std::string* error);
    std::string DisplayVariable() const { return "WAYLAND_DISPLAY=" + socket_; }

private:
    std::unique_ptr<ChildProcess> process_;
    std::string socket_;
};

}  // namespace vx::testing
