// The setup program's real windows under an X server of the test's own:
// the preset's own build of `install`, started on a temporary machine and
// driven with the mouse and the keyboard as a user would.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "platform/framework/dialog_template.h"
#include "setup/paths.h"
#include "tests/support/distribution.h"
#include "tests/support/sandbox.h"
#include "tests/support/temp_machine.h"
#include "tests/support/x_session.h"

namespace vx::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kMainCaption = "Vornalux! 1.2 Install/Unistall";
constexpr const char* kSoundCardCaption = "Do you have a sound card?";

struct Rect {
    int x, y, cx, cy;  // dialog units
};
// The main dialog's layout, as its template gives it.
constexpr Rect kInstallButton{82, 159, 50, 12};
constexpr Rect kDirectoryField{95, 18, 91, 12};
constexpr Rect kBanner{13, 49, 15, 13};
constexpr Rect kRightsNotice{7, 116, 179, 17};

fs::path ScreenshotFolder() { return fs::path(VX_DIST_DIR).parent_path() / "screenshots"; }

std::string RegexOf(const std::string& text) {
    std::string out = "^";
    for (const char c : text) {
        if (std::strchr("\\^$.|?*+()[]{}", c)) out += '\\';
        out += c;
    }
    return out + "$";
}

// One Xvfb and the commands that look at and drive its windows.
class Screen {
public:
    explicit Screen(XServer& server) : server_(server) {}

    CommandResult Run(std::vector<std::string> argv, int milliseconds = 15000) {
        return RunCommand(argv, {{server_.DisplayVariable()}, milliseconds});
    }

