// Runs a built program as the user would start it: standard input from a
// text, output collected, no display, on a given machine, with a time limit.
#pragma once

#include <filesystem>
#include <string>

namespace vx::testing {

struct ProgramRun {
    int exitStatus = -1;  // -1: it did not end by itself within the limit, or could not start
    std::string output;   // standard output and standard error together
};

// Starts `program` in `folder` with `input` on its standard input, DISPLAY
// and WAYLAND_DISPLAY unset and WINEPREFIX set to `machineFolder`; waits at
// most `seconds` and kills it after that. Scratch files go into `folder`.
ProgramRun RunProgram(const std::filesystem::path& program, const std::string& input,
                      const std::filesystem::path& machineFolder,
                      const std::filesystem::path& folder, int seconds = 60);

}  // namespace vx::testing
