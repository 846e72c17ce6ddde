// Runs an operation where a write must fail even though the tests run as
// root, which ignores permission bits: in a child process that has dropped to
// an unprivileged user, or under a file-size limit.
#pragma once

#include <functional>

namespace vx::testing {

#ifdef _WIN32
// The Windows build has no user to switch to: the tests that need a write to
// fail for lack of rights skip themselves there.
inline bool CanDropPrivileges() { return false; }
inline int RunAsUnprivileged(const std::function<int()>&) { return -1; }
inline int RunWithFileSizeLimit(unsigned long, const std::function<int()>&) { return -1; }
#else
// Runs `prepare`, then `body`, in a forked child and returns the body's
// result (0..255), or -1 when the child did not exit normally. `prepare`
// ends the child with _exit when it cannot do its part.
int RunInChild(const std::function<void()>& prepare, const std::function<int()>& body);

// True when the process may switch users (it runs as root).
bool CanDropPrivileges();

// Runs `body` in a forked child as user and group 65534 ("nobody"); its
// result as RunInChild's.
int RunAsUnprivileged(const std::function<int()>& body);

// Runs `body` in a forked child whose files may not grow past `limitBytes`
// (writes beyond it fail as on a full disk); returns its result as above.
int RunWithFileSizeLimit(unsigned long limitBytes, const std::function<int()>& body);
#endif

}  // namespace vx::testing