    // The id of the visible window titled exactly `title`, waiting for it.
    std::string WaitForWindow(const std::string& title, ChildProcess& app,
                              int milliseconds = 20000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < deadline) {
            const CommandResult r =
                Run({"xdotool", "search", "--onlyvisible", "--name", RegexOf(title)});
            if (r.finished && r.exitCode == 0 && !r.output.empty())
                return r.output.substr(0, r.output.find('\n'));
            if (!app.Running()) break;
            std::this_thread::sleep_for(50ms);
        }
        return {};
    }

    // Waits until `id` holds the keyboard focus: the program hands it to
    // every window it opens for input.
    bool WaitForFocus(const std::string& id, int milliseconds = 10000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < deadline) {
            const CommandResult r = Run({"xdotool", "getwindowfocus"});
            if (r.finished && r.output.substr(0, r.output.find('\n')) == id) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    std::string Geometry(const std::string& id) {
        const CommandResult r = Run({"xdotool", "getwindowgeometry", id});
        const std::size_t at = r.output.find("Geometry: ");
        if (at == std::string::npos) return {};
        std::istringstream in(r.output.substr(at + 10));
        std::string size;
        in >> size;
        return size;
    }

    // A click at the centre of a control's rectangle.
    void Click(const std::string& id, const Rect& r) {
        const int x = DialogUnitsToPixelsX(r.x + r.cx / 2);
        const int y = DialogUnitsToPixelsY(r.y + r.cy / 2);
        Run({"xdotool", "mousemove", "--window", id, "--sync", std::to_string(x), std::to_string(y),
             "click", "1"});
    }

    void Keys(std::vector<std::string> keys) {
        std::vector<std::string> argv = {"xdotool", "key", "--delay", "80"};
        argv.insert(argv.end(), keys.begin(), keys.end());
        Run(argv);
    }

    void Type(const std::string& text) { Run({"xdotool", "type", "--delay", "30", text}); }

    // A picture of the whole screen (kept for CI) and one of the window.
    fs::path Screenshot(const std::string& id, const std::string& name) {
        fs::create_directories(ScreenshotFolder());
        Run({"import", "-window", "root", (ScreenshotFolder() / (name + "-screen.png")).string()});
        const fs::path window = ScreenshotFolder() / (name + ".png");
        Run({"import", "-window", id, window.string()});
        return window;
    }

    // The mean brightness (0 to 1) of a pixel rectangle of a picture.
    double Brightness(const fs::path& picture, int x, int y, int w, int h) {
        return Measure(picture, x, y, w, h, "gray", "%[fx:mean]");
    }

    // How many colours a pixel rectangle holds: a picture scaled up
    // smoothly shows more than its original, a blocky one the same.
    int Colours(const fs::path& picture, int x, int y, int w, int h) {
        return static_cast<int>(Measure(picture, x, y, w, h, "sRGB", "%k"));
    }

    // Loads X resources into the server, as a desktop's settings daemon does.
    void LoadResources(const fs::path& file, const std::string& resources) {
        WriteFile(file, resources);
        const CommandResult r = Run({"xrdb", "-nocpp", "-merge", file.string()});
        ASSERT_TRUE(r.finished && r.exitCode == 0) << "xrdb failed";
    }

private:
    // ImageMagick's `format` (a number) of a pixel rectangle of a picture;
    // -1 when there is none (the rectangle outside the picture).
    double Measure(const fs::path& picture, int x, int y, int w, int h,
                   const std::string& colourSpace, const std::string& format) {
        const std::string crop = std::to_string(w) + "x" + std::to_string(h) + "+" +
                                 std::to_string(x) + "+" + std::to_string(y);
        const CommandResult r = Run({"convert", picture.string(), "-crop", crop, "+repage",
                                     "-colorspace", colourSpace, "-format", format, "info:"});
        if (!r.finished || r.exitCode != 0) return -1;
        char* end = nullptr;
        const double value = std::strtod(r.output.c_str(), &end);
        return end == r.output.c_str() ? -1 : value;
    }

    XServer& server_;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!FindProgram("Xvfb") || !FindProgram("xdotool"))
            GTEST_SKIP() << "the window test needs Xvfb and xdotool (Debian: xvfb, xdotool)";
        ASSERT_TRUE(FindProgram("import") && FindProgram("convert"))
            << "screenshots need ImageMagick (Debian: imagemagick)";
        std::string error;
        server_ = XServer::Start(&error);
        ASSERT_TRUE(server_) << error;
        screen_ = std::make_unique<Screen>(*server_);
        FillDistribution(machine_);
        PlaceSetupProgram(machine_);
    }

    fs::path program() const { return machine_.distFolder() / "install"; }

    // `prefix`: the command the program runs in (a sandbox), if any; the
    // FLTK windows unless `environment` says otherwise.
    std::unique_ptr<ChildProcess> StartInstall(const std::string& logName,
                                               std::vector<std::string> prefix = {},
                                               std::vector<std::string> environment = {
                                                   "VORNALUX_WINDOWS=fltk"}) {
        const fs::path suppressions = fs::path(__FILE__).parent_path() / "lsan.supp";
        lastLog_ = machine_.root() / (logName + ".log");
        prefix.push_back(program().string());
        environment.insert(
            environment.end(),
            {server_->DisplayVariable(),
             "WAYLAND_DISPLAY=", "WINEPREFIX=" + machine_.machineFolder().string(),
             "LSAN_OPTIONS=suppressions=" + suppressions.string() + ":print_suppressions=0"});
        return ChildProcess::Start(prefix, environment, lastLog_.string());
    }

    std::string Log() const {
        try {
            return ReadFile(lastLog_);
        } catch (...) {
            return {};
        }
    }

    // Waits for the program to end by itself with status 0.
    void ExpectCleanExit(ChildProcess& app) {
        int status = 0;
        ASSERT_TRUE(app.Wait(30000, &status)) << "the program did not end\n" << Log();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << "\n"
                                                                   << Log();
    }

    // A window with this caption appears and takes the keyboard.
    std::string ActiveWindow(const std::string& caption, ChildProcess& app) {
        const std::string id = screen_->WaitForWindow(caption, app);
        EXPECT_FALSE(id.empty()) << "no window '" << caption << "'\n" << Log();
        if (!id.empty()) {
            EXPECT_TRUE(screen_->WaitForFocus(id)) << "'" << caption << "' has no focus";
        }
        return id;
    }

    // The value of a key of the settings file ("" when absent).
    std::string Setting(const std::string& key) const {
        std::istringstream in(Settings());
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
        }
        return {};
    }

    std::string Settings() const {
        const fs::path ini = machine_.windowsFolder() / "vornalux.ini";
        return fs::exists(ini) ? ReadFile(ini) : std::string();
    }

    void ExpectInstalledIn(const fs::path& folder) {
        for (const char* name : ProgramFiles) {
            SCOPED_TRACE(name);
            ASSERT_TRUE(fs::exists(folder / name));
            EXPECT_EQ(ReadFile(folder / name), PlaceholderContent(name));
        }
        for (const char* name : SystemFiles)
            EXPECT_TRUE(fs::exists(machine_.windowsFolder() / "system32" / name)) << name;
    }

    TempMachine machine_;
    std::unique_ptr<XServer> server_;
    std::unique_ptr<Screen> screen_;
    fs::path lastLog_;
};

