// The setup program on a machine without a display, driven from the keyboard
// of a real pseudo-terminal: the built program runs in a tmux pane on a
// temporary machine, keys go in, the screen is read back.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "setup/paths.h"
#include "tests/support/desktop_files.h"
#include "tests/support/distribution.h"
#include "tests/support/program_run.h"
#include "tests/support/sandbox.h"
#include "tests/support/temp_machine.h"
#include "tests/support/terminal_session.h"
#include "vx_build_stamp.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using testing::TerminalSession;

constexpr const char* kFallbackLine = "No display could be opened; using the text interface.\n";

// The screen's text with the window frames taken out and each run of
// spaces made one, so that a message wrapped over several lines of a
// window reads as one line.
std::string Flatten(const std::string& screen) {
    std::string out;
    std::istringstream lines(screen);
    for (std::string line; std::getline(lines, line);) {
        std::string kept;
        for (std::size_t i = 0; i < line.size();) {
            // The frame's vertical line, U+2502, in UTF-8.
            if (line.compare(i, 3, "\xE2\x94\x82") == 0) {
                kept += ' ';
                i += 3;
            } else {
                kept += line[i++];
            }
        }
        out += kept + ' ';
    }
    std::string collapsed;
    for (const char c : out)
        if (c != ' ' || (!collapsed.empty() && collapsed.back() != ' ')) collapsed += c;
    return collapsed;
}

std::u32string Decode(const std::string& utf8) {
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        const int n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        char32_t cp = n == 1 ? lead : lead & (0x7F >> n);
        for (int k = 1; k < n && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
        out += cp;
        i += n;
    }
    return out;
}

std::string Encode(const std::u32string& text) {
    std::string out;
    for (const char32_t cp : text) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// The rows inside the window whose caption is `caption`, cut at its
// frame, so that what shows around it does not count; empty when no such
// window is on the screen.
std::string WindowText(const std::string& screen, const std::string& caption) {
    std::vector<std::u32string> rows;
    std::istringstream lines(screen);
    for (std::string line; std::getline(lines, line);) rows.push_back(Decode(line));
    const std::u32string title = Decode("\u250C\u2500 " + caption + " ");
    for (std::size_t top = 0; top < rows.size(); ++top) {
        const std::size_t left = rows[top].find(title);
        if (left == std::u32string::npos) continue;
        const std::size_t right = rows[top].find(U'\u2510', left);
        if (right == std::u32string::npos) continue;
        std::string inside;
        for (std::size_t row = top + 1; row < rows.size(); ++row) {
            if (rows[row].size() > left && rows[row][left] == U'\u2514') break;
            const std::u32string cells = rows[row].size() > left + 1
                                             ? rows[row].substr(left + 1, right - left - 1)
                                             : std::u32string();
            inside += Encode(cells) + "\n";
        }
        return inside;
    }
    return {};
}

// Every file and folder under `root` with its size and modification time.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        struct stat st {};
        lstat(it->path().c_str(), &st);
        entries[fs::relative(it->path(), root).string()] = std::to_string(st.st_size) + "@" +
                                                           std::to_string(st.st_mtim.tv_sec) + "." +
                                                           std::to_string(st.st_mtim.tv_nsec);
    }
    return entries;
}

class TerminalProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::TmuxAvailable()) GTEST_SKIP() << "tmux is not installed";
        testing::FillDistribution(machine);
        testing::PlaceSetupProgram(machine);
    }

    fs::path Program() const { return machine.distFolder() / "install"; }
    fs::path Target() const { return machine.driveC() / "Games" / "Vornalux"; }

    // A session of the distribution's copy of the program, its scratch files
    // in a folder of its own.
    std::unique_ptr<TerminalSession> Start(const fs::path& program, const std::string& name) {
        const fs::path folder = machine.root() / name;
        fs::create_directories(folder);
        auto session = std::make_unique<TerminalSession>(program, machine.machineFolder(), folder);
        EXPECT_TRUE(session->started());
        return session;
    }

    // Waits for `text` on the screen, flattened; reports the screen when it
    // does not come.
    static void ExpectOnScreen(TerminalSession& session, const std::string& text) {
        const std::string wanted = Flatten(text);
        for (int i = 0; i < 300; ++i) {
            if (Flatten(session.Screen()).find(wanted) != std::string::npos) return;
            usleep(30000);
        }
        ADD_FAILURE() << "not on the screen: " << text << "\n" << session.Screen();
    }

    // Waits until the window captioned `caption` shows `text`.
    static void ExpectInWindow(TerminalSession& session, const std::string& caption,
                               const std::string& text) {
        const std::string wanted = Flatten(text);
        for (int i = 0; i < 300; ++i) {
            if (Flatten(WindowText(session.Screen(), caption)).find(wanted) != std::string::npos)
                return;
            usleep(30000);
        }
        ADD_FAILURE() << "not in the window " << caption << ": " << text << "\n"
                      << session.Screen();
    }

    int AudioKey(const char* key) {
        machine.Restart();
        return static_cast<int>(
            machine.sys().GetPrivateProfileIntA("Audio", key, -1, "vornalux.ini"));
    }

    testing::TempMachine machine;
};

