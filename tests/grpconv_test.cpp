// The group converter run as the setup program runs it, on real machine
// folders, its shortcuts checked by two independent shortcut readers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/shortcut_readers.h"
#include "tests/support/temp_machine.h"
#include "tests/support/unprivileged.h"
#include "tests/support/x_session.h"

namespace vx::testing {
namespace {

namespace fs = std::filesystem;

const std::string kConverter = VX_DIST_DIR "/grpconv";

const std::string kSetupScript =
    "[progman.groups]\r\ngroupX=PELTOMARK! Inc.\r\n[groupX]\r\n"
    "\"Vornalux!\",\"C:\\PLAYAR~1\\LONGFO~1\\VORNALUX.EXE\",,,,\"C:\\PLAY AREA\\LONG FOLDER "
    "NAME\"\r\n";

CommandResult RunOn(const fs::path& machine, const std::vector<std::string>& argv) {
    return RunCommand(argv, {{"WINEPREFIX=" + machine.string()}, 60000});
}

CommandResult RunConverter(const TempMachine& tm, std::vector<std::string> arguments = {"-o"}) {
    arguments.insert(arguments.begin(), kConverter);
    return RunOn(tm.machineFolder(), arguments);
}

// Every entry below the machine folder (drive links are not followed).
std::set<std::string> Tree(const fs::path& root) {
    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        entries.insert(entry.path().lexically_relative(root).string() +
                       (entry.is_directory() && !entry.is_symlink() ? "/" : ""));
    return entries;
}

TEST(Grpconv, SetupScriptBecomesAShortcutBothReadersAccept) {
    TempMachine tm;
    WriteFile(tm.windowsFolder() / "SETUP.INI", kSetupScript);

    const CommandResult r = RunConverter(tm);
    ASSERT_EQ(r.exitCode, 0) << r.output;

    const fs::path group = tm.windowsFolder() / "Start Menu" / "Programs" / "PELTOMARK! Inc";
    ExpectShortcut(group / "Vornalux!.lnk", "C:\\PLAYAR~1\\LONGFO~1\\VORNALUX.EXE",
                   "C:\\PLAY AREA\\LONG FOLDER NAME");
    EXPECT_EQ(Tree(group), std::set<std::string>{"Vornalux!.lnk"});
    // The script stays for the setup program to leave in place.
    EXPECT_EQ(ReadFile(tm.windowsFolder() / "SETUP.INI"), kSetupScript);
}

struct Shortcut {
    std::string path;  // below Start Menu/Programs
    std::string target;
    std::string workingDir;
    std::string storedTarget = {};
};

TEST(Grpconv, ReadsEveryFormOfScript) {
    const struct {
        const char* name;
        std::string script;
        std::set<std::string> tree;  // below Start Menu/Programs
        std::vector<Shortcut> shortcuts;
    } cases[] = {
        {"two groups, LF line ends, names in any case, blanks and comments",
         "; made by hand\n\n[PROGMAN.GROUPS]\n  group1 = Games.. \ngroup2=\"Tools\"\n"
         "[Group1]\n\"Alpha\" , \"C:\\GAMES\\ALPHA.EXE\",,,,\"C:\\GAMES\"\n"
         "  Beta Two,C:\\GAMES\\BETA.EXE\n\n[group2]\n"
         "\"Editor\",\"C:\\TOOLS\\EDIT.EXE\",\"C:\\TOOLS\\EDIT.EXE\",0,,C:\\TOOLS,extra\n",
         {"Games/", "Games/Alpha.lnk", "Games/Beta Two.lnk", "Tools/", "Tools/Editor.lnk"},
         {{"Games/Alpha.lnk", "C:\\GAMES\\ALPHA.EXE", "C:\\GAMES"},
          {"Games/Beta Two.lnk", "C:\\GAMES\\BETA.EXE", ""},
          {"Tools/Editor.lnk", "C:\\TOOLS\\EDIT.EXE", "C:\\TOOLS"}}},
        {"CR line ends and the terminating zero of a C string",
         std::string(
             "[progman.groups]\rgroupX=PELTOMARK! Inc.\r[groupX]\r"
             "\"Vornalux!\",\"C:\\GAMES\\VORNALUX\\VORNALUX.EXE\",,,,\"C:\\GAMES\\VORNALUX\"\r") +
             '\0',
         {"PELTOMARK! Inc/", "PELTOMARK! Inc/Vornalux!.lnk"},
         {{"PELTOMARK! Inc/Vornalux!.lnk", "C:\\GAMES\\VORNALUX\\VORNALUX.EXE",
           "C:\\GAMES\\VORNALUX"}}},
        {"a group without items still gets its folder; text of other programs is ignored",
         "[windows]\r\nload=\r\n[progman.groups]\r\ng=Empty\r\n[g]\r\n[other]\r\nnot an item\r\n",
         {"Empty/"},
         {}},
        {"characters of the code page beyond ASCII",
         "[progman.groups]\r\ng=Caf\xE9\r\n[g]\r\n\"R\xE9sum\xE9\",\"C:\\\xC9T\xC9.EXE\",,,,\"C:"
         "\\\xC4rger\"\r\n",
         {"Caf\xC3\xA9/", "Caf\xC3\xA9/R\xC3\xA9sum\xC3\xA9.lnk"},
         {{"Caf\xC3\xA9/R\xC3\xA9sum\xC3\xA9.lnk", "C:\\\xC3\x89T\xC3\x89.EXE", "C:\\\xC3\x84rger",
           "C:\\\xC9T\xC9.EXE"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempMachine tm;
        WriteFile(tm.windowsFolder() / "SETUP.INI", c.script);
        const CommandResult r = RunConverter(tm);
        ASSERT_EQ(r.exitCode, 0) << r.output;
        const fs::path programs = tm.windowsFolder() / "Start Menu" / "Programs";
        EXPECT_EQ(Tree(programs), c.tree);
        for (const auto& s : c.shortcuts) {
            ExpectShortcut(programs / s.path, s.target, s.workingDir, s.storedTarget);
        }
    }
}

TEST(Grpconv, FindsAndReplacesExistingEntriesWithoutRegardToCase) {
    TempMachine tm;
    const fs::path group = tm.windowsFolder() / "start menu" / "PROGRAMS" / "peltomark! inc";
    WriteFile(group / "vornalux!.LNK", "an old shortcut");
    WriteFile(group / "Other.lnk", "another product's shortcut");
    WriteFile(tm.windowsFolder() / "SETUP.INI", kSetupScript);
    const auto before = Tree(tm.machineFolder());

    const CommandResult r = RunConverter(tm);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(Tree(tm.machineFolder()), before);
    ExpectShortcut(group / "vornalux!.LNK", "C:\\PLAYAR~1\\LONGFO~1\\VORNALUX.EXE",
                   "C:\\PLAY AREA\\LONG FOLDER NAME");
    EXPECT_EQ(ReadFile(group / "Other.lnk"), "another product's shortcut");
}

TEST(Grpconv, WhatItCannotConvertChangesNothing) {
    const std::string good = "[progman.groups]\r\ngroupX=PELTOMARK! Inc.\r\n[groupX]\r\n";
    const std::string item = "\"Vornalux!\",\"C:\\GAMES\\VORNALUX.EXE\",,,,\"C:\\GAMES\"\r\n";
    const std::string twoGroups = "[progman.groups]\r\ng1=One\r\ng2=Two\r\n[g1]\r\n" + item;
    const auto startMenuIsAFile = [](TempMachine& tm) {
        WriteFile(tm.windowsFolder() / "Start Menu", "not a folder");
    };
    const struct {
        const char* name;
        std::string script;  // empty: none written
        std::function<void(TempMachine&)> prepare = nullptr;
        const char* fileSizeLimit = nullptr;  // for the converter, in bytes
    } cases[] = {
        {"no script", ""},
        {"script is a folder", "",
         [](TempMachine& tm) { fs::create_directories(tm.windowsFolder() / "SETUP.INI"); }},
        {"no [progman.groups]", "[groupX]\r\n" + item},
        {"a group without its section", good + item + "[progman.groups]\r\ngroup2=Tools\r\n"},
        {"a second group without its section", twoGroups},
        {"a broken item line after a good group", twoGroups + "[g2]\r\n\"Two,\"C:\\TWO.EXE\"\r\n"},
        {"an unclosed quote", good + "\"Vornalux!,C:\\GAMES\\V.EXE\r\n"},
        {"text after a quoted field", good + "\"Vorna\"lux,\"C:\\V.EXE\"\r\n"},
        {"a quote inside a bare field", good + "Vorna\"lux,C:\\V.EXE\r\n"},
        {"an item without a program", good + "\"Vornalux!\"\r\n"},
        {"a title holding a separator", good + "\"..\\..\\evil\",\"C:\\V.EXE\"\r\n"},
        {"a title holding a slash", good + "\"a/b\",\"C:\\V.EXE\"\r\n"},
        {"a title holding a colon", good + "\"Vornalux: II\",\"C:\\V.EXE\"\r\n"},
        {"a device name as title", good + "\"CON\",\"C:\\V.EXE\"\r\n"},
        {"a group name of full stops only", "[progman.groups]\r\ng=..\r\n[g]\r\n" + item},
        {"a group name holding a separator", "[progman.groups]\r\ng=..\\..\\x\r\n[g]\r\n" + item},
        {"a group entry without '='", good + item + "[progman.groups]\r\nTools\r\n"},
        {"a group section given twice", good + item + "[groupx]\r\n" + item},
        {"a zero byte inside the script", good + std::string("\"V\0\",\"C:\\V.EXE\"\r\n", 16)},
        {"a shortcut path longer than Windows allows, after a good group",
         twoGroups + "[g2]\r\n\"" + std::string(240, 'v') + "\",\"C:\\V.EXE\"\r\n"},
        {"a Start Menu that is a file", good + item, startMenuIsAFile},
        // The second shortcut outgrows the limit the first one fits in.
        {"a group it cannot finish, from the Start Menu down",
         "[progman.groups]\r\ng=Games\r\n[g]\r\nAlpha,C:\\A.EXE\r\nBeta,C:\\" +
             std::string(200, 'B') + ".EXE\r\n",
         nullptr, "256"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempMachine tm;
        if (!c.script.empty()) WriteFile(tm.windowsFolder() / "SETUP.INI", c.script);
        if (c.prepare) c.prepare(tm);
        const auto before = Tree(tm.machineFolder());
        const CommandResult r =
            c.fileSizeLimit
                ? RunOn(tm.machineFolder(), {"prlimit", std::string("--fsize=") + c.fileSizeLimit,
                                             "--", kConverter, "-o"})
                : RunConverter(tm);
        EXPECT_NE(r.exitCode, 0) << r.output;
        EXPECT_NE(r.output.find("grpconv: "), std::string::npos) << "says why: " << r.output;
        EXPECT_EQ(Tree(tm.machineFolder()), before);
    }
}

TEST(Grpconv, StartMenuItCannotCreateIsAFailure) {
    if (!CanDropPrivileges()) GTEST_SKIP() << "needs root to switch to an unprivileged user";
    TempMachine tm;
    WriteFile(tm.windowsFolder() / "SETUP.INI", kSetupScript);
    // A copy beside the machine: the build tree may lie where nobody cannot enter.
    const fs::path converter = tm.distFolder() / "grpconv";
    fs::copy_file(kConverter, converter);
    const auto before = Tree(tm.machineFolder());
    // The Windows directory belongs to root; the converter, run as nobody, may read but not write.
    const int failedAsExpected = RunAsUnprivileged([&] {
        const CommandResult r = RunOn(tm.machineFolder(), {converter.string(), "-o"});
        return r.exitCode != 0 &&
                       r.output.find("cannot create C:\\windows\\Start Menu") != std::string::npos
                   ? 0
                   : 1;
    });
    EXPECT_EQ(failedAsExpected, 0);
    EXPECT_EQ(Tree(tm.machineFolder()), before);
}

TEST(Grpconv, WithoutTheOptionItOnlyShowsUsage) {
    const std::vector<std::vector<std::string>> commandLines = {{}, {"-x"}, {"-o", "extra"}, {"o"}};
    for (const auto& arguments : commandLines) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        TempMachine tm;
        WriteFile(tm.windowsFolder() / "SETUP.INI", kSetupScript);
        const auto before = Tree(tm.machineFolder());
        const CommandResult r = RunConverter(tm, arguments);
        EXPECT_EQ(r.exitCode, 2) << r.output;
        EXPECT_NE(r.output.find("usage: grpconv -o"), std::string::npos) << r.output;
        EXPECT_EQ(Tree(tm.machineFolder()), before);
    }
}

TEST(Grpconv, AMachineThatIsGoneIsNotLaidOutAgain) {
    // A converter started by an install may run on after its machine was removed.
    TempMachine tm;
    const fs::path gone = tm.root() / "removed-machine";
    const CommandResult r = RunOn(gone, {kConverter, "-o"});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_FALSE(fs::exists(gone));
}

}  // namespace
}  // namespace vx::testing
