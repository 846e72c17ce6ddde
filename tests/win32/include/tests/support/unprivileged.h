// The Windows build has no user to switch to: the tests that need a write to
// fail for lack of rights skip themselves here.
#pragma once

#include <functional>

namespace vx::testing {

inline bool CanDropPrivileges() { return false; }
inline int RunAsUnprivileged(const std::function<int()>&) { return -1; }
inline int RunWithFileSizeLimit(unsigned long, const std::function<int()>&) { return -1; }

}  // namespace vx::testing