TEST_F(TerminalProgramTest, ShowsTheDialogAndEscapeLeavesTheMachineAlone) {
    const auto before = Snapshot(machine.machineFolder());
    auto session = Start(Program(), "run");
    ASSERT_TRUE(session->WaitForText("Vornalux! 1.2 Install/Unistall")) << session->Screen();
    const std::string screen = session->Screen();
    EXPECT_NE(screen.find("[ ] Install DirectX3 drivers"), std::string::npos) << screen;
    EXPECT_NE(screen.find("[x] Install Vornalux! 1.2 to: c:\\vornalux\\"), std::string::npos)
        << screen;
    EXPECT_NE(screen.find("[ ] UnInstall Vornalux! 1.2"), std::string::npos) << screen;
    for (const char* button : {"Install", "Cancel", "Browse...", "Launch Vornalux!"})
        EXPECT_NE(Flatten(screen).find(std::string("[ ") + button + " ]"), std::string::npos)
            << button;
    ExpectOnScreen(*session,
                   "Note: The shareware version does not come with Direct X3.  If you don't have "
                   "it, get it from Microsoft's web page.");

    session->SendKeys({"Escape"});
    EXPECT_EQ(session->WaitForExit(), 0);
    EXPECT_EQ(session->StandardError(), kFallbackLine);
    // The terminal's own screen is back: the dialog was drawn on the other one.
    EXPECT_EQ(session->Screen().find("Install/Unistall"), std::string::npos) << session->Screen();
    EXPECT_EQ(Snapshot(machine.machineFolder()), before);
}

