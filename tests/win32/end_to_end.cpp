// The Windows setup program from end to end, driven through its windows as a
// person would drive it: the windows are found by their captions and the
// controls worked by their identifiers (BM_CLICK, WM_SETTEXT,
// IsDlgButtonChecked, GetDlgItemText). The runs build on each other, in
// order: a first install, a re-install, a refused over-long directory, a
// launch of the game, an uninstall, and a cancel. Apart from them, an
// install watched by Wine's menu builder.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "setup/paths.h"
#include "setup/program_group.h"
#include "setup/setup_selection.h"
#include "tests/support/shortcut_readers.h"
#include "tests/support/temp_machine.h"

// After the project's headers: <windows.h> defines several of their names as macros.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
// clang-format on

// Outside namespace vx, so that the Windows names are the system's own.
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using vx::IDC_BANNER;
using vx::IDC_INSTALL_DIR;
using vx::IDC_INSTALL_DIRECTX;
using vx::IDC_INSTALL_PROGRAM;
using vx::IDC_LAUNCH;
using vx::IDC_STATUS;
using vx::IDC_UNINSTALL;
using vx::kGroupFolder;
using vx::kGroupFolderName;
using vx::ProgramFiles;
namespace support = vx::testing;

constexpr const char* kMainCaption = "Vornalux! 1.2 Install/Unistall";
constexpr const char* kSoundCardCaption = "Do you have a sound card?";
constexpr const char* kTarget = "C:\\Games\\Vornalux";
constexpr auto kPatience = 30s;

const std::string kAudioYes =
    "[Audio]\r\nMIDIMusic=0\r\nCDMusic=1\r\nSoundFx=1\r\nSoundFxAllowed=1\r\nNaration=1\r\n"
    "SurferSounds=1\r\n";
const std::string kAudioNo =
    "[Audio]\r\nMIDIMusic=0\r\nCDMusic=0\r\nSoundFx=0\r\nSoundFxAllowed=0\r\nNaration=0\r\n"
    "SurferSounds=0\r\n";
const std::string kInstalledKeys =
    "[ScreenMode]\r\nWindowWidth=414\r\n[Installation]\r\nVornaluxInstalled=1\r\n"
    "Directory=C:\\Games\\Vornalux\r\n";

fs::path Dist() { return VX_DIST_DIR; }
fs::path WindowsFolder() {
    char buffer[MAX_PATH];
    return std::string(buffer, ::GetWindowsDirectoryA(buffer, MAX_PATH));
}
fs::path SystemFolder() {
    char buffer[MAX_PATH];
    return std::string(buffer, ::GetSystemDirectoryA(buffer, MAX_PATH));
}
fs::path SettingsPath() { return WindowsFolder() / "vornalux.ini"; }
fs::path Programs(int csidl = CSIDL_COMMON_PROGRAMS) {
    char path[MAX_PATH] = {};
    ::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}
// Where the Start menu has the group, and where earlier versions put it.
fs::path GroupFolder() { return Programs() / kGroupFolderName; }
fs::path EarlierGroupFolder() { return WindowsFolder() / kGroupFolder; }
fs::path Shortcut() { return GroupFolder() / "Vornalux!.lnk"; }

bool Exists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

// Polls `done` until it holds or patience runs out.
bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds patience = kPatience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
}

