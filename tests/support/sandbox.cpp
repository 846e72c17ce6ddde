#include "tests/support/sandbox.h"

#include <set>
#include <sstream>

#include "tests/support/temp_machine.h"
#include "tests/support/x_session.h"

namespace vx::testing {

namespace fs = std::filesystem;

namespace {

// The lines of a command's standard output; empty when it failed.
std::vector<std::string> OutputLines(const std::vector<std::string>& argv) {
    const CommandResult r = RunCommand(argv, {{}, 30000});
    std::vector<std::string> lines;
    if (!r.finished || r.exitCode != 0) return lines;
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The files of an installed Debian package that the loader or the C library
// reads (libraries, code conversion modules, the loader's configuration).
std::vector<fs::path> PackageFiles(const std::string& package) {
    std::vector<fs::path> files;
    for (const std::string& line : OutputLines({"dpkg", "-L", package})) {
        const fs::path path = line;
        std::error_code ec;
        if (line.rfind("/usr/share/", 0) == 0 || fs::is_directory(path, ec) ||
            !fs::exists(path, ec))
            continue;
        files.push_back(path);
    }
    return files;
}

// A library and every library the loader would load with it, found as the
// system's loader finds them.
std::vector<fs::path> LibraryWithDependencies(const fs::path& library) {
    std::vector<fs::path> files{library};
    for (const std::string& line : OutputLines({"ldd", library.string()})) {
        const std::size_t arrow = line.find("=> /");
        if (arrow == std::string::npos) continue;
        const std::string rest = line.substr(arrow + 3);
        files.push_back(rest.substr(0, rest.find(" (")));
    }
    return files;
}

// The library of that name in the folder where the C library lies.
fs::path FindLibrary(const std::vector<fs::path>& cLibrary, const std::string& name) {
    for (const fs::path& file : cLibrary) {
        if (file.filename() != "libc.so.6") continue;
        std::error_code ec;
        const fs::path candidate = file.parent_path() / name;
        if (fs::exists(candidate, ec)) return candidate;
    }
    return {};
}

// A path as it is reached inside, where the top folders that are links on
// the host (/lib -> usr/lib) are links again.
fs::path PlaceOf(const fs::path& path) {
    std::error_code ec;
    const fs::path folder = fs::canonical(path.parent_path(), ec);
    return ec ? path : folder / path.filename();
}

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

SandboxCommand MakeSandboxCommand(bool withX11, const std::vector<fs::path>& shared,
                                  const std::vector<std::string>& environment) {
    SandboxCommand command;
    if (!FindProgram("bwrap")) {
        command.missing = "bubblewrap is not installed (Debian: bubblewrap)";
        return command;
    }
    std::vector<fs::path> files;
    for (const char* package : {"libc6", "libgcc-s1"}) {
        const std::vector<fs::path> found = PackageFiles(package);
        if (found.empty()) {
            command.missing = std::string("the package ") + package + " is not listed by dpkg";
            return command;
        }
        files.insert(files.end(), found.begin(), found.end());
    }
    std::vector<fs::path> folders = {"/etc/terminfo", "/lib/terminfo", "/usr/share/terminfo"};
    if (withX11) {
        for (const std::string& name : kX11ClientLibraries) {
            const fs::path library = FindLibrary(files, name);
            if (library.empty()) {
                command.missing = name + " is not installed";
                return command;
            }
            const std::vector<fs::path> found = LibraryWithDependencies(library);
            files.insert(files.end(), found.begin(), found.end());
        }
        folders.insert(folders.end(), {"/etc/fonts", "/usr/share/fontconfig", "/usr/share/fonts",
                                       "/usr/share/X11/locale"});
    }

    std::vector<std::string>& argv = command.argv;
    argv = {"bwrap", "--die-with-parent", "--proc", "/proc", "--dev", "/dev", "--tmpfs", "/tmp"};
    for (const char* top : {"/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"}) {
        std::error_code ec;
        if (fs::is_symlink(top, ec))
            argv.insert(argv.end(), {"--symlink", fs::read_symlink(top, ec).string(), top});
    }
    std::set<std::string> placed;
    for (const fs::path& file : files) {
        const std::string place = PlaceOf(file).string();
        if (placed.insert(place).second)
            argv.insert(argv.end(), {"--ro-bind", file.string(), place});
    }
    for (const fs::path& folder : folders) {
        std::error_code ec;
        if (fs::is_directory(folder, ec))
            argv.insert(argv.end(),
                        {"--ro-bind", folder.string(), fs::canonical(folder, ec).string()});
    }
    std::error_code ec;
    if (fs::is_directory("/tmp/.X11-unix", ec))
        argv.insert(argv.end(), {"--bind", "/tmp/.X11-unix", "/tmp/.X11-unix"});
    for (const fs::path& folder : shared)
        argv.insert(argv.end(), {"--bind", folder.string(), folder.string()});
    for (const std::string& entry : environment) {
        const std::size_t equals = entry.find('=');
        argv.insert(argv.end(), {"--setenv", entry.substr(0, equals), entry.substr(equals + 1)});
    }
    argv.push_back("--");
    return command;
}

void WriteScript(const fs::path& script, const std::vector<std::string>& argv) {
    std::string text = "#!/bin/sh\nexec";
    for (const std::string& word : argv) text += " " + Quoted(word);
    WriteFile(script, text + "\n");
    fs::permissions(script, fs::perms::owner_all);
}

}  // namespace vx::testing