TEST_F(TerminalProgramTest, InstallsAndUninstallsFromTheKeyboard) {
    {
        auto session = Start(Program(), "install");
        ASSERT_TRUE(session->WaitForText("c:\\vornalux\\")) << session->Screen();
        // From "Install" past "Cancel" and the two boxes into the field,
        // which takes its whole text selected: typing replaces it.
        session->SendKeys({"Tab", "Tab", "Tab", "Tab"});
        session->Type("C:\\Games\\Vornalux");
        ASSERT_TRUE(session->WaitForText("to: C:\\Games\\Vornalux")) << session->Screen();
        EXPECT_EQ(session->Screen().find("c:\\vornalux\\"), std::string::npos);
        session->SendKeys({"Enter"});

        ExpectInWindow(*session, "Do you have a sound card?",
                       "Do you have a soundcard installed under Windows 95?");
        ExpectInWindow(*session, "Do you have a sound card?", "[ Yes! ] [ No! ]");
        session->SendKeys({"Tab", "Space"});  // "No!"

        ExpectInWindow(*session, "Vornalux! installation complete.",
                       "Vornalux! has completed installation.  You can launch it from the Start "
                       "Menu under PELTOMARK! Inc.  Run install.exe to uninstall Vornalux! [ OK ]");
        // The status line keeps the last destination.
        ExpectOnScreen(*session, "C:\\Games\\Vornalux\\readme.txt");
        session->SendKeys({"Enter"});
        EXPECT_EQ(session->WaitForExit(), 0);
        EXPECT_EQ(session->StandardError(), kFallbackLine);
    }
    for (const char* name : ProgramFiles) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(fs::exists(Target() / name));
        EXPECT_EQ(testing::ReadFile(Target() / name), testing::PlaceholderContent(name));
    }
    for (const char* name : SystemFiles)
        EXPECT_TRUE(fs::exists(machine.windowsFolder() / "system32" / name)) << name;
    EXPECT_EQ(AudioKey("SoundFx"), 0);
    EXPECT_EQ(AudioKey("MIDIMusic"), 0);
    ASSERT_TRUE(testing::WaitForFile(machine.windowsFolder() / "Start Menu" / "Programs" /
                                     "PELTOMARK! Inc"));
    EXPECT_FALSE(testing::FilesBelow(machine.homeFolder()).empty());

    {
        auto session = Start(Program(), "uninstall");
        // Installed: nothing selected, the stored folder in the field.
        ASSERT_TRUE(session->WaitForText("[ ] UnInstall Vornalux! 1.2")) << session->Screen();
        EXPECT_NE(session->Screen().find("[ ] Install Vornalux! 1.2 to: C:\\Games\\Vornalux"),
                  std::string::npos)
            << session->Screen();
        // Back from "Install" to "Launch Vornalux!", then up to the uninstall box.
        session->SendKeys({"BTab", "Up", "Up", "Space"});
        ASSERT_TRUE(session->WaitForText("[x] UnInstall Vornalux! 1.2")) << session->Screen();
        session->SendKeys({"Enter"});
        // The folder the install made goes after a question; "y" picks "Yes".
        ExpectInWindow(*session, "Confirm Folder Delete",
                       "Are you sure you want to delete the folder 'C:\\Games\\Vornalux' and "
                       "all of its contents? It holds nothing besides the game's own files. "
                       "[ Yes ] [ No ]");
        session->SendKeys({"y"});
        ExpectInWindow(*session, "Vornalux! uninstall complete.",
                       "Vornalux! has completed uninstalling. [ OK ]");
        session->SendKeys({"Enter"});
        EXPECT_EQ(session->WaitForExit(), 0);
    }
    EXPECT_FALSE(fs::exists(Target()));
    EXPECT_FALSE(fs::exists(machine.windowsFolder() / "vornalux.ini"));
    EXPECT_FALSE(
        fs::exists(machine.windowsFolder() / "Start Menu" / "Programs" / "PELTOMARK! Inc"));
    // The group's delete took its desktop menu entry with it.
    EXPECT_EQ(testing::FilesBelow(machine.homeFolder()), std::vector<std::string>{});
}

TEST_F(TerminalProgramTest, BrowsePicksAFolderFromTheDrives) {
    fs::create_directories(machine.driveC() / "Picked" / "Deeper");
    auto session = Start(Program(), "browse");
    ASSERT_TRUE(session->WaitForText("Browse...")) << session->Screen();
    // "Browse..." is the seventh control to take the focus; Enter clicks it.
    session->SendKeys({"Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Enter"});
    ExpectOnScreen(*session, "Browse for Folder");
    ExpectOnScreen(*session, "Folder: C:\\");
    // Into C:, a letter to the folder, into it, back out: "Picked" stays.
    session->SendKeys({"Right", "p", "Right"});
    ExpectOnScreen(*session, "Folder: C:\\Picked\\Deeper");
    session->SendKeys({"Left"});
    ExpectOnScreen(*session, "Folder: C:\\Picked");
    session->SendKeys({"Enter"});
    ASSERT_TRUE(session->WaitForText("to: C:\\Picked")) << session->Screen();
    // The focus is back on "Browse..."; on to "Launch Vornalux!", then
    // "Install", then Escape answers "No!" for the sound card.
    session->SendKeys({"Tab", "Tab", "Enter"});
    ExpectOnScreen(*session, "Do you have a soundcard installed under Windows 95?");
    session->SendKeys({"Escape"});
    ExpectOnScreen(*session, "Vornalux! installation complete.");
    session->SendKeys({"Space"});
    EXPECT_EQ(session->WaitForExit(), 0);
    EXPECT_TRUE(fs::exists(machine.driveC() / "Picked" / "vornalux.exe"));
    EXPECT_FALSE(fs::exists(machine.driveC() / "Picked" / "Deeper" / "vornalux.exe"));
    EXPECT_EQ(AudioKey("CDMusic"), 0);
}

