// The desktop menu entries of a machine's shortcuts, read back and started
// the way a desktop does it (GLib's GDesktopAppInfo), and their withdrawal.
#include "platform/desktop/desktop_menu.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/desktop/entry_text.h"
#include "platform/desktop/item_key.h"
#include "tests/support/desktop_files.h"
#include "tests/support/distribution.h"
#include "tests/support/temp_machine.h"
// Last: GLib defines TRUE and FALSE as macros, which the Win32 types above name.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

namespace vx {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnvironment;

// Every character a command line or a desktop entry treats specially, and a non-ASCII one.
constexpr char kAwkward[] = "a b%c$d\"e'f`g\\h\xC3\xA9";
constexpr char kShortcut[] = "C:\\windows\\Start Menu\\Programs\\PELTOMARK! Inc\\Vornalux!.lnk";

std::string Png(int size) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(size);
    image.height = static_cast<png_uint_32>(size);
    image.format = PNG_FORMAT_RGBA;
    const std::vector<unsigned char> pixels(static_cast<std::size_t>(size * size * 4), 0x80);
    png_alloc_size_t bytes = 0;
    png_image_write_to_memory(&image, nullptr, &bytes, 0, pixels.data(), 0, nullptr);
    std::string png(bytes, '\0');
    png_image_write_to_memory(&image, png.data(), &bytes, 0, pixels.data(), 0, nullptr);
    png.resize(bytes);
    return png;
}

bool IsPngOfSize(const std::string& bytes, int size) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) &&
           image.width == static_cast<png_uint_32>(size);
}

void WriteProgram(const fs::path& path, const std::string& bytes) {
    testing::WriteFile(path, bytes);
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

fs::path OnlyEntry(const fs::path& dataHome) {
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(dataHome / "applications"))
        if (entry.path().extension() == ".desktop") entries.push_back(entry.path());
    EXPECT_EQ(entries.size(), 1u);
    return entries.empty() ? fs::path() : entries.front();
}

struct AppInfo {
    explicit AppInfo(const fs::path& file)
        : info(g_desktop_app_info_new_from_filename(file.c_str())) {}
    ~AppInfo() {
        if (info) g_object_unref(info);
    }
    GDesktopAppInfo* info;
};

// A program that records the arguments it was given, NUL-separated, in
// $VX_RECORD, and its folder in $VX_RECORD.pwd.
constexpr char kRecorder[] =
    "#!/bin/sh\npwd -P > \"$VX_RECORD.pwd\"\nprintf '%s\\0' \"$@\" > "
    "\"$VX_RECORD.tmp\" && mv \"$VX_RECORD.tmp\" \"$VX_RECORD\"\n";

std::vector<std::string> RecordedArguments(const fs::path& recorded) {
    const std::string bytes = testing::ReadFile(recorded);
    std::vector<std::string> arguments;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = bytes.find('\0', at);
        arguments.push_back(bytes.substr(at, end - at));
        at = end + 1;
    }
    return arguments;
}

