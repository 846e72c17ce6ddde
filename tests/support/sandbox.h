// A plain user's machine for the distribution folder: a bubblewrap sandbox
// whose root holds only what every Linux system has, never the packages the
// build needed (no FLTK, no C++ runtime, no ncurses libraries).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vx::testing {

// The X11 client libraries the window plugin and the demo game may need, as
// the README lists them.
inline const std::vector<std::string> kX11ClientLibraries = {
    "libX11.so.6",    "libXext.so.6",    "libXft.so.2",      "libXrender.so.1",
    "libXfixes.so.3", "libXcursor.so.1", "libXinerama.so.1", "libfontconfig.so.1"};

struct SandboxCommand {
    std::vector<std::string> argv;  // "bwrap", its options, "--"; the program follows
    std::string missing;            // why no sandbox can be made here (argv then empty)
};

// The root holds the C library (Debian's libc6, the loader and its code
// conversion modules included), libgcc_s and the terminfo database; with
// `withX11` also the X11 client libraries above with the libraries they load,
// fontconfig's configuration and the fonts. `shared` folders are bound
// writable at their own paths, and the X server's socket folder is there.
// `environment` ("NAME=value") is set inside; HOME and the XDG folders should
// point into a shared folder.
SandboxCommand MakeSandboxCommand(bool withX11, const std::vector<std::filesystem::path>& shared,
                                  const std::vector<std::string>& environment);

// A shell script at `script` that runs `argv`, for runners that start a
// program without arguments.
void WriteScript(const std::filesystem::path& script, const std::vector<std::string>& argv);

}  // namespace vx::testing