TEST_F(TerminalProgramTest, TheFieldIsEditedInPlaceAndStopsAtItsLimit) {
    auto session = Start(Program(), "field");
    ASSERT_TRUE(session->WaitForText("c:\\vornalux\\")) << session->Screen();
    session->SendKeys({"Tab", "Tab", "Tab", "Tab"});
    session->Type("C:\\Games\\Vornalux");
    // Caret keys drop the selection; the edits land where the caret is.
    session->SendKeys({"End", "BSpace", "BSpace", "BSpace", "BSpace", "BSpace", "BSpace", "BSpace",
                       "BSpace", "Home", "DC"});
    session->Type("D");
    ASSERT_TRUE(session->WaitForText("to: D:\\Games\\ ")) << session->Screen();
    // Out of the field and back in selects it whole again; far more than
    // 128 characters are typed, the field keeps 128.
    session->SendKeys({"BTab", "Tab"});
    session->Type("C:\\" + std::string(200, 'a'));
    session->SendKeys({"Enter"});
    ExpectOnScreen(*session, "Do you have a soundcard installed under Windows 95?");
    session->SendKeys({"Escape"});
    ExpectOnScreen(*session, "Vornalux! installation complete.");
    session->SendKeys({"Enter"});
    EXPECT_EQ(session->WaitForExit(), 0);
    const std::string typed = "C:\\" + std::string(125, 'a');
    char stored[260] = {};
    machine.Restart();
    machine.sys().GetPrivateProfileStringA("Installation", "Directory", "", stored, sizeof stored,
                                           "vornalux.ini");
    EXPECT_EQ(std::string(stored), typed);
    EXPECT_TRUE(fs::exists(machine.driveC() / std::string(125, 'a') / "vornalux.exe"));
}

TEST_F(TerminalProgramTest, InterruptGivesTheTerminalBack) {
    // A script around the program that reads the terminal's modes after it.
    const fs::path script = machine.root() / "around.sh";
    testing::WriteFile(script, "#!/bin/sh\ntrap : INT\n\"" + Program().string() +
                                   "\"\necho $? > \"" + (machine.root() / "code").string() +
                                   "\"\nstty -a > \"" + (machine.root() / "stty").string() +
                                   "\"\n");
    fs::permissions(script, fs::perms::owner_all);
    const auto before = Snapshot(machine.machineFolder());
    auto session = Start(script, "interrupt");
    ASSERT_TRUE(session->WaitForText("Install/Unistall")) << session->Screen();
    session->SendKeys({"C-c"});
    ASSERT_TRUE(session->WaitForExit().has_value());
    EXPECT_EQ(testing::ReadFile(machine.root() / "code"), "130\n");
    const std::string modes = testing::ReadFile(machine.root() / "stty");
    EXPECT_NE(modes.find(" icanon"), std::string::npos) << modes;
    EXPECT_EQ(modes.find("-icanon"), std::string::npos) << modes;
    EXPECT_NE(modes.find(" echo "), std::string::npos) << modes;
    EXPECT_EQ(session->Screen().find("Install/Unistall"), std::string::npos) << session->Screen();
    EXPECT_EQ(Snapshot(machine.machineFolder()), before);
}

TEST_F(TerminalProgramTest, ErrorOutputWaitsUntilTheDialogsAreGone) {
    // The Start menu's folder is a file: the converter the install starts
    // fails and says so on the standard error it inherits.
    fs::create_directories(machine.windowsFolder() / "Start Menu");
    testing::WriteFile(machine.windowsFolder() / "Start Menu" / "Programs", "");
    // Standard error on the terminal itself, as when started from a shell.
    const fs::path script = machine.root() / "on-terminal.sh";
    testing::WriteFile(script, "#!/bin/sh\nexec \"" + Program().string() + "\" 2>/dev/tty\n");
    fs::permissions(script, fs::perms::owner_all);

    auto session = Start(script, "errors");
    ASSERT_TRUE(session->WaitForText("Install/Unistall")) << session->Screen();
    session->SendKeys({"Enter"});
    ExpectInWindow(*session, "Do you have a sound card?", "[ Yes! ] [ No! ]");
    session->SendKeys({"Enter"});
    // The install waited for the converter, so its failure is known and reported.
    ExpectInWindow(*session, "Installation Error",
                   "The Start Menu group PELTOMARK! Inc could not be created.");
    EXPECT_EQ(session->Screen().find("grpconv:"), std::string::npos) << session->Screen();
    session->SendKeys({"Enter"});
    EXPECT_EQ(session->WaitForExit(), 0);
    // Back on the shell's screen, the fallback line and the converter's word.
    const std::string after = session->Screen();
    const std::size_t fallback =
        after.find("No display could be opened; using the text interface.");
    const std::size_t converter =
        after.find("grpconv: C:\\windows\\Start Menu\\Programs exists and is not a folder");
    EXPECT_NE(fallback, std::string::npos) << after;
    EXPECT_NE(converter, std::string::npos) << after;
    EXPECT_LT(fallback, converter);
}