// The shortcut's entry, read by GLib and started through it, gives exactly
// the arguments and working folder meant, whatever the names hold.
TEST(DesktopMenuTest, EntriesReadBackAndStartThroughGlib) {
    testing::TempMachine home;
    // A machine folder whose name holds them all.
    const fs::path prefix = home.root() / (std::string("pre fix ") + kAwkward);
    ASSERT_TRUE(posix::PrepareMachineFolder(prefix.string()));
    posix::PosixSystemServices sys({prefix.string(), "", posix::CodePage::Windows1252});

    // A stand-in "env" that records what it was given and where.
    const fs::path bin = home.root() / "bin";
    const fs::path recorded = home.root() / "arguments";
    WriteProgram(bin / "env", kRecorder);
    WriteProgram(bin / "wine", "#!/bin/sh\n");
    const ScopedEnvironment path("PATH", bin.string() + ":" + std::getenv("PATH"));
    const ScopedEnvironment record("VX_RECORD", recorded.string());

    // Windows names cannot hold '"' or '\': the program's folder has the rest.
    const std::string folder = "Pl ay%$'`\xC3\xA9";
    const fs::path program = prefix / "drive_c" / folder / "Game.exe";
    WriteProgram(program, "MZ, a Windows program");
    const std::string windowsFolder = "C:\\" + folder;
    char shortPath[MAX_PATH] = {};
    const std::string longNarrow = *sys.machine().ToNarrow(windowsFolder + "\\Game.exe");
    ASSERT_GT(sys.GetShortPathNameA(longNarrow.c_str(), shortPath, MAX_PATH), 0u);
    // The entry is given the short form and must name the long one.
    EXPECT_NE(std::string(shortPath), longNarrow);

    const auto folders = desktop::UserMenuFolders();
    ASSERT_TRUE(folders);
    desktop::DesktopMenu menu(sys.machine(), *folders);
    std::string error;
    ASSERT_TRUE(menu.Publish({kShortcut, kAwkward, kAwkward, shortPath, windowsFolder},
                             {{32, Png(32)}, {16, Png(16)}}, error))
        << error;
    EXPECT_EQ(testing::ExpectValidMenuFiles(home.homeFolder()), 5);

    const AppInfo app(OnlyEntry(home.dataHome()));
    ASSERT_NE(app.info, nullptr);
    EXPECT_STREQ(g_app_info_get_name(G_APP_INFO(app.info)), kAwkward);
    EXPECT_STREQ(g_desktop_app_info_get_startup_wm_class(app.info), "game.exe");
    EXPECT_STREQ(g_desktop_app_info_get_categories(app.info), "Game;");
    GIcon* icon = g_app_info_get_icon(G_APP_INFO(app.info));
    ASSERT_TRUE(icon && G_IS_THEMED_ICON(icon));
    const std::string iconName = g_themed_icon_get_names(G_THEMED_ICON(icon))[0];
    for (const int size : {16, 32}) {
        const std::string pixels = std::to_string(size) + "x" + std::to_string(size);
        EXPECT_TRUE(IsPngOfSize(testing::ReadFile(home.dataHome() / "icons" / "hicolor" / pixels /
                                                  "apps" / (iconName + ".png")),
                                size));
    }
    // The menu folders are named Wine, Programs and the group.
    std::set<std::string> folderNames;
    for (const auto& entry : fs::directory_iterator(home.dataHome() / "desktop-directories")) {
        GKeyFile* keys = g_key_file_new();
        if (g_key_file_load_from_file(keys, entry.path().c_str(), G_KEY_FILE_NONE, nullptr))
            if (char* name = g_key_file_get_string(keys, "Desktop Entry", "Name", nullptr)) {
                folderNames.insert(name);
                g_free(name);
            }
        g_key_file_free(keys);
    }
    EXPECT_EQ(folderNames, (std::set<std::string>{"Wine", "Programs", kAwkward}));

    GError* launchError = nullptr;
    ASSERT_TRUE(g_app_info_launch(G_APP_INFO(app.info), nullptr, nullptr, &launchError))
        << (launchError ? launchError->message : "");
    ASSERT_TRUE(testing::WaitForFile(recorded));
    EXPECT_EQ(RecordedArguments(recorded),
              (std::vector<std::string>{"WINEPREFIX=" + prefix.string(), (bin / "wine").string(),
                                        windowsFolder + "\\Game.exe"}));
    EXPECT_EQ(testing::ReadFile(recorded.string() + ".pwd"),
              fs::canonical(program.parent_path()).string() + "\n");
}