TEST_F(WindowTest, InstallWithTheMouseThenUninstallWithTheKeyboard) {
    {
        std::unique_ptr<ChildProcess> app = StartInstall("install");
        ASSERT_TRUE(app);
        const std::string main = ActiveWindow(kMainCaption, *app);
        ASSERT_FALSE(main.empty());
        EXPECT_EQ(screen_->Geometry(main), "291x289");

        // The first paint put the banner at the picture control's place, at
        // its own 256 x 96: dark there, the dialog's grey just below it.
        std::this_thread::sleep_for(300ms);
        const fs::path shot = screen_->Screenshot(main, "main-dialog");
        const int bx = DialogUnitsToPixelsX(kBanner.x), by = DialogUnitsToPixelsY(kBanner.y);
        EXPECT_LT(screen_->Brightness(shot, bx, by, 256, 96), 0.5);
        const double grey = screen_->Brightness(shot, bx, by + 96 + 1, 256, 8);
        EXPECT_NEAR(grey, 192.0 / 255.0, 0.02);
        EXPECT_NEAR(screen_->Brightness(shot, 0, 0, 291, 4), 192.0 / 255.0, 0.02);
        // The rights notice is drawn inside its own rectangle.
        EXPECT_LT(screen_->Brightness(shot, DialogUnitsToPixelsX(kRightsNotice.x),
                                      DialogUnitsToPixelsY(kRightsNotice.y),
                                      DialogUnitsToPixelsX(kRightsNotice.cx),
                                      DialogUnitsToPixelsY(kRightsNotice.cy)),
                  grey - 0.02);

        screen_->Click(main, kDirectoryField);
        screen_->Keys({"ctrl+a"});
        screen_->Type("C:\\Games\\Vornalux");
        screen_->Click(main, kInstallButton);

        const std::string soundCard = ActiveWindow(kSoundCardCaption, *app);
        ASSERT_FALSE(soundCard.empty());
        EXPECT_EQ(screen_->Geometry(soundCard), "279x88");
        screen_->Screenshot(soundCard, "sound-card-dialog");
        screen_->Keys({"Escape"});  // "No!"

        const std::string done = ActiveWindow("Vornalux! installation complete.", *app);
        ASSERT_FALSE(done.empty());
        screen_->Screenshot(done, "install-complete");
        screen_->Keys({"Return"});
        ExpectCleanExit(*app);
    }
    ExpectInstalledIn(machine_.driveC() / "Games" / "Vornalux");
    EXPECT_EQ(Setting("SoundFx"), "0") << Settings();
    EXPECT_EQ(Setting("Directory"), "C:\\Games\\Vornalux") << Settings();

    {
        std::unique_ptr<ChildProcess> app = StartInstall("uninstall");
        ASSERT_TRUE(app);
        const std::string main = ActiveWindow(kMainCaption, *app);
        ASSERT_FALSE(main.empty());
        // From "Install": Cancel, the DirectX box, the install box, the
        // field, the uninstall box; Space clicks it, Enter confirms.
        screen_->Keys({"Tab", "Tab", "Tab", "Tab", "Tab", "space", "Return"});
        const std::string confirm = ActiveWindow("Confirm Folder Delete", *app);
        ASSERT_FALSE(confirm.empty());
        screen_->Screenshot(confirm, "confirm-folder-delete");
        screen_->Keys({"Return"});  // Yes, the default
        const std::string done = ActiveWindow("Vornalux! uninstall complete.", *app);
        ASSERT_FALSE(done.empty());
        screen_->Keys({"Return"});
        ExpectCleanExit(*app);
    }
    EXPECT_FALSE(fs::exists(machine_.driveC() / "Games" / "Vornalux"));
    for (const char* name : ProgramFiles)
        EXPECT_FALSE(fs::exists(machine_.driveC() / "Games" / "Vornalux" / name)) << name;
}