TEST_F(TerminalProgramTest, EveryEndGivesTheTerminalAndTheHeldErrorsBack) {
    // The converter fails and says so while the dialogs are up (the Start
    // menu's folder is a file); the help file is larger than a limit.
    fs::create_directories(machine.windowsFolder() / "Start Menu");
    testing::WriteFile(machine.windowsFolder() / "Start Menu" / "Programs", "");
    testing::WriteFile(machine.distFolder() / "vornalux.hlp", std::string(64 << 10, 'h'));
    const struct {
        const char* name;
        const char* prefix;  // before the program on its command line
        int signal;          // sent at the last message; 0: the message is answered
        const char* code;    // the exit status the shell sees
        const char* listed;  // in the last message
    } cases[] = {
        {"fsize", "prlimit --fsize=16384 --", 0, "0\n", "c:\\vornalux\\vornalux.hlp"},
        {"term", "", SIGTERM, "143\n", "PELTOMARK! Inc"},
        {"usr1", "", SIGUSR1, "138\n", "PELTOMARK! Inc"},
        {"alrm", "", SIGALRM, "142\n", "PELTOMARK! Inc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Not installed yet, so that the install is what Enter picks.
        fs::remove(machine.windowsFolder() / "vornalux.ini");
        const fs::path folder = machine.root() / c.name;
        fs::create_directories(folder);
        // Standard error on the terminal itself, as when started from a shell.
        const fs::path script = folder / "around.sh";
        testing::WriteFile(script, std::string("#!/bin/sh\nsh -c 'echo $$ > \"") +
                                       (folder / "pid").string() + "\"; exec " + c.prefix + " \"" +
                                       Program().string() + "\" 2>/dev/tty'\necho $? > \"" +
                                       (folder / "code").string() + "\"\nstty -a > \"" +
                                       (folder / "stty").string() + "\"\n");
        fs::permissions(script, fs::perms::owner_all);
        auto session = Start(script, std::string(c.name) + "-session");
        ASSERT_TRUE(session->WaitForText("Install/Unistall")) << session->Screen();
        session->SendKeys({"Enter"});
        ExpectInWindow(*session, "Do you have a sound card?", "[ Yes! ] [ No! ]");
        session->SendKeys({"Enter"});
        ExpectInWindow(*session, "Installation Error", c.listed);
        if (c.signal == 0)
            session->SendKeys({"Enter"});
        else
            kill(std::stoi(testing::ReadFile(folder / "pid")), c.signal);
        ASSERT_TRUE(session->WaitForExit().has_value());
        EXPECT_EQ(testing::ReadFile(folder / "code"), c.code);
        const std::string modes = testing::ReadFile(folder / "stty");
        EXPECT_NE(modes.find(" icanon"), std::string::npos) << modes;
        EXPECT_NE(modes.find(" echo "), std::string::npos) << modes;
        const std::string after = session->Screen();
        EXPECT_NE(after.find("grpconv: C:\\windows\\Start Menu\\Programs exists"),
                  std::string::npos)
            << after;
        for (const auto& entry : fs::recursive_directory_iterator(machine.machineFolder()))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".vx-tmp-")) << entry.path();
    }
}

