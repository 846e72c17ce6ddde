// Starting host programs: in a session of their own, with no terminal input
// and no signal settings of ours, attached or detached.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::host {

// Whether `path` is a regular file (following links).
bool IsRegularFile(const std::string& path);

// Whether `path` is a regular file this process may execute.
bool IsExecutableFile(const std::string& path);

// The executable file `name` on the search path `searchPath` (a PATH value;
// an empty entry is the current folder), or nullopt.
std::optional<std::string> FindExecutableOnPath(std::string_view searchPath,
                                                const std::string& name);

// What Spawn starts: the program's host path, its arguments (the first is
// its name), its environment as "name=value" strings and its working folder
// (empty: ours).
struct SpawnRequest {
    std::string program;
    std::vector<std::string> arguments;
    std::vector<std::string> environment;
    std::string folder;
};

// Starts the program in a session of its own, standard input from /dev/null
// and every signal at its default. Detached, the intermediate child leaves
// at once and is reaped here, the program itself is adopted by init, so no
// zombie remains; attached, the program is our child and `started` receives
// its id. Returns 0 when execve succeeded, else its errno.
int Spawn(SpawnRequest request, bool detached, pid_t* started = nullptr);

}  // namespace vx::host