// The entry's text, read by GLib and started through it, gives back every
// name, argument, working folder and key exactly, whatever they hold.
TEST(DesktopMenuTest, EntryTextReadsBackThroughGlib) {
    struct Row {
        std::string name;
        std::vector<std::string> arguments;
    };
    const Row rows[] = {
        {"Vornalux!", {"WINEPREFIX=/home/u/My Prefix", "C:\\GAME\\GAME.EXE"}},
        {" leading space\tand tab", {"", "two  spaces", "tab\there"}},
        {"back\\slash\nnew line\rreturn", {"a\\b", "\\\\server\\share\\", "line\nbreak"}},
        {"100% \"quoted\" 'single'", {"100%.exe", "%f", "%%", "$HOME", "`id`", "\"", "'"}},
        {"\xC3\xA9t\xC3\xA9 =[x]# ;", {"\xC3\xA9", "<>~|&;*?#()", "=", "a=b;c"}},
    };
    testing::TempMachine home;
    const fs::path recorder = home.root() / "record";
    WriteProgram(recorder, kRecorder);
    const fs::path folder = home.root() / (std::string("work ") + kAwkward);
    fs::create_directories(folder);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path recorded = home.root() / ("arguments" + std::to_string(&row - rows));
        const ScopedEnvironment record("VX_RECORD", recorded.string());
        std::vector<std::string> command{recorder.string()};
        command.insert(command.end(), row.arguments.begin(), row.arguments.end());
        const std::string key = "/machine|" + row.name;
        const std::string text = desktop::ApplicationEntryText(
            {row.name, command, folder.string(), "", "game.exe", key});
        EXPECT_EQ(desktop::EntryKey(text), key);

        GKeyFile* keys = g_key_file_new();
        ASSERT_TRUE(
            g_key_file_load_from_data(keys, text.data(), text.size(), G_KEY_FILE_NONE, nullptr));
        GDesktopAppInfo* info = g_desktop_app_info_new_from_keyfile(keys);
        g_key_file_unref(keys);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(g_app_info_get_name(G_APP_INFO(info)), row.name);
        char* readKey = g_desktop_app_info_get_string(info, "X-Vornalux-Setup-Item");
        EXPECT_EQ(std::string(readKey ? readKey : ""), key);
        g_free(readKey);
        const gboolean launched = g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, nullptr);
        g_object_unref(info);
        ASSERT_TRUE(launched);
        ASSERT_TRUE(testing::WaitForFile(recorded));
        EXPECT_EQ(RecordedArguments(recorded), row.arguments);
        EXPECT_EQ(testing::ReadFile(recorded.string() + ".pwd"),
                  fs::canonical(folder).string() + "\n");
    }
}

// Started from the menu, the game runs in its folder, in its machine.
TEST(DesktopMenuTest, TheEntryStartsTheDemoGameInItsFolderAndMachine) {
    testing::TempMachine machine;
    const fs::path game = machine.driveC() / "Games" / "Vornalux" / "vornalux.exe";
    fs::create_directories(game.parent_path());
    fs::copy_file(fs::path(VX_DIST_DIR) / "vornalux.exe", game);
    const ScopedEnvironment display("DISPLAY", nullptr);
    const ScopedEnvironment wayland("WAYLAND_DISPLAY", nullptr);

    const auto folders = desktop::UserMenuFolders();
    ASSERT_TRUE(folders);
    std::string error;
    ASSERT_TRUE(desktop::DesktopMenu(machine.sys().machine(), *folders)
                    .Publish({kShortcut, "PELTOMARK! Inc", "Vornalux!",
                              "C:\\GAMES\\VORNALUX\\VORNALUX.EXE", "C:\\Games\\Vornalux"},
                             {}, error))
        << error;
    const AppInfo app(OnlyEntry(machine.dataHome()));
    ASSERT_NE(app.info, nullptr);

    const fs::path output = machine.root() / "game-output.txt";
    const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    GError* launchError = nullptr;
    const gboolean launched = g_desktop_app_info_launch_uris_as_manager_with_fds(
        app.info, nullptr, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr, -1, fd,
        fd, &launchError);
    close(fd);
    ASSERT_TRUE(launched) << (launchError ? launchError->message : "");
    std::string report;
    for (int i = 0; i < 500 && report.find("(no display") == std::string::npos; ++i) {
        usleep(20000);
        report = testing::ReadFile(output);
    }
    EXPECT_NE(report.find("Current folder: C:\\Games\\Vornalux\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Machine: " + machine.machineFolder().string() + "\n"), std::string::npos)
        << report;
}

