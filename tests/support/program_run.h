// Runs a built program as the user would start it: standard input from a
// text, output collected, no display, on a given machine, with a time limit.
#pragma once

#include <filesystem>
#include <string>

#include "tests/support/x_session.h"

namespace vx::testing {

// Starts `program` in `folder` with `input` on its standard input, DISPLAY
// and WAYLAND_DISPLAY unset and WINEPREFIX set to `machineFolder`; waits at
// most `seconds` and kills it after that (exitCode is then -1).
inline CommandResult RunProgram(const std::filesystem::path& program, const std::string& input,
                                const std::filesystem::path& machineFolder,
                                const std::filesystem::path& folder, int seconds = 60) {
    CommandOptions options({"DISPLAY", "WAYLAND_DISPLAY", "WINEPREFIX=" + machineFolder.string()},
                           seconds * 1000);
    options.input = input;
    options.folder = folder;
    return RunCommand({program.string()}, options);
}

}  // namespace vx::testing
