// Argument and environment vectors in the form exec and posix_spawn take.
#pragma once

#include <string>
#include <vector>

namespace vx::testing {

// Pointers into `strings`, ended by a null pointer; valid while `strings` is.
inline std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace vx::testing
