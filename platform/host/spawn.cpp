#include "platform/host/spawn.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/host/descriptors.h"

namespace vx::host {

namespace {

std::vector<char*> PointerArray(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

void WriteErrno(int fd, int error) {
    // Nothing to do if this fails: the parent then sees a started program.
    (void)WriteAll(fd, reinterpret_cast<const char*>(&error), sizeof error);
}

// Everything a child needs, prepared before forking: between fork and
// execve only async-signal-safe calls are made.
struct ChildSetup {
    const char* path;
    const char* workingFolder;
    std::vector<char*> argv;
    std::vector<char*> envp;
    int devNull;
    int report;  // the pipe's writing end, for execve's errno
    sigset_t emptyMask;
    struct sigaction defaultAction;
};

[[noreturn]] void RunChild(ChildSetup& setup, bool detached) {
    (void)setsid();  // a fresh child is never a group leader, so this cannot fail
    if (detached) {
        const pid_t grandchild = fork();
        if (grandchild < 0) {
            WriteErrno(setup.report, errno);
            _exit(1);
        }
        if (grandchild > 0) _exit(0);
    }
    // A started program reads no terminal and inherits no stray signal
    // settings of ours (ignored ones survive execve).
    if (setup.devNull >= 0) (void)dup2(setup.devNull, STDIN_FILENO);  // else our input stays
    // SIGKILL, SIGSTOP and the unused numbers refuse; every other one takes it.
    for (int sig = 1; sig < NSIG; ++sig) (void)sigaction(sig, &setup.defaultAction, nullptr);
    (void)sigprocmask(SIG_SETMASK, &setup.emptyMask, nullptr);  // fails only for a bad argument
    if (setup.workingFolder && chdir(setup.workingFolder) != 0) {
        WriteErrno(setup.report, errno);
        _exit(127);
    }
    execve(setup.path, setup.argv.data(), setup.envp.data());
    WriteErrno(setup.report, errno);
    _exit(127);
}

// The parent's side once the child is forked: execve's errno, or 0 when
// the program runs; the child is reaped unless it is the attached program.
int AwaitStart(pid_t child, int report, bool detached, pid_t* started) {
    int error = 0;
    // End of file without a word: execve closed the pipe, the program runs.
    if (!ReadExactly(report, &error, sizeof error)) error = 0;
    close(report);
    if (detached || error != 0) {
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    } else if (started) {
        *started = child;
    }
    return error;
}

}  // namespace

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsExecutableFile(const std::string& path) {
    return IsRegularFile(path) && access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> FindExecutableOnPath(std::string_view searchPath,
                                                const std::string& name) {
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        auto end = searchPath.find(':', start);
        if (end == std::string_view::npos) end = searchPath.size();
        std::string folder(searchPath.substr(start, end - start));
        if (folder.empty()) folder = ".";
        const std::string path = folder + "/" + name;
        if (IsExecutableFile(path)) return path;
        start = end + 1;
    }
    return std::nullopt;
}

int Spawn(SpawnRequest request, bool detached, pid_t* started) {
    ChildSetup setup{};
    setup.path = request.program.c_str();
    setup.workingFolder = request.folder.empty() ? nullptr : request.folder.c_str();
    setup.argv = PointerArray(request.arguments);
    setup.envp = PointerArray(request.environment);
    setup.devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const UniqueFd devNull(setup.devNull);
    sigemptyset(&setup.emptyMask);
    setup.defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&setup.defaultAction.sa_mask);

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return errno;
    setup.report = report[1];
    const pid_t child = fork();
    if (child < 0) {
        const int error = errno;
        close(report[0]);
        close(report[1]);
        return error;
    }
    if (child == 0) RunChild(setup, detached);
    close(report[1]);
    return AwaitStart(child, report[0], detached, started);
}

}  // namespace vx::host