TEST_F(WindowTest, EscapeCancelsThenBrowseAndInstallWithTheKeyboard) {
    fs::create_directories(machine_.driveC() / "Games");
    {
        // Escape is Cancel: the program ends and nothing is written.
        std::unique_ptr<ChildProcess> app = StartInstall("cancel");
        ASSERT_TRUE(app);
        ASSERT_FALSE(ActiveWindow(kMainCaption, *app).empty());
        screen_->Keys({"Escape"});
        ExpectCleanExit(*app);
        EXPECT_EQ(Setting("VornaluxInstalled"), "") << Settings();
        EXPECT_FALSE(fs::exists(machine_.driveC() / "vornalux"));
    }
    {
        std::unique_ptr<ChildProcess> app = StartInstall("browse");
        ASSERT_TRUE(app);
        const std::string main = ActiveWindow(kMainCaption, *app);
        ASSERT_FALSE(main.empty());
        // Backwards from "Install" past the statics and the picture:
        // "Launch Vornalux!", then "Browse...".
        screen_->Keys({"shift+Tab", "shift+Tab", "space"});
        const std::string chooser = ActiveWindow("Browse for Folder", *app);
        ASSERT_FALSE(chooser.empty());
        // C: is selected first; open it and step down to its first folder.
        screen_->Keys({"Right", "Down"});
        screen_->Screenshot(chooser, "browse-for-folder");
        screen_->Keys({"Return"});
        ASSERT_TRUE(screen_->WaitForFocus(main));
        // The focus is back on "Browse..."; forwards past the picture and
        // the status line to "Launch Vornalux!", then round to "Install".
        screen_->Keys({"Tab", "Tab", "Return"});
        ASSERT_FALSE(ActiveWindow(kSoundCardCaption, *app).empty());
        screen_->Keys({"Return"});  // "Yes!", the default
        ASSERT_FALSE(ActiveWindow("Vornalux! installation complete.", *app).empty());
        screen_->Keys({"Return"});
        ExpectCleanExit(*app);
    }
    // The picked folder as a Windows path, the files directly in it.
    ExpectInstalledIn(machine_.driveC() / "Games");
    EXPECT_EQ(Setting("Directory"), "C:\\Games") << Settings();
    EXPECT_EQ(Setting("SoundFx"), "1") << Settings();
}

TEST_F(WindowTest, TheDirectoryFieldStopsTypingAt128Characters) {
    std::unique_ptr<ChildProcess> app = StartInstall("limit");
    ASSERT_TRUE(app);
    const std::string main = ActiveWindow(kMainCaption, *app);
    ASSERT_FALSE(main.empty());
    screen_->Click(main, kDirectoryField);
    screen_->Keys({"ctrl+a"});
    // "C:\" and 130 letters: the last five never arrive.
    screen_->Type("C:\\" + std::string(125, 'a') + "bbbbb");
    screen_->Keys({"Return"});
    ASSERT_FALSE(ActiveWindow(kSoundCardCaption, *app).empty());
    screen_->Keys({"Escape"});
    ASSERT_FALSE(ActiveWindow("Vornalux! installation complete.", *app).empty());
    screen_->Keys({"Return"});
    ExpectCleanExit(*app);
    ExpectInstalledIn(machine_.driveC() / std::string(125, 'a'));
}

