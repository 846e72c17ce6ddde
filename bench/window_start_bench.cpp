// Time to the first window: the setup program through its FLTK plugin
// against a bare FLTK window of the same size, side by side on an X server
// of its own, with no Xft.dpi, with Xft.dpi 96 (read, scale 1) and with 192
// (scale 2). Two bare windows: one as FLTK opens its display, one whose
// display is opened as the plugin opens it (the fair yardstick for the
// plugin's own work). A round ends when the window is mapped; the median of
// the rounds is printed. Usage: window_start_bench [rounds]
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/distribution.h"
#include "tests/support/temp_machine.h"
#include "tests/support/x_session.h"

namespace {

using Clock = std::chrono::steady_clock;
using vx::testing::ChildProcess;

struct Mapped {
    double ms = -1;  // from the start to the map; -1 when it never came
    int w = 0, h = 0;
};

// Starts argv and times it to the map of its first top-level window.
Mapped TimeFirstWindow(Display* display, const std::vector<std::string>& argv,
                       const std::vector<std::string>& env) {
    // Whatever the previous round's window left in the queue goes.
    XSync(display, True);
    const auto start = Clock::now();
    std::unique_ptr<ChildProcess> app = ChildProcess::Start(argv, env, "");
    if (!app) return {};
    Mapped result;
    const auto deadline = start + std::chrono::seconds(20);
    while (result.ms < 0 && Clock::now() < deadline) {
        if (XPending(display) == 0) {
            pollfd p{ConnectionNumber(display), POLLIN, 0};
            poll(&p, 1, 50);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != MapNotify) continue;
        result.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, event.xmap.window, &attributes)) {
            result.w = attributes.width;
            result.h = attributes.height;
        }
    }
    app->Kill();
    return result;
}

// The server's resources, as xrdb leaves them (nullptr: none).
void SetResources(Display* display, const char* resources) {
    const Window root = DefaultRootWindow(display);
    if (resources == nullptr) {
        XDeleteProperty(display, root, XA_RESOURCE_MANAGER);
    } else {
        XChangeProperty(display, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(resources),
                        static_cast<int>(std::strlen(resources)));
    }
    XSync(display, False);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    std::string error;
    std::unique_ptr<vx::testing::XServer> server = vx::testing::XServer::Start(&error);
    if (!server) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    Display* display = XOpenDisplay(server->display().c_str());
    if (display == nullptr) return 1;
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);

    vx::testing::TempMachine machine;
    vx::testing::FillDistribution(machine);
    const std::vector<std::string> program = {vx::testing::PlaceSetupProgram(machine).string()};
    const std::vector<std::string> env = {server->DisplayVariable(),
                                          "WINEPREFIX=" + machine.machineFolder().string()};

    struct Setting {
        const char* name;
        const char* resources;
    };
    constexpr Setting kSettings[] = {{"no Xft.dpi", nullptr},
                                     {"Xft.dpi 96", "Xft.dpi:\t96\n"},
                                     {"Xft.dpi 192", "Xft.dpi:\t192\n"}};
    std::printf("%-12s %9s %12s %10s %6s %18s %6s\n", "resources", "window", "plugin (ms)",
                "bare (ms)", "ratio", "bare, plain (ms)", "ratio");
    for (const Setting& setting : kSettings) {
        SetResources(display, setting.resources);
        // A first round of each, not counted, learns the size and warms the caches.
        const Mapped first = TimeFirstWindow(display, program, env);
        if (first.ms < 0) {
            std::fprintf(stderr, "the setup program showed no window\n");
            return 1;
        }
        const std::vector<std::string> bare = {VX_BARE_FLTK_WINDOW, std::to_string(first.w),
                                               std::to_string(first.h)};
        std::vector<std::string> plain = bare;
        plain.push_back("--plain-display");
        const std::vector<std::string>* const runs[] = {&program, &bare, &plain};
        std::vector<double> ms[3];
        TimeFirstWindow(display, bare, env);
        TimeFirstWindow(display, plain, env);
        // Interleaved, so that whatever else the machine does weighs on all alike.
        for (int i = 0; i < rounds; ++i) {
            for (int r = 0; r < 3; ++r) {
                ms[r].push_back(TimeFirstWindow(display, *runs[r], env).ms);
                if (ms[r].back() < 0) {
                    std::fprintf(stderr, "a round showed no window\n");
                    return 1;
                }
            }
        }
        const double plugin = Median(ms[0]), yardstick = Median(ms[1]), fair = Median(ms[2]);
        const std::string size = std::to_string(first.w) + "x" + std::to_string(first.h);
        std::printf("%-12s %9s %12.1f %10.1f %6.2f %18.1f %6.2f\n", setting.name, size.c_str(),
                    plugin, yardstick, plugin / yardstick, fair, plugin / fair);
    }
    XCloseDisplay(display);
    return 0;
}
