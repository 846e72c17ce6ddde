#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "tests/support/scoped_state.h"
#include "tests/support/temp_machine.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::ScopedCurrentFolder;
using testing::ScopedEnvironment;
using testing::TempMachine;
using testing::WriteFile;

// A host program that reports who it is, its WINEPREFIX and its arguments
// into `report`, written whole through a rename so a poll never sees half.
void WriteReportingScript(const fs::path& path, const std::string& who, const fs::path& report) {
    WriteFile(path,
              "#!/bin/sh\n"
              "{ printf 'who=%s\\n' '" +
                  who +
                  "'\n"
                  "  printf 'prefix=%s\\n' \"$WINEPREFIX\"\n"
                  "  for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done\n"
                  "} > '" +
                  report.string() + ".part' && /bin/mv '" + report.string() + ".part' '" +
                  report.string() + "'\n");
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

// The report of a started program, waited for a bounded time.
std::string WaitForReport(const fs::path& report) {
    for (int i = 0; i < 500 && !fs::exists(report); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!fs::exists(report)) return "(no report)";
    std::string text = ReadFile(report);
    fs::remove(report);
    return text;
}

class WinExecTest : public ::testing::Test {
protected:
    fs::path report() const { return m.root() / "report.txt"; }
    std::string Expected(const std::string& who, std::initializer_list<std::string> args = {}) {
        std::string text = "who=" + who + "\nprefix=" + m.machineFolder().string() + "\n";
        for (const std::string& a : args) text += "arg=" + a + "\n";
        return text;
    }

    TempMachine m;
};

TEST_F(WinExecTest, SearchesTheWindowsOrderThenThePath) {
    const fs::path current = m.root() / "current";
    const fs::path hostBin = m.root() / "bin";
    fs::create_directories(current);
    fs::create_directories(hostBin);
    ScopedCurrentFolder inCurrent(current);
    ScopedEnvironment path("PATH", hostBin.string() + ":/usr/bin:/bin");
    const struct {
        fs::path program;
        const char* who;
    } order[] = {
        {m.distFolder() / "tool", "program folder"},
        {current / "tool", "current folder"},
        {m.windowsFolder() / "system32" / "tool", "system directory"},
        {m.windowsFolder() / "tool", "windows directory"},
        {hostBin / "tool.exe", "host path"},
    };
    for (const auto& place : order) WriteReportingScript(place.program, place.who, report());
    for (const auto& place : order) {
        SCOPED_TRACE(place.who);
        EXPECT_GT(m.sys().WinExec("tool", SW_HIDE), 31u);
        EXPECT_EQ(WaitForReport(report()), Expected(place.who));
        fs::remove(place.program);
    }
    EXPECT_EQ(m.sys().WinExec("tool", SW_HIDE), UINT{ERROR_FILE_NOT_FOUND});

    // A host tool without an extension is never taken for the program: a
    // host "grpconv" is an unrelated system tool.
    WriteReportingScript(hostBin / "tool", "host tool", report());
    EXPECT_EQ(m.sys().WinExec("tool", SW_HIDE), UINT{ERROR_FILE_NOT_FOUND});
}

TEST_F(WinExecTest, ANameWithoutExtensionAlsoFindsTheExe) {
    WriteReportingScript(m.windowsFolder() / "system32" / "Convert.EXE", "exe", report());
    WriteReportingScript(m.distFolder() / "notes.txt.exe", "notes", report());
    EXPECT_GT(m.sys().WinExec("convert -o", SW_HIDE), 31u);
    EXPECT_EQ(WaitForReport(report()), Expected("exe", {"-o"}));
    // A name with an extension is taken as it is.
    EXPECT_EQ(m.sys().WinExec("notes.txt", SW_HIDE), UINT{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(m.sys().WinExec("", SW_HIDE), UINT{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(m.sys().WinExec("   ", SW_HIDE), UINT{ERROR_FILE_NOT_FOUND});
}

TEST_F(WinExecTest, PassesArgumentsAndTheMachineFolder) {
    // The program sees this machine even when the caller's environment names another.
    ScopedEnvironment prefix("WINEPREFIX", (m.root() / "elsewhere").string());
    WriteReportingScript(m.distFolder() / "tool", "tool", report());
    WriteReportingScript(m.distFolder() / "my tool", "spaced", report());
    WriteReportingScript(m.driveC() / "Program Files" / "Game" / "run.exe", "by path", report());
    const struct {
        const char* commandLine;
        const char* who;
        std::initializer_list<std::string> args;
    } cases[] = {
        {"tool -o", "tool", {"-o"}},
        {"  tool   one\t\"two words\"  \"\" last ", "tool", {"one", "two words", "", "last"}},
        {"\"my tool\" x", "spaced", {"x"}},
        {"C:\\Program Files\\Game\\run.exe a b", "by path", {"a", "b"}},
        {"\"c:/program files/game/RUN\" a", "by path", {"a"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine);
        EXPECT_GT(m.sys().WinExec(c.commandLine, SW_SHOWDEFAULT), 31u);
        EXPECT_EQ(WaitForReport(report()), Expected(c.who, c.args));
    }
    // The started programs ran detached: nothing of theirs is left to reap.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(WinExecTest, AProgramThatCannotStartIsReported) {
    // Neither executable nor a Windows program.
    WriteFile(m.distFolder() / "plain", "just text\n");
    EXPECT_LE(m.sys().WinExec("plain", SW_HIDE), 31u);
    // Found, but its interpreter is missing: only execve can tell.
    WriteFile(m.distFolder() / "broken", "#!/nonexistent/interpreter\n");
    fs::permissions(m.distFolder() / "broken", fs::perms::owner_all);
    EXPECT_LE(m.sys().WinExec("broken", SW_HIDE), 31u);
    EXPECT_EQ(m.sys().WinExec("Q:\\tool.exe", SW_HIDE), UINT{ERROR_FILE_NOT_FOUND});
}

TEST_F(WinExecTest, AWindowsProgramRunsThroughWine) {
    const fs::path game = m.driveC() / "Games" / "game.exe";
    WriteFile(game, std::string("MZ\x90\0", 4) + "not really a program");
    const fs::path fakeBin = m.root() / "fakebin";
    WriteReportingScript(fakeBin / "wine", "wine", report());
    {
        ScopedEnvironment path("PATH", fakeBin.string());
        EXPECT_GT(m.sys().WinExec("C:\\Games\\game -x", SW_SHOWDEFAULT), 31u);
        const std::string text = WaitForReport(report());
        const std::string head = Expected("wine") + "arg=";
        ASSERT_EQ(text.substr(0, head.size()), head);
        const std::size_t end = text.find('\n', head.size());
        EXPECT_TRUE(fs::equivalent(text.substr(head.size(), end - head.size()), game));
        EXPECT_EQ(text.substr(end + 1), "arg=-x\n");
    }
    // Without a wine command only Debian's launcher is left.
    fs::remove(fakeBin / "wine");
    ScopedEnvironment path("PATH", fakeBin.string());
    if (access("/usr/lib/wine/wine64", X_OK) == 0)
        GTEST_SKIP() << "Wine's own launcher is installed; not starting it on a fake program";
    EXPECT_LE(m.sys().WinExec("C:\\Games\\game.exe", SW_SHOWDEFAULT), 31u);
}

}  // namespace
}  // namespace vx