// With Xft.dpi at 192, as a desktop at 200 % sets it, the dialog is drawn at
// twice its size and the banner scaled smoothly, not in blocks.
TEST_F(WindowTest, TheWindowsFollowTheDesktopsDpi) {
    ASSERT_TRUE(FindProgram("xrdb"))
        << "resources are loaded with xrdb (Debian: x11-xserver-utils)";
    struct Seen {
        int w = 0, h = 0;
        int bannerColours = -1;
    } seen[2];
    for (const int scale : {1, 2}) {
        SCOPED_TRACE("scale " + std::to_string(scale));
        const std::string dpi = std::to_string(96 * scale);
        if (scale == 2) {
            ASSERT_NO_FATAL_FAILURE(
                screen_->LoadResources(machine_.root() / "resources", "Xft.dpi: 192\n"));
        }
        std::unique_ptr<ChildProcess> app = StartInstall("dpi-" + dpi);
        ASSERT_TRUE(app);
        const std::string main = ActiveWindow(kMainCaption, *app);
        ASSERT_FALSE(main.empty());
        Seen& s = seen[scale - 1];
        ASSERT_EQ(std::sscanf(screen_->Geometry(main).c_str(), "%dx%d", &s.w, &s.h), 2);
        std::this_thread::sleep_for(300ms);
        const fs::path shot = screen_->Screenshot(main, "main-dialog-" + dpi + "dpi");
        // The banner fills its place at the scale, the dialog's grey right below it.
        const int bx = scale * DialogUnitsToPixelsX(kBanner.x);
        const int by = scale * DialogUnitsToPixelsY(kBanner.y);
        const int bw = 256 * scale, bh = 96 * scale;
        EXPECT_LT(screen_->Brightness(shot, bx, by, bw, bh), 0.5);
        EXPECT_NEAR(screen_->Brightness(shot, bx, by + bh + scale, bw, 8), 192.0 / 255.0, 0.02);
        s.bannerColours = screen_->Colours(shot, bx, by, bw, bh);
        screen_->Keys({"Escape"});
        ExpectCleanExit(*app);
    }
    EXPECT_NEAR(seen[1].w, 2.0 * seen[0].w, 0.2 * seen[0].w);
    EXPECT_NEAR(seen[1].h, 2.0 * seen[0].h, 0.2 * seen[0].h);
    EXPECT_GT(seen[1].bannerColours, 2 * seen[0].bannerColours);
}

// On a machine with nothing beyond a plain desktop: the C library, libgcc_s,
// the X11 client libraries, fonts. The windows come up from the plugin and
// an install completes, its shortcut made by the converter in the same
// sandbox.
TEST_F(WindowTest, RunsOnAPlainDesktop) {
#ifndef VX_PORTABLE_DIST
    GTEST_SKIP() << "only the default preset's distribution folder is linked to run elsewhere";
#endif
    const std::string home = "HOME=" + machine_.root().string();
    const SandboxCommand sandbox =
        MakeSandboxCommand(true, {machine_.root()},
                           {home, "XDG_CONFIG_HOME=" + (machine_.root() / "config").string(),
                            "XDG_DATA_HOME=" + (machine_.root() / "data").string(),
                            "XDG_CACHE_HOME=" + (machine_.root() / "cache").string()});
    if (sandbox.argv.empty()) GTEST_SKIP() << sandbox.missing;
    for (const std::string& word : sandbox.argv)
        for (const char* hidden : {"libstdc++", "libfltk", "libncurses", "libtinfo"})
            EXPECT_EQ(word.find(hidden), std::string::npos) << word;
    // Not forced: the GTK plugin, with no GTK in the sandbox, is passed over silently.
    std::unique_ptr<ChildProcess> app = StartInstall("sandbox", sandbox.argv, {});
    ASSERT_TRUE(app);
    ASSERT_FALSE(ActiveWindow(kMainCaption, *app).empty());
    screen_->Keys({"Return"});  // "Install", to the folder offered
    ASSERT_FALSE(ActiveWindow(kSoundCardCaption, *app).empty());
    screen_->Keys({"Return"});
    ASSERT_FALSE(ActiveWindow("Vornalux! installation complete.", *app).empty());
    screen_->Keys({"Return"});
    ExpectCleanExit(*app);
    EXPECT_EQ(Log(), "");
    ExpectInstalledIn(machine_.driveC() / "vornalux");
    EXPECT_TRUE(WaitForFile(machine_.windowsFolder() / "Start Menu" / "Programs" /
                            "PELTOMARK! Inc" / "Vornalux!.lnk"));
}

