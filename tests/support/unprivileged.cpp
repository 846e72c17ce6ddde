#include "tests/support/unprivileged.h"

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vx::testing {

int RunInChild(const std::function<void()>& prepare, const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        prepare();
        _exit(body() & 0xFF);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool CanDropPrivileges() { return geteuid() == 0; }

int RunAsUnprivileged(const std::function<int()>& body) {
    return RunInChild(
        [] {
            const gid_t nobodyGroup = 65534;
            if (setgroups(0, nullptr) != 0 || setgid(nobodyGroup) != 0 || setuid(65534) != 0)
                _exit(254);
        },
        body);
}

int RunWithFileSizeLimit(unsigned long limitBytes, const std::function<int()>& body) {
    return RunInChild(
        [limitBytes] {
            // A write past the limit then fails with EFBIG instead of killing the child.
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{limitBytes, limitBytes};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(254);
        },
        body);
}

}  // namespace vx::testing
