// The differential suite's Windows half: runs every sequence through the
// real calls (under Wine) and writes the transcript to the file named by its
// one argument, for the Linux half to compare.

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/win32/win32_system_services.h"
#include "tests/differential/sequences.h"

// After the project's headers: <windows.h> defines several of their names as macros.
// clang-format off
#include <windows.h>
// clang-format on

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: differential_runner <transcript>\n");
        return 2;
    }
    char windows[MAX_PATH];
    const UINT length = ::GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    vx::win32::Win32SystemServices sys;
    const vx::differential::Workspace workspace{"C:\\vxdiff", "C:\\vxdiff",
                                                std::string(windows, length)};
    const std::string transcript = vx::differential::RunAll(sys, workspace);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << transcript;
    return out ? 0 : 1;
}
