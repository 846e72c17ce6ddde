// The time from starting the setup program to its first window through GTK,
// beside the same time for a bare GTK 3 window of the same size, measured
// in turns on one X server of the bench's own. Prints both medians and
// their ratio.
#include <X11/Xlib.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/temp_machine.h"
#include "tests/support/x_session.h"

namespace {

using Clock = std::chrono::steady_clock;
using vx::testing::ChildProcess;

constexpr int kRounds = 15;

struct Mapped {
    double milliseconds = -1;  // -1: no window within the time allowed
    int width = 0, height = 0;
};

// Starts argv and waits for the first top-level window it maps.
Mapped TimeFirstWindow(Display* display, const std::vector<std::string>& argv,
                       const std::vector<std::string>& environment) {
    while (XPending(display)) {
        XEvent stale;
        XNextEvent(display, &stale);
    }
    Mapped result;
    const auto start = Clock::now();
    std::unique_ptr<ChildProcess> process = ChildProcess::Start(argv, environment, "");
    if (!process) return result;
    const auto deadline = start + std::chrono::seconds(20);
    while (Clock::now() < deadline && result.milliseconds < 0) {
        while (XPending(display) && result.milliseconds < 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != MapNotify) continue;
            result.milliseconds =
                std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, event.xmap.window, &attributes)) {
                result.width = attributes.width;
                result.height = attributes.height;
            }
        }
        pollfd p{ConnectionNumber(display), POLLIN, 0};
        if (result.milliseconds < 0) poll(&p, 1, 5);
    }
    process->Kill();
    return result;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

}  // namespace

int main() {
    vx::testing::TempMachine machine;
    std::string error;
    const std::unique_ptr<vx::testing::XServer> server = vx::testing::XServer::Start(&error);
    if (!server) {
        std::fprintf(stderr, "no X server: %s\n", error.c_str());
        return 1;
    }
    Display* display = XOpenDisplay(server->display().c_str());
    if (display == nullptr) return 1;
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);

    // No session bus: neither run starts an accessibility bus.
    const std::vector<std::string> environment = {
        server->DisplayVariable(), "WAYLAND_DISPLAY=",
        "NO_AT_BRIDGE=1",          "DBUS_SESSION_BUS_ADDRESS=disabled:",
        "VORNALUX_WINDOWS=gtk",    "WINEPREFIX=" + machine.machineFolder().string()};
    const std::string program = std::string(VX_DIST_DIR) + "/install";
    // The first runs warm the caches and give the size the bare window takes.
    const Mapped first = TimeFirstWindow(display, {program}, environment);
    if (first.milliseconds < 0) {
        std::fprintf(stderr, "the setup program showed no window\n");
        return 1;
    }
    const std::vector<std::string> bare = {VX_BARE_GTK_WINDOW, std::to_string(first.width),
                                           std::to_string(first.height), "bare"};
    TimeFirstWindow(display, bare, environment);

    std::vector<double> setup, yardstick;
    for (int round = 0; round < kRounds; ++round) {
        const Mapped a = TimeFirstWindow(display, {program}, environment);
        const Mapped b = TimeFirstWindow(display, bare, environment);
        if (a.milliseconds < 0 || b.milliseconds < 0) {
            std::fprintf(stderr, "a run showed no window\n");
            return 1;
        }
        setup.push_back(a.milliseconds);
        yardstick.push_back(b.milliseconds);
    }
    XCloseDisplay(display);
    const double ours = Median(setup), theirs = Median(yardstick);
    std::printf("first window through GTK (%dx%d), median of %d runs each:\n", first.width,
                first.height, kRounds);
    std::printf(
        "  setup program    %7.1f ms\n  bare GTK window  %7.1f ms\n  ratio            %7.2f\n",
        ours, theirs, ours / theirs);
    return 0;
}