TEST_F(TerminalProgramTest, RefusesWithoutWindowsOrATerminal) {
    // Window plugins of another build: their stamps differ by one character.
    const fs::path otherBuild = machine.root() / "other-build";
    fs::create_directories(otherBuild);
    fs::copy_file(Program(), otherBuild / "install");
    for (const char* name : {"install-gtk.so", "install-windows.so"}) {
        std::string bytes = testing::ReadFile(machine.distFolder() / name);
        const std::size_t stamp = bytes.find(VX_BUILD_STAMP);
        ASSERT_NE(stamp, std::string::npos) << name;
        ASSERT_EQ(bytes.find(VX_BUILD_STAMP, stamp + 1), std::string::npos) << name;
        bytes[stamp + std::strlen(VX_BUILD_STAMP) - 1] ^= 1;
        testing::WriteFile(otherBuild / name, bytes);
    }
    // Started with a display named, which the plugins would open.
    const fs::path script = machine.root() / "with-display.sh";
    testing::WriteScript(script, {"env", "DISPLAY=:0", (otherBuild / "install").string()});
    const std::string other = fs::canonical(otherBuild).string();
    // A display named that nobody serves: each plugin says so on a line of its own.
    const fs::path deadDisplay = machine.root() / "dead-display.sh";
    testing::WriteScript(deadDisplay,
                         {"env", "-u", "WAYLAND_DISPLAY", "DISPLAY=:987", Program().string()});
    const std::string dist = fs::canonical(Program()).parent_path().string();
    // Asked for the text: no plugin is tried.
    const fs::path text = machine.root() / "text.sh";
    testing::WriteScript(
        text, {"env", "DISPLAY=:0", "VORNALUX_WINDOWS=text", (otherBuild / "install").string()});

    const struct {
        fs::path program;
        std::string output;
    } cases[] = {
        {Program(),
         "No display could be opened and standard input is not a terminal; nothing was done.\n"},
        {script,
         "The window interface could not be loaded and standard input is not a terminal; nothing "
         "was done.\n" +
             other + "/install-gtk.so: from another build of this program\n" + other +
             "/install-windows.so: from another build of this program\n"},
        {deadDisplay,
         "No display could be opened and standard input is not a terminal; nothing was done.\n" +
             dist + "/install-gtk.so: no display could be opened\n" + dist +
             "/install-windows.so: no display could be opened\n"},
        {text,
         "The text interface was asked for and standard input is not a terminal; nothing was "
         "done.\n"},
    };
    const auto before = Snapshot(machine.machineFolder());
    for (const auto& c : cases) {
        // Standard input from a file: nobody could answer the dialogs.
        const testing::CommandResult run =
            testing::RunProgram(c.program, "\n\n\n", machine.machineFolder(), machine.root());
        EXPECT_EQ(run.exitCode, 1) << c.program;
        EXPECT_EQ(run.output, c.output);
    }
    EXPECT_EQ(Snapshot(machine.machineFolder()), before);
}

// On a server without the X11 libraries yet with a display named: the
// windows cannot be loaded, the program says why and shows the text interface.
TEST_F(TerminalProgramTest, WithoutTheX11LibrariesFallsBackToTheText) {
#ifndef VX_PORTABLE_DIST
    GTEST_SKIP() << "only the default preset's distribution folder is linked to run elsewhere";
#endif
    const fs::path home = machine.root() / "home";
    const testing::SandboxCommand sandbox = testing::MakeSandboxCommand(
        false, {machine.root()},
        {"DISPLAY=:0", "HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / "config").string(),
         "XDG_DATA_HOME=" + (home / "data").string()});
    if (sandbox.argv.empty()) GTEST_SKIP() << sandbox.missing;
    std::vector<std::string> argv = sandbox.argv;
    argv.push_back(Program().string());
    const fs::path script = machine.root() / "sandboxed.sh";
    testing::WriteScript(script, argv);

    auto session = Start(script, "sandbox");
    ASSERT_TRUE(session->WaitForText("Vornalux! 1.2 Install/Unistall")) << session->Screen();
    ExpectOnScreen(*session, "[ Install ]");
    session->SendKeys({"Escape"});
    EXPECT_EQ(session->WaitForExit(), 0);
    const std::string lines = session->StandardError();
    const std::string first =
        "The window interface could not be loaded; using the text interface.\n";
    EXPECT_EQ(lines.substr(0, first.size()), first) << lines;
    // The loader's reasons, a line for each plugin: a library it needs is missing.
    std::istringstream reasons(lines.substr(std::min(first.size(), lines.size())));
    std::vector<std::string> plugins;
    for (std::string line; std::getline(reasons, line);) {
        EXPECT_NE(line.find("cannot open shared object file"), std::string::npos) << lines;
        plugins.push_back(line.substr(0, line.find(':')));
    }
    ASSERT_EQ(plugins.size(), 2u) << lines;
    EXPECT_TRUE(plugins[0].ends_with("/install-gtk.so")) << lines;
    EXPECT_TRUE(plugins[1].ends_with("/install-windows.so")) << lines;
}

}  // namespace
}  // namespace vx