// A withdrawal takes the entries whose shortcut or machine is gone and what
// only they needed; a file without our key, another machine's entries and
// anything behind a link stay.
TEST(DesktopMenuTest, WithdrawalTakesOnlyOursAndFollowsNoLink) {
    testing::TempMachine machine, other;
    const fs::path home = machine.homeFolder();
    const ScopedEnvironment homeVariable("HOME", home.string());
    const ScopedEnvironment data("XDG_DATA_HOME", machine.dataHome().string());
    const ScopedEnvironment config("XDG_CONFIG_HOME", machine.configHome().string());
    const auto folders = desktop::UserMenuFolders();
    ASSERT_TRUE(folders);
    const auto publish = [&](testing::TempMachine& m) {
        testing::WriteFile(m.programsFolder() / "PELTOMARK! Inc" / "Vornalux!.lnk", "shortcut");
        WriteProgram(m.driveC() / "Games" / "game", "#!/bin/sh\n");
        std::string error;
        EXPECT_TRUE(
            desktop::DesktopMenu(m.sys().machine(), *folders)
                .Publish({kShortcut, "PELTOMARK! Inc", "Vornalux!", "C:\\Games\\game", "C:\\Games"},
                         {{16, Png(16)}}, error))
            << error;
    };
    publish(other);
    std::vector<std::string> kept = testing::FilesBelow(home);
    publish(machine);
    ASSERT_EQ(testing::FilesBelow(home).size(), kept.size() + 6);  // without a record of folders

    // Someone else's files, and files of ours reached through links.
    const fs::path applications = machine.dataHome() / "applications";
    const fs::path outside = machine.root() / "outside";
    testing::WriteFile(applications / "vornalux-setup-00000000-00000000.desktop",
                       "[Desktop Entry]\nType=Application\nName=Other\nExec=other\n");
    testing::WriteFile(machine.dataHome() / "desktop-directories" / "wine-wine.directory",
                       "[Desktop Entry]\nType=Directory\nName=Wine\n");
    for (const auto& entry : fs::directory_iterator(applications))
        if (entry.path().filename().string().starts_with("vornalux-setup-") &&
            testing::ReadFile(entry.path()).find(machine.machineFolder().string() + "|") !=
                std::string::npos)
            testing::WriteFile(outside / "entry.desktop", testing::ReadFile(entry.path()));
    fs::copy(machine.dataHome() / "icons" / "hicolor" / "16x16", outside / "icons",
             fs::copy_options::recursive);
    fs::create_symlink(outside / "entry.desktop", applications / "vornalux-setup-link.desktop");
    fs::create_directory_symlink(outside / "icons",
                                 machine.dataHome() / "icons" / "hicolor" / "64x64");
    const std::vector<std::string> foreign{
        ".local/share/applications/vornalux-setup-00000000-00000000.desktop",
        ".local/share/applications/vornalux-setup-link.desktop",
        ".local/share/desktop-directories/wine-wine.directory", ".local/share/icons/hicolor/64x64"};
    const std::vector<std::string> outsideFiles = testing::FilesBelow(outside);
    ASSERT_EQ(outsideFiles.size(), 3u);

    fs::remove(machine.programsFolder() / "PELTOMARK! Inc" / "Vornalux!.lnk");
    desktop::WithdrawGoneShortcuts(machine.sys().machine());
    kept.insert(kept.end(), foreign.begin(), foreign.end());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(testing::FilesBelow(home), kept);

    fs::remove_all(other.machineFolder());
    desktop::WithdrawVanishedMachines(*folders);
    // The record of the folders the other machine made stays while some still hold files.
    std::vector<std::string> left = testing::FilesBelow(home);
    std::erase_if(left, [](const std::string& file) {
        return file.starts_with(".local/share/vornalux-setup-") && file.ends_with("-folders");
    });
    EXPECT_EQ(left, foreign);
    EXPECT_FALSE(fs::exists(machine.configHome() / "menus"));
    EXPECT_EQ(testing::FilesBelow(outside), outsideFiles);

    // Without a home and the variables there is nowhere to publish, not even
    // the home the password database names.
    const ScopedEnvironment noHome("HOME", nullptr);
    const ScopedEnvironment noData("XDG_DATA_HOME", nullptr);
    const ScopedEnvironment noConfig("XDG_CONFIG_HOME", nullptr);
    EXPECT_FALSE(desktop::UserMenuFolders());
}

}  // namespace
}  // namespace vx