std::string WindowText(HWND window) {
    char text[4096] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ItemText(HWND dialog, int id) {
    char text[4096] = {};
    ::GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// A visible top-level window with that caption, of process `pid` (0: any),
// other than `other`.
HWND FindWindowCaptioned(const std::string& caption, DWORD pid, HWND other = nullptr) {
    struct Search {
        const std::string& caption;
        DWORD pid;
        HWND other;
        HWND found;
    } search{caption, pid, other, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (window == s.other || !::IsWindowVisible(window) || (s.pid && owner != s.pid) ||
                WindowText(window) != s.caption)
                return TRUE;
            s.found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(const std::string& caption, DWORD pid, HWND other = nullptr) {
    HWND found = nullptr;
    Eventually([&] { return (found = FindWindowCaptioned(caption, pid, other)) != nullptr; });
    return found;
}

// The text of a message box: its longest static control.
std::string MessageText(HWND box) {
    std::string longest;
    ::EnumChildWindows(
        box,
        [](HWND child, LPARAM context) -> BOOL {
            char className[32] = {};
            ::GetClassNameA(child, className, sizeof className);
            auto& best = *reinterpret_cast<std::string*>(context);
            const std::string text = WindowText(child);
            if (lstrcmpiA(className, "Static") == 0 && text.size() > best.size()) best = text;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&longest));
    return longest;
}

void Click(HWND dialog, int id) {
    const HWND button = ::GetDlgItem(dialog, id);
    ASSERT_NE(button, nullptr) << "no control " << id;
    // Posted: the click runs the whole procedure, which this driver must answer.
    ::PostMessageA(button, BM_CLICK, 0, 0);
}

void Type(HWND dialog, int id, const std::string& text) {
    ::SendDlgItemMessageA(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool Checked(HWND dialog, int id) { return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// Dismisses the message box of that caption, returning its text.
std::string Answer(const std::string& caption, DWORD pid, HWND other = nullptr) {
    const HWND box = WaitForWindow(caption, pid, other);
    if (box == nullptr) return "(no message box \"" + caption + "\")";
    const std::string text = MessageText(box);
    ::PostMessageA(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    return text;
}

// One run of install.exe, started from the distribution folder as from the
// game's disc, and ended by force if a test leaves it running.
class SetupRun {
public:
    SetupRun() {
        const fs::path program = Dist() / "install.exe";
        std::string commandLine = "\"" + program.string() + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        // Under Wine as root the administrator rights the manifest asks for are there already.
        started_ =
            ::CreateProcessA(program.string().c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                             0, nullptr, Dist().string().c_str(), &startup, &process_) != FALSE;
        if (started_) dialog_ = WaitForWindow(kMainCaption, pid());
    }
    ~SetupRun() {
        if (!started_) return;
        if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
            ::TerminateProcess(process_.hProcess, 99);
        ::CloseHandle(process_.hThread);
        ::CloseHandle(process_.hProcess);
    }

    DWORD pid() const { return process_.dwProcessId; }
    HWND dialog() const { return dialog_; }
    // The dialog has had its first paint, which puts the banner in place.
    bool Painted() const {
        return Eventually([&] {
            return ::SendDlgItemMessageA(dialog_, IDC_BANNER, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
        });
    }
    bool Ended() const { return ::WaitForSingleObject(process_.hProcess, 30000) == WAIT_OBJECT_0; }
    // Answers every question the shell's delete asks with its Yes button.
    void ConfirmShellQuestions(const std::function<bool()>& until) const {
        Eventually([&] {
            ::EnumWindows(
                [](HWND window, LPARAM context) -> BOOL {
                    const auto* run = reinterpret_cast<const SetupRun*>(context);
                    DWORD owner = 0;
                    ::GetWindowThreadProcessId(window, &owner);
                    const HWND yes = ::GetDlgItem(window, IDYES);
                    if (owner == run->pid() && window != run->dialog() &&
                        ::IsWindowVisible(window) && yes != nullptr)
                        ::PostMessageA(yes, BM_CLICK, 0, 0);
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(this));
            return until();
        });
    }

private:
    PROCESS_INFORMATION process_{};
    bool started_ = false;
    HWND dialog_ = nullptr;
};

std::string Read(const fs::path& path) {
    return Exists(path) ? support::ReadFile(path) : "(missing " + path.string() + ")";
}

bool SameFile(const fs::path& a, const fs::path& b) {
    vx::win32::Win32SystemServices sys;
    vx::FileIdentity first, second;
    return sys.GetFileIdentity(a.string().c_str(), &first) &&
           sys.GetFileIdentity(b.string().c_str(), &second) && first == second;
}

TEST(EndToEnd, FirstInstall) {
    support::RemoveTree(kTarget);
    support::RemoveTree(SettingsPath());
    const bool hadMfc42 = Exists(SystemFolder() / "mfc42.dll");
    SetupRun run;
    const HWND dialog = run.dialog();
    ASSERT_NE(dialog, nullptr) << "the setup program shows no dialog";
    ASSERT_TRUE(run.Painted());

    // A fresh machine: install preselected, the default folder, the shareware note.
    EXPECT_TRUE(Checked(dialog, IDC_INSTALL_PROGRAM));
    EXPECT_FALSE(Checked(dialog, IDC_INSTALL_DIRECTX));
    EXPECT_FALSE(Checked(dialog, IDC_UNINSTALL));
    EXPECT_EQ(ItemText(dialog, IDC_INSTALL_DIR), "c:\\vornalux\\");
    EXPECT_EQ(ItemText(dialog, IDC_STATUS).rfind("Note: The shareware version", 0), 0u);
    // (Its icons are checked by the backend's own tests: Wine answers no
    // WM_GETICON from another process.)

    // The DirectX box never keeps its mark; uninstall is refused while not installed.
    Click(dialog, IDC_INSTALL_DIRECTX);
    Click(dialog, IDC_UNINSTALL);
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(Checked(dialog, IDC_INSTALL_DIRECTX));
    EXPECT_FALSE(Checked(dialog, IDC_UNINSTALL));
    EXPECT_TRUE(Checked(dialog, IDC_INSTALL_PROGRAM));

    Type(dialog, IDC_INSTALL_DIR, kTarget);
    Click(dialog, IDOK);
    const HWND soundCard = WaitForWindow(kSoundCardCaption, run.pid());
    ASSERT_NE(soundCard, nullptr);
    EXPECT_FALSE(::IsWindowEnabled(dialog)) << "the main dialog stays disabled meanwhile";
    Click(soundCard, IDOK);  // "Yes!"
    EXPECT_EQ(Answer("Vornalux! installation complete.", run.pid()),
              "Vornalux! has completed installation.  You can launch it from the Start Menu under "
              "PELTOMARK! Inc.  Run install.exe to uninstall Vornalux!");
    ASSERT_TRUE(run.Ended());

    for (const char* name : ProgramFiles) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Read(fs::path(kTarget) / name), Read(Dist() / name));
    }
    if (!hadMfc42) {
        EXPECT_EQ(Read(SystemFolder() / "mfc42.dll"), Read(Dist() / "mfc42.dll"));
    }
    EXPECT_FALSE(Exists(fs::path(kTarget) / "RUZI.INI"));
    EXPECT_EQ(Read(SettingsPath()), kAudioYes + kInstalledKeys);

    const std::string script = Read(WindowsFolder() / "SETUP.INI");
    EXPECT_EQ(script.rfind(
                  "[progman.groups]\r\ngroupX=PELTOMARK! Inc.\r\n[groupX]\r\n\"Vornalux!\",\"", 0),
              0u)
        << script;
    EXPECT_NE(script.find("\",,,,\"C:\\Games\\Vornalux\"\r\n"), std::string::npos) << script;

    // The converter runs on its own; the shortcut follows shortly.
    ASSERT_TRUE(Eventually([] { return Exists(Shortcut()); })) << "no shortcut";
    support::ShellShortcut shortcut;
    Eventually([&] { return (shortcut = support::ReadShellShortcut(Shortcut().string())).loaded; },
               5s);
    ASSERT_TRUE(shortcut.loaded) << "the shell cannot read the shortcut";
    EXPECT_TRUE(SameFile(shortcut.target, fs::path(kTarget) / "vornalux.exe")) << shortcut.target;
    EXPECT_EQ(shortcut.workingDirectory, kTarget);
    EXPECT_TRUE(SameFile(shortcut.iconPath, fs::path(kTarget) / "vornalux.exe"))
        << shortcut.iconPath;
    EXPECT_EQ(shortcut.iconIndex, 0);
    EXPECT_FALSE(Exists(EarlierGroupFolder()));
}

TEST(EndToEnd, ReinstallWithTheOtherSoundCardAnswer) {
    SetupRun run;
    const HWND dialog = run.dialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(run.Painted());
    // Installed: nothing preselected, the remembered folder.
    EXPECT_FALSE(Checked(dialog, IDC_INSTALL_PROGRAM));
    EXPECT_FALSE(Checked(dialog, IDC_UNINSTALL));
    EXPECT_EQ(ItemText(dialog, IDC_INSTALL_DIR), kTarget);

    // Install and uninstall exclude each other.
    Click(dialog, IDC_UNINSTALL);
    ASSERT_TRUE(Eventually([&] { return Checked(dialog, IDC_UNINSTALL); }));
    Click(dialog, IDC_INSTALL_PROGRAM);
    ASSERT_TRUE(Eventually([&] { return Checked(dialog, IDC_INSTALL_PROGRAM); }));
    EXPECT_FALSE(Checked(dialog, IDC_UNINSTALL));

    Click(dialog, IDOK);
    const HWND soundCard = WaitForWindow(kSoundCardCaption, run.pid());
    ASSERT_NE(soundCard, nullptr);
    Click(soundCard, IDCANCEL);  // "No!"
    EXPECT_EQ(
        Answer("Vornalux! installation complete.", run.pid()).rfind("Vornalux! has completed", 0),
        0u);
    ASSERT_TRUE(run.Ended());
    EXPECT_EQ(Read(SettingsPath()), kAudioNo + kInstalledKeys);
    EXPECT_TRUE(Exists(Shortcut()));
}

TEST(EndToEnd, OverLongDirectoryKeepsTheDialogOpen) {
    const std::string before = Read(SettingsPath());
    SetupRun run;
    const HWND dialog = run.dialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(run.Painted());
    Type(dialog, IDC_INSTALL_DIR, "C:\\" + std::string(126, 'x'));
    Click(dialog, IDOK);
    EXPECT_EQ(Answer(kMainCaption, run.pid(), dialog),
              "The directory can be at most 128 characters long.");
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(::IsWindowVisible(dialog));
    Click(dialog, IDCANCEL);
    ASSERT_TRUE(run.Ended());
    EXPECT_EQ(Read(SettingsPath()), before);
}

TEST(EndToEnd, LaunchStartsTheGameBesideTheSetupProgram) {
    SetupRun run;
    const HWND dialog = run.dialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(run.Painted());
    Click(dialog, IDC_LAUNCH);
    ASSERT_TRUE(run.Ended()) << "the setup program closes first";
    // The game's own window, from another process.
    const std::string report = Answer("Vornalux! 1.2", 0);
    EXPECT_NE(report.find("Started from: " + (Dist() / "vornalux.exe").string()), std::string::npos)
        << report;
    EXPECT_NE(report.find("Directory=C:\\Games\\Vornalux"), std::string::npos) << report;
}

TEST(EndToEnd, UninstallRemovesTheGame) {
    // An earlier version's group below the Windows directory, and the group
    // in the user's Programs folder beside another product's shortcut.
    const fs::path usersGroup = Programs(CSIDL_PROGRAMS) / kGroupFolderName;
    support::WriteFile(EarlierGroupFolder() / "Vornalux!.lnk", Read(Shortcut()));
    support::WriteFile(usersGroup / "Vornalux!.lnk", Read(Shortcut()));
    support::WriteFile(usersGroup / "Other Game.lnk", "another product's");
    SetupRun run;
    const HWND dialog = run.dialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(run.Painted());
    Click(dialog, IDC_UNINSTALL);
    ASSERT_TRUE(Eventually([&] { return Checked(dialog, IDC_UNINSTALL); }));
    Click(dialog, IDOK);
    // The folder goes with flags 0: the shell asks first, in its own window.
    HWND done = nullptr;
    run.ConfirmShellQuestions([&] {
        return (done = FindWindowCaptioned("Vornalux! uninstall complete.", run.pid())) != nullptr;
    });
    ASSERT_NE(done, nullptr) << "no completion message";
    EXPECT_EQ(Answer("Vornalux! uninstall complete.", run.pid()),
              "Vornalux! has completed uninstalling.");
    ASSERT_TRUE(run.Ended());

    EXPECT_FALSE(Exists(kTarget));
    EXPECT_FALSE(Exists(GroupFolder()));
    EXPECT_FALSE(Exists(EarlierGroupFolder()));
    EXPECT_FALSE(Exists(usersGroup / "Vornalux!.lnk"));
    EXPECT_EQ(Read(usersGroup / "Other Game.lnk"), "another product's");
    support::RemoveTree(usersGroup);
    EXPECT_FALSE(Exists(SettingsPath()));
    // The runtime libraries and the group script stay.
    EXPECT_TRUE(Exists(SystemFolder() / "mfc42.dll"));
    EXPECT_TRUE(Exists(WindowsFolder() / "SETUP.INI"));
}

TEST(EndToEnd, CancelChangesNothing) {
    SetupRun run;
    const HWND dialog = run.dialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(run.Painted());
    EXPECT_TRUE(Checked(dialog, IDC_INSTALL_PROGRAM))
        << "uninstalled again, install is preselected";
    Click(dialog, IDCANCEL);
    ASSERT_TRUE(run.Ended());
    EXPECT_FALSE(Exists(SettingsPath()));
    EXPECT_FALSE(Exists(kTarget));
}

// The desktop entries below `folder` whose text holds `name`.
std::vector<fs::path> DesktopEntriesNaming(const fs::path& folder, const std::string& name) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
        if (entry.path().extension() == ".desktop" &&
            support::ReadFile(entry.path()).find("Name=" + name + "\n") != std::string::npos)
            found.push_back(entry.path());
    return found;
}

// Run on its own (tests/win32/CMakeLists.txt), with Wine's menu builder let
// run and the desktop's folders in a temporary folder: the shortcut the
// shell saved becomes an entry of the Linux desktop's menu.
TEST(DesktopMenu, InstalledGameHasAnEntry) {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    ASSERT_NE(dataHome, nullptr) << "run with XDG_DATA_HOME set";
    std::string data = std::string("Z:") + dataHome;
    for (char& c : data)
        if (c == '/') c = '\\';
    support::RemoveTree(kTarget);
    support::RemoveTree(SettingsPath());

    SetupRun run;
    const HWND dialog = run.dialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(run.Painted());
    Type(dialog, IDC_INSTALL_DIR, kTarget);
    Click(dialog, IDOK);
    const HWND soundCard = WaitForWindow(kSoundCardCaption, run.pid());
    ASSERT_NE(soundCard, nullptr);
    Click(soundCard, IDOK);
    EXPECT_EQ(
        Answer("Vornalux! installation complete.", run.pid()).rfind("Vornalux! has completed", 0),
        0u);
    ASSERT_TRUE(run.Ended());
    EXPECT_TRUE(Eventually([&] { return !DesktopEntriesNaming(data, "Vornalux!").empty(); }))
        << "no desktop entry for Vornalux! below " << dataHome;

    support::RemoveTree(kTarget);
    support::RemoveTree(SettingsPath());
    support::RemoveTree(WindowsFolder() / "SETUP.INI");
    support::RemoveTree(GroupFolder());
}

}  // namespace