// Left to choose, the program shows the GTK windows, at the desktop's scale
// and with the FLTK windows' keys; without the GTK plugin, the FLTK windows,
// saying nothing of the other.
TEST_F(WindowTest, ChoosesTheGtkWindowsAtTheDesktopsScaleElseTheFltkOnes) {
    struct Step {
        const char* caption;
        std::vector<std::string> keys;
    };
    // Runs the program unforced through its windows; the main window's size.
    const auto run = [&](const std::string& name, std::vector<std::string> environment,
                         const std::vector<Step>& steps) {
        // No session bus, so no accessibility bus is started for these runs.
        environment.insert(environment.end(),
                           {"NO_AT_BRIDGE=1", "DBUS_SESSION_BUS_ADDRESS=disabled:"});
        std::unique_ptr<ChildProcess> app = StartInstall(name, {}, environment);
        std::string size;
        if (!app) return size;
        for (const Step& step : steps) {
            const std::string id = ActiveWindow(step.caption, *app);
            if (id.empty()) return size;
            if (size.empty()) size = screen_->Geometry(id);
            screen_->Keys(step.keys);
        }
        ExpectCleanExit(*app);
        EXPECT_EQ(Log(), "") << name;
        return size;
    };
    // The default button, then Escape for "No!", then Enter for OK.
    const std::string scale1 = run("gtk-scale-1", {"GDK_SCALE=1"},
                                   {{kMainCaption, {"Return"}},
                                    {kSoundCardCaption, {"Escape"}},
                                    {"Vornalux! installation complete.", {"Return"}}});
    ExpectInstalledIn(machine_.driveC() / "vornalux");
    EXPECT_EQ(Setting("SoundFx"), "0") << Settings();
    // The Tab order of the template, as in the FLTK windows, to the uninstall box.
    const std::string scale2 =
        run("gtk-scale-2", {"GDK_SCALE=2"},
            {{kMainCaption, {"Tab", "Tab", "Tab", "Tab", "Tab", "space", "Return"}},
             {"Confirm Folder Delete", {"Return"}},
             {"Vornalux! uninstall complete.", {"Return"}}});
    EXPECT_FALSE(fs::exists(machine_.driveC() / "vornalux"));

    int width1 = 0, height1 = 0, width2 = 0, height2 = 0;
    ASSERT_EQ(std::sscanf(scale1.c_str(), "%dx%d", &width1, &height1), 2) << scale1;
    ASSERT_EQ(std::sscanf(scale2.c_str(), "%dx%d", &width2, &height2), 2) << scale2;
    // Not FLTK's size: the GTK windows came up, twice as large at scale 2.
    EXPECT_NE(scale1, "291x289");
    EXPECT_NEAR(static_cast<double>(width2) / width1, 2.0, 0.2) << scale1 << " " << scale2;
    EXPECT_NEAR(static_cast<double>(height2) / height1, 2.0, 0.2) << scale1 << " " << scale2;

    fs::remove(machine_.distFolder() / "install-gtk.so");
    EXPECT_EQ(run("without-gtk", {}, {{kMainCaption, {"Escape"}}}), "291x289");
}

}  // namespace
}  // namespace vx::testing
