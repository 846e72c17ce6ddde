#include "tests/support/x_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tests/support/argv.h"

extern char** environ;

namespace vx::testing {

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// This process's environment changed as CommandOptions::environment says.
std::vector<std::string> Environment(const std::vector<std::string>& changes) {
    const auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        bool changed = false;
        for (const std::string& change : changes)
            changed = changed || nameOf(change) == nameOf(entry);
        if (!changed) env.push_back(entry);
    }
    for (const std::string& change : changes)
        if (change.find('=') != std::string::npos) env.push_back(change);
    return env;
}

// posix_spawnp with standard input from `inFd` (-1: /dev/null), output to
// `outFd` and errors to `errorLog` (empty: to `outFd`), in `folder` (empty:
// here). Descriptors opened without close-on-exec are inherited. -1 on failure.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
            int inFd, int outFd, const fs::path& errorLog = {}, const fs::path& folder = {}) {
    std::vector<std::string> args = argv;
    std::vector<std::string> env = Environment(environment);
    std::vector<char*> argp = Pointers(args);
    std::vector<char*> envp = Pointers(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (inFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, inFd, 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    if (errorLog.empty())
        posix_spawn_file_actions_adddup2(&actions, outFd, 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, errorLog.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// A descriptor reading `text` from its start; -1 on failure.
int TextDescriptor(const std::string& text) {
    const int fd = memfd_create("vx-input", MFD_CLOEXEC);
    if (fd < 0) return -1;
    if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
        lseek(fd, 0, SEEK_SET) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

bool FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::string dirs = path;
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv,
                                                  const std::vector<std::string>& extraEnv,
                                                  const std::string& logPath, int keepFd) {
    (void)keepFd;  // inherited: it is opened without close-on-exec
    const int out = open(logPath.empty() ? "/dev/null" : logPath.c_str(),
                         O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) return nullptr;
    const pid_t pid = Spawn(argv, extraEnv, -1, out);
    close(out);
    if (pid < 0) return nullptr;
    return std::unique_ptr<ChildProcess>(new ChildProcess(pid));
}

ChildProcess::~ChildProcess() { Kill(); }

bool ChildProcess::Wait(int milliseconds, int* status) {
    if (reaped_) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        int s = 0;
        const pid_t got = waitpid(pid_, &s, WNOHANG);
        if (got == pid_) {
            reaped_ = true;
            if (status) *status = s;
            return true;
        }
        if (got < 0 || Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool ChildProcess::Running() {
    if (reaped_) return false;
    int s = 0;
    if (waitpid(pid_, &s, WNOHANG) == pid_) reaped_ = true;
    return !reaped_;
}

void ChildProcess::Kill() {
    if (reaped_) return;
    kill(pid_, SIGTERM);
    if (Wait(3000, nullptr)) return;
    kill(pid_, SIGKILL);
    Wait(3000, nullptr);
}

CommandResult RunCommand(const std::vector<std::string>& argv, const CommandOptions& options) {
    CommandResult result;
    const int in = options.input.empty() ? -1 : TextDescriptor(options.input);
    int fds[2];
    if ((!options.input.empty() && in < 0) || pipe2(fds, O_CLOEXEC) != 0) {
        if (in >= 0) close(in);
        return result;
    }
    const pid_t pid =
        Spawn(argv, options.environment, in, fds[1], options.errorLog, options.folder);
    if (in >= 0) close(in);
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return result;
    }
    // Read until the end of the output, or until the command has ended and
    // what it wrote is read (a process it left behind may hold the pipe).
    const auto deadline = Clock::now() + std::chrono::milliseconds(options.milliseconds);
    int status = 0;
    bool ended = false;
    char buffer[4096];
    for (;;) {
        ended = ended || waitpid(pid, &status, WNOHANG) == pid;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (!ended && left.count() <= 0) break;
        pollfd p{fds[0], POLLIN, 0};
        const int ready =
            poll(&p, 1, ended ? 0 : static_cast<int>(std::min<long>(left.count(), 20)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || (ready == 0 && ended)) break;
        if (ready == 0) continue;
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        result.output.append(buffer, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    while (!ended && Clock::now() < deadline) {
        ended = waitpid(pid, &status, WNOHANG) == pid;
        if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return result;
    }
    result.finished = true;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::unique_ptr<XServer> XServer::Start(std::string* error) {
    int fds[2];
    if (pipe(fds) != 0) {
        *error = "pipe failed";
        return nullptr;
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    auto server = std::make_unique<XServer>();
    const std::vector<std::string> argv = {"Xvfb",      "-displayfd", std::to_string(fds[1]),
                                           "-screen",   "0",          "1024x768x24",
                                           "-nolisten", "tcp",        "-noreset"};
    server->process_ = ChildProcess::Start(argv, {}, "", fds[1]);
    close(fds[1]);
    if (!server->process_) {
        close(fds[0]);
        *error = "Xvfb did not start";
        return nullptr;
    }
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        char c[16];
        const ssize_t got = read(fds[0], c, sizeof c);
        if (got <= 0) break;
        number.append(c, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    const std::size_t end = number.find('\n');
    if (end == std::string::npos || end == 0) {
        *error = "Xvfb reported no display";
        return nullptr;
    }
    server->display_ = ":" + number.substr(0, end);
    return server;
}

std::unique_ptr<WaylandServer> WaylandServer::Start(const std::string& runtimeDir,
                                                    std::string* error) {
    auto server = std::make_unique<WaylandServer>();
    server->socket_ = "vx-wayland-" + std::to_string(getpid());
    server->process_ =
        ChildProcess::Start({"weston", "--backend=headless-backend.so",
                             "--socket=" + server->socket_, "--idle-time=0", "--no-config"},
                            {"XDG_RUNTIME_DIR=" + runtimeDir}, "");
    if (!server->process_) {
        *error = "weston did not start";
        return nullptr;
    }
    // The socket is there once it accepts clients.
    const std::string socket = runtimeDir + "/" + server->socket_;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (access(socket.c_str(), F_OK) != 0) {
        if (Clock::now() > deadline || !server->process_->Running()) {
            *error = "weston made no socket";
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return server;
}

}  // namespace vx::testing
