// Child processes for tests that drive real programs, and an X server of a
// test's own (Xvfb on a display it picks itself, so parallel tests never
// share one).
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace vx::testing {

// Whether `name` is an executable on PATH.
bool FindProgram(const std::string& name);

class ChildProcess {
public:
    // Starts argv (argv[0] looked up on PATH) with this process's
    // environment plus `extraEnv` ("NAME=value", replacing a variable of
    // that name), its output and errors going to `logPath` (empty: discarded).
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
    int exitCode = -1;
    std::string output;  // standard output
};

// Runs a command to its end (bounded), capturing its standard output.
CommandResult RunCommand(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnv, int milliseconds = 15000);

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
