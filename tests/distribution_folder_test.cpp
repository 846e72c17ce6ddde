// What the files of the distribution folder need from the user's machine:
// the libraries they name and the C library versions of their symbols.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/sandbox.h"
#include "tests/support/temp_machine.h"
#include "tests/support/x_session.h"

namespace vx::testing {
namespace {

namespace fs = std::filesystem;

TEST(DistributionFolder, NeedsOnlyTheCLibraryAndForWindowsX11OrGtk) {
#ifndef VX_PORTABLE_DIST
    GTEST_SKIP() << "only the default preset's distribution folder is linked to run elsewhere";
#endif
    if (!FindProgram("readelf") || !FindProgram("objdump")) GTEST_SKIP() << "needs binutils";
    // The C library's parts, the loader and GCC's support library.
    const std::set<std::string> base = {
        "libc.so.6",    "libm.so.6", "libdl.so.2", "libpthread.so.0", "ld-linux-x86-64.so.2",
        "libgcc_s.so.1"};
    std::set<std::string> withX11 = base;
    withX11.insert(kX11ClientLibraries.begin(), kX11ClientLibraries.end());
    // Only the FLTK windows and the demo game draw on X11.
    const std::set<std::string> drawing = {"install-windows.so", "vornalux.exe"};
    // The GTK windows use the desktop's GTK 3 and nothing else beyond the base.
    std::set<std::string> withGtk = base;
    withGtk.insert({"libgtk-3.so.0", "libgdk-3.so.0", "libpango-1.0.so.0", "libatk-1.0.so.0",
                    "libcairo.so.2", "libgdk_pixbuf-2.0.so.0", "libgobject-2.0.so.0",
                    "libglib-2.0.so.0"});

    const std::regex needed(R"(\(NEEDED\)\s+Shared library: \[([^\]]+)\])");
    const std::regex version(R"(GLIBC_(\d+)\.(\d+))");
    int elfFiles = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(VX_DIST_DIR)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || ReadFile(entry.path())
                                                .rfind("\x7f"
                                                       "ELF",
                                                       0) != 0)
            continue;
        ++elfFiles;
        SCOPED_TRACE(name);
        const std::set<std::string>& allowed = name == "install-gtk.so" ? withGtk
                                               : drawing.count(name)    ? withX11
                                                                        : base;
        const CommandResult dynamic =
            RunCommand({"readelf", "-d", "-W", entry.path().string()}, {});
        ASSERT_EQ(dynamic.exitCode, 0);
        for (std::sregex_iterator m(dynamic.output.begin(), dynamic.output.end(), needed), end;
             m != end; ++m)
            EXPECT_EQ(allowed.count((*m)[1]), 1u) << "needs " << (*m)[1];
        const CommandResult symbols = RunCommand({"objdump", "-T", entry.path().string()}, {});
        ASSERT_EQ(symbols.exitCode, 0);
        std::istringstream lines(symbols.output);
        for (std::string line; std::getline(lines, line);) {
            std::smatch m;
            if (!std::regex_search(line, m, version)) continue;
            const int major = std::stoi(m[1]), minor = std::stoi(m[2]);
            EXPECT_TRUE(major < 2 || (major == 2 && minor <= 34)) << line;
        }
        // A plugin exports its entry and nothing else.
        if (name.ends_with(".so")) {
            std::vector<std::string> exported;
            std::istringstream table(symbols.output);
            for (std::string line; std::getline(table, line);)
                if (line.find(" g ") != std::string::npos &&
                    line.find("*UND*") == std::string::npos)
                    exported.push_back(line.substr(line.rfind(' ') + 1));
            EXPECT_EQ(exported, std::vector<std::string>{"VxCreateWindowBackend"});
        }
        // Stripped: no symbol table beyond the dynamic one.
        const CommandResult sections =
            RunCommand({"readelf", "-S", "-W", entry.path().string()}, {});
        EXPECT_EQ(sections.output.find(".symtab"), std::string::npos);
    }
    EXPECT_EQ(elfFiles, 5);  // install, its two window plugins, the converter, the demo game
}

}  // namespace
}  // namespace vx::testing
