// The GTK windows as a screen reader user meets them: the whole install and
// uninstall driven through the accessibility bus alone (the program's own
// build, on a temporary machine), on an X server and on a Wayland compositor
// with no X server named.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "setup/paths.h"
#include "tests/support/distribution.h"
#include "tests/support/temp_machine.h"
#include "tests/support/x_session.h"

namespace vx::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPython = "/usr/bin/python3";

std::string Suppressions() { return (fs::path(__FILE__).parent_path() / "lsan.supp").string(); }

fs::path Driver() { return fs::path(__FILE__).parent_path() / "accessibility" / "drive_setup.py"; }

std::string Setting(const fs::path& ini, const std::string& key) {
    std::istringstream in(fs::exists(ini) ? ReadFile(ini) : std::string());
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    }
    return {};
}

TEST(Accessibility, InstallAndUninstallThroughTheBusAloneOnX11AndWayland) {
    if (!FindProgram("dbus-run-session") || !fs::exists("/usr/libexec/at-spi-bus-launcher") ||
        RunCommand({kPython, "-c", "import pyatspi"}, {}).exitCode != 0)
        GTEST_SKIP() << "needs dbus, at-spi2-core and python3-pyatspi";
    if (!FindProgram("Xvfb") || !FindProgram("weston")) GTEST_SKIP() << "needs xvfb and weston";
    TempMachine machine;
    FillDistribution(machine);
    const fs::path program = PlaceSetupProgram(machine);
    const fs::path runtime = machine.root() / "runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);

    std::string error;
    const std::unique_ptr<XServer> x = XServer::Start(&error);
    ASSERT_TRUE(x) << error;
    const std::unique_ptr<WaylandServer> wayland = WaylandServer::Start(runtime.string(), &error);
    ASSERT_TRUE(wayland) << error;
    const struct {
        const char* name;
        std::vector<std::string> session;
    } sessions[] = {
        {"X11", {x->DisplayVariable(), "WAYLAND_DISPLAY="}},
        {"Wayland", {wayland->DisplayVariable(), "DISPLAY="}},
    };
    const fs::path folder = machine.driveC() / "Games" / "Vornalux";
    // The folder above it is picked in the folder chooser.
    for (const auto& s : sessions) {
        SCOPED_TRACE(s.name);
        std::vector<std::string> environment = s.session;
        environment.insert(environment.end(), {"WINEPREFIX=" + machine.machineFolder().string(),
                                               "XDG_RUNTIME_DIR=" + runtime.string(),
                                               "LSAN_OPTIONS=suppressions=" + Suppressions() +
                                                   ":print_suppressions=0"});
        const auto drive = [&](std::vector<std::string> arguments) {
            std::vector<std::string> argv = {"dbus-run-session", "--", kPython, Driver().string()};
            argv.insert(argv.end(), arguments.begin(), arguments.end());
            return RunCommand(argv, {environment, 90000});
        };
        fs::create_directories(folder.parent_path());
        const CommandResult installed = drive({"install", program.string(), "C:\\Games\\Vornalux"});
        ASSERT_TRUE(installed.finished && installed.exitCode == 0) << installed.output;
        for (const char* name : ProgramFiles)
            EXPECT_EQ(ReadFile(folder / name), PlaceholderContent(name)) << name;
        const fs::path ini = machine.windowsFolder() / "vornalux.ini";
        EXPECT_EQ(Setting(ini, "SoundFx"), "0");
        EXPECT_EQ(Setting(ini, "Directory"), "C:\\Games\\Vornalux");

        const CommandResult removed = drive({"uninstall", program.string()});
        ASSERT_TRUE(removed.finished && removed.exitCode == 0) << removed.output;
        EXPECT_FALSE(fs::exists(folder));
    }
}

}  // namespace
}  // namespace vx::testing
