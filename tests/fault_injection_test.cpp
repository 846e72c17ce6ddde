// A crash at any file-system call of an install leaves a machine that the
// next install and uninstall bring back: the install (or the group converter
// it runs) is killed by strace at the n-th call of each file-system system
// call, for every n it makes; then nothing that is ours holds a partial file
// under its final name, the settings file never says installed without the
// directory, no temporary of ours outlives the next install, and the next
// install and uninstall complete.
//
// VX_KILL_EVERY=k runs every k-th kill point only (CI runs a share; the
// tools/kill-points script runs them all). The figures go to standard output.
//
// A power cut is harder: only what was flushed survives it. The install and
// the converter run on a file system (power_cut_fs) that keeps what a disk
// would hold after one, cut after its n-th call; the same checks follow, and
// no file whose name survived may hold fewer bytes than were written into it.
// VX_CUT_EVERY=1 cuts after every call (tools/power-cuts); CI cuts just
// before each flush and after the last call: between two flushes the disk
// holds the same, so those cover every state a cut can leave.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/scripted/scripted_dialog_services.h"
#include "setup/install_log.h"
#include "setup/paths.h"
#include "setup/procedures.h"
#include "setup/program_group.h"
#include "setup/settings_file.h"
#include "tests/support/distribution.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_machine.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCalls[] = {
    "openat",    "write",  "fsync",    "fdatasync", "rename",    "renameat",
    "renameat2", "linkat", "unlink",   "unlinkat",  "mkdir",     "mkdirat",
    "rmdir",     "fchmod", "fchmodat", "chmod",     "ftruncate", "copy_file_range"};
constexpr const char* kTarget = "C:\\Games\\Vornalux";

std::string CallList() {
    std::string list;
    for (const char* call : kCalls) list += std::string(list.empty() ? "" : ",") + call;
    return list;
}

bool StraceWorks() { return std::system("strace -qq -o /dev/null true >/dev/null 2>&1") == 0; }

// Where the killed program runs: the install itself, or the converter it starts.
enum class Victim { Install, Converter };

struct KillPoint {
    Victim victim;
    std::string call;
    int n;
};

class Machine {
public:
    Machine() { testing::FillDistribution(machine_); }

    testing::TempMachine& machine() { return machine_; }
    fs::path Target() const { return machine_.driveC() / "Games" / "Vornalux"; }
    fs::path Shortcut() const {
        return machine_.windowsFolder() / "Start Menu" / "Programs" / "PELTOMARK! Inc" /
               kShortcutName;
    }

    // The same on the power-cut file system mounted over the machine folder,
    // cut after call `cutAfter` (none when negative). The file system's
    // report, one line each: "call <n> <what> <path>", then "short <kept>
    // <written> <path>"; nullopt when it could not be mounted.
    std::optional<std::vector<std::string>> RunInstallWithCut(long cutAfter) {
#ifdef VX_POWER_CUT_FS
        const fs::path folder = machine_.machineFolder(), report = machine_.root() / "cut.txt";
        const std::string cut = std::to_string(cutAfter);
        // Mounted once the folder is on another device; a busy machine may take a while.
        struct stat below = {}, mounted = {};
        stat(folder.c_str(), &below);
        const pid_t fs = fork();
        if (fs == 0) {
            execl(VX_POWER_CUT_FS, VX_POWER_CUT_FS, folder.c_str(), report.c_str(),
                  cutAfter < 0 ? nullptr : cut.c_str(), nullptr);
            _exit(127);
        }
        bool up = false;
        for (int i = 0; i < 6000 && !up && waitpid(fs, nullptr, WNOHANG) == 0; ++i) {
            usleep(10000);
            up = stat(folder.c_str(), &mounted) == 0 && mounted.st_dev != below.st_dev;
        }
        if (up) RunInstall("", "");
        const std::string unmount = "fusermount3 -u \"" + folder.string() + "\"";
        // Without a mount, or with the mount busy, the file system ends (and unmounts) on a signal.
        if (!up || std::system(unmount.c_str()) != 0) kill(fs, SIGTERM);
        waitpid(fs, nullptr, 0);
        if (!up || !fs::exists(report)) return std::nullopt;
        std::vector<std::string> lines;
        std::istringstream text(testing::ReadFile(report));
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        fs::remove(report);
        return lines;
#else
        return std::nullopt;
#endif
    }

    // Runs the scripted install in a process of its own, `wrap` put before it
    // (strace, or nothing); `converterWrap` likewise before the converter.
    // The install's exit status, -1 when a signal ended it.
    int RunInstall(const std::string& wrap, const std::string& converterWrap) {
        const fs::path root = machine_.root();
        const fs::path converter = machine_.distFolder() / "grpconv";
        if (!converterWrap.empty()) {
            fs::rename(converter, machine_.distFolder() / "grpconv.real");
            testing::WriteFile(converter, "#!/bin/sh\nexec " + converterWrap + " \"" +
                                              (machine_.distFolder() / "grpconv.real").string() +
                                              "\" \"$@\"\n");
            fs::permissions(converter, fs::perms::owner_all);
        }
        const fs::path script = root / "run.sh";
        testing::WriteFile(
            script, "#!/bin/sh\nexport HOME=\"" + root.string() + "\" XDG_DATA_HOME=\"" +
                        root.string() + "\" XDG_CONFIG_HOME=\"" + root.string() + "\"\nexec " +
                        wrap + " \"" VX_SCRIPTED_INSTALL "\" \"" +
                        machine_.machineFolder().string() + "\" \"" +
                        (machine_.distFolder() / "install").string() + "\" '" + kTarget + "'\n");
        fs::permissions(script, fs::perms::owner_all);
        const int status =
            testing::RunProgram(script, "", machine_.machineFolder(), root, 120).exitCode;
        if (!converterWrap.empty()) fs::rename(machine_.distFolder() / "grpconv.real", converter);
        return status;
    }

private:
    testing::TempMachine machine_;
};

// How often each call appears in an strace log.
std::map<std::string, int> CountCalls(const fs::path& log) {
    std::map<std::string, int> counts;
    std::istringstream lines(testing::ReadFile(log));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t paren = line.find('(');
        if (paren != std::string::npos) ++counts[line.substr(0, paren)];
    }
    return counts;
}

// What a complete install leaves, to compare a killed one's files with.
struct Reference {
    std::map<fs::path, std::string> files;  // relative to the machine folder
};

// Lines of a settings file that only a complete write gives: sections and
// keys, each ended by CR LF.
bool ParsesAsSettings(const std::string& bytes) {
    static const std::regex kFile(R"(((\[[^\]\r\n]+\]|[^=\[;\r\n]+=[^\r\n]*)\r\n)*)");
    return std::regex_match(bytes, kFile);
}

// Any name our writes ever gave a temporary.
bool IsTemporary(const fs::path& path) {
    static const std::regex kNames(R"(\.vx-tmp-.*|\.vx-copy-.*|\.grpconv-.*|vornalux\.ini\..*)");
    return std::regex_match(path.filename().string(), kNames);
}

// Every temporary of ours under `root`.
std::vector<std::string> Temporaries(const fs::path& root) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (IsTemporary(entry.path())) found.push_back(entry.path().string());
    return found;
}

// The faults a kill point left, each a line; empty when it recovered.
// `finished`: the install had completed, so all of it must be there.
std::vector<std::string> Examine(Machine& m, const Reference& reference, bool finished = false) {
    std::vector<std::string> faults;
    testing::TempMachine& machine = m.machine();
    machine.Restart();

    // The settings and the files as the crash left them.
    const fs::path settingsPath = machine.windowsFolder() / kSettingsFileName;
    bool installed = false;
    if (fs::exists(settingsPath)) {
        const std::string bytes = testing::ReadFile(settingsPath);
        if (!ParsesAsSettings(bytes)) faults.push_back("settings do not parse");
        char directory[MAX_PATH] = {};
        machine.sys().GetPrivateProfileStringA("Installation", "Directory", "(none)", directory,
                                               MAX_PATH, kSettingsFileName);
        installed = SettingsFile(machine.sys()).IsInstalled();
        if (installed && std::string(directory) != kTarget)
            faults.push_back("installed with the directory " + std::string(directory));
        if (installed && !fs::is_directory(m.Target()))
            faults.push_back("installed without the folder");
    }
    if (finished && !installed) faults.push_back("a finished install is not installed");
    for (const auto& [relative, bytes] : reference.files) {
        const fs::path path = machine.machineFolder() / relative;
        if (fs::exists(path) && testing::ReadFile(path) != bytes)
            faults.push_back("partial " + relative.string());
        else if (finished && !fs::exists(path))
            faults.push_back("a finished install lost " + relative.string());
    }
    // Every file of ours in the folder is in the record, which the uninstall goes by.
    PathBuffer source, target;
    target.Assign(kTarget);
    const InstallLog record(machine.sys(), target);
    for (const char* name : ProgramFiles)
        if (fs::exists(m.Target() / name) && !record.ListsFile(name))
            faults.push_back(std::string("not in the record: ") + name);

    // The next install and uninstall.
    TakeSourceDirectory(machine.sys(), source);
    ScriptedDialogServices dlg(machine.sys());
    const std::optional<CheckedDirectory> checked =
        ConfirmSetupDirectory(machine.sys(), dlg, target, SetupAction::Install, source);
    if (!checked) {
        faults.push_back("refused: " + (dlg.messages.empty() ? "" : dlg.messages[0].text));
        return faults;
    }
    if (!RunInstall(machine.sys(), dlg, *checked) || dlg.messages.size() != 1 ||
        dlg.messages[0].caption != "Vornalux! installation complete.")
        faults.push_back("next install: " + (dlg.messages.empty() ? "" : dlg.messages[0].text));
    for (const std::string& path : Temporaries(machine.root()))
        faults.push_back("temporary after the next install: " + path);
    dlg.messages.clear();
    RunUninstall(machine.sys(), dlg, *checked);
    if (dlg.messages.size() != 1 || dlg.messages[0].text != "Vornalux! has completed uninstalling.")
        faults.push_back("uninstall: " + (dlg.messages.empty() ? "" : dlg.messages[0].text));
    for (const fs::path& gone : {m.Target(), m.Shortcut().parent_path(), settingsPath})
        if (fs::exists(gone)) faults.push_back("left after the uninstall: " + gone.string());
    return faults;
}

// Machines in memory when the host has it: every crash point installs three
// times, and each flush to a disk would cost milliseconds.
void MachinesInMemory() {
    std::error_code ec;
    if (fs::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0)
        setenv("TMPDIR", "/dev/shm", 1);
}

// The files a complete install made, from the machine it made them on.
Reference ReferenceOf(Machine& m) {
    Reference reference;
    const fs::path machineFolder = m.machine().machineFolder();
    for (const char* name : ProgramFiles)
        reference.files[fs::relative(m.Target() / name, machineFolder)] =
            testing::PlaceholderContent(name);
    for (const char* name : SystemFiles)
        reference.files[fs::path("drive_c/windows/system32") / name] =
            testing::PlaceholderContent(name);
    for (const fs::path& made : {m.machine().windowsFolder() / "SETUP.INI", m.Shortcut()})
        if (fs::exists(made))
            reference.files[fs::relative(made, machineFolder)] = testing::ReadFile(made);
    return reference;
}

TEST(FaultInjection, EveryKillPointOfAnInstallRecovers) {
    if (!StraceWorks()) GTEST_SKIP() << "strace cannot trace here";
    MachinesInMemory();
    const char* every = std::getenv("VX_KILL_EVERY");
    const int stride = every ? std::max(1, std::atoi(every)) : 4;
    const std::string calls = CallList();

    // A complete install, traced: the calls to kill at and the files to compare with.
    Reference reference;
    std::map<std::string, int> installCalls, converterCalls;
    {
        Machine m;
        const fs::path root = m.machine().root();
        m.RunInstall("strace -qq -o \"" + (root / "install.log").string() + "\" -e trace=" + calls,
                     "strace -qq -o \"" + (root / "grpconv.log").string() + "\" -e trace=" + calls);
        installCalls = CountCalls(root / "install.log");
        converterCalls = CountCalls(root / "grpconv.log");
        reference = ReferenceOf(m);
        ASSERT_EQ(reference.files.size(), ProgramFiles.size() + SystemFiles.size() + 2);
    }
    std::vector<KillPoint> points;
    for (const auto& [victim, counts] :
         {std::pair{Victim::Install, installCalls}, std::pair{Victim::Converter, converterCalls}})
        for (const auto& [call, count] : counts)
            for (int n = 1; n <= count; ++n) points.push_back({victim, call, n});
    const auto total = [](const std::map<std::string, int>& counts) {
        int sum = 0;
        for (const auto& [call, count] : counts) sum += count;
        return sum;
    };
    ASSERT_GT(installCalls["write"], 0);
    ASSERT_GT(converterCalls["write"], 0);

    int run = 0, killed = 0;
    std::vector<std::string> failures;
    for (std::size_t i = 0; i < points.size(); i += static_cast<std::size_t>(stride)) {
        const KillPoint& point = points[i];
        const std::string inject = "strace -qq -o /dev/null -e trace=" + point.call +
                                   " -e inject=" + point.call +
                                   ":signal=KILL:when=" + std::to_string(point.n);
        Machine m;
        if (point.victim == Victim::Install)
            killed += m.RunInstall(inject, "") == -1 ? 1 : 0;
        else
            m.RunInstall("", inject);
        ++run;
        const std::vector<std::string> faults = Examine(m, reference);
        for (const std::string& fault : faults)
            failures.push_back((point.victim == Victim::Install ? "install " : "converter ") +
                               point.call + " #" + std::to_string(point.n) + ": " + fault);
    }
    std::printf(
        "kill points: %zu (install %d, converter %d), run: %d (every %d), installs killed: %d, "
        "failures: %zu\n",
        points.size(), total(installCalls), total(converterCalls), run, stride, killed,
        failures.size());
    for (const auto& [victim, counts] :
         {std::pair{"install", installCalls}, std::pair{"converter", converterCalls}}) {
        std::printf("%s:", victim);
        for (const auto& [call, count] : counts) std::printf(" %s %d", call.c_str(), count);
        std::printf("\n");
    }
    std::string shown;
    for (std::size_t i = 0; i < failures.size() && i < 30; ++i) shown += failures[i] + "\n";
    EXPECT_TRUE(failures.empty()) << shown;
}

TEST(FaultInjection, EveryPowerCutOfAnInstallRecovers) {
    if (access("/dev/fuse", R_OK | W_OK) != 0 || std::system("fusermount3 -V >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no FUSE here";
    MachinesInMemory();
    const char* every = std::getenv("VX_CUT_EVERY");

    // A complete install on the file system: its calls and the files to compare with.
    Reference reference;
    std::vector<std::string> calls;
    {
        Machine m;
        const auto run = m.RunInstallWithCut(-1);
        if (!run) GTEST_SKIP() << "the power-cut file system cannot be mounted here";
        calls = *run;
        reference = ReferenceOf(m);
        ASSERT_EQ(reference.files.size(), ProgramFiles.size() + SystemFiles.size() + 2);
    }
    std::vector<long> points;
    for (long n = 0; n < static_cast<long>(calls.size()); ++n)
        if (every ? n % std::max(1, std::atoi(every)) == 0
                  : calls[n].find(" fsync") != std::string::npos)
            points.push_back(n);  // the n-th call, counted from 0, is call n + 1
    points.push_back(static_cast<long>(calls.size()));
    const auto flushes = std::count_if(calls.begin(), calls.end(), [](const std::string& call) {
        return call.find(" fsync") != std::string::npos;
    });
    ASSERT_GT(flushes, 0);

    std::vector<std::string> failures;
    for (const long n : points) {
        Machine m;
        std::vector<std::string> faults;
        const auto run = m.RunInstallWithCut(n);
        if (!run) {
            failures.push_back("cut after call " + std::to_string(n) + ": not mounted");
            continue;
        }
        // A temporary may be cut short: it is never taken for the file.
        for (const std::string& line : *run)
            if (line.starts_with("short ") &&
                !IsTemporary(line.substr(line.find(' ', line.find(' ', 6) + 1) + 1)))
                faults.push_back(line);
        const std::vector<std::string> found =
            Examine(m, reference, n == static_cast<long>(calls.size()));
        faults.insert(faults.end(), found.begin(), found.end());
        for (const std::string& fault : faults)
            failures.push_back("cut after " + (n == 0 ? std::string("nothing") : calls[n - 1]) +
                               ": " + fault);
    }
    std::printf("power cuts: %zu calls (%ld flushes), cut after %zu of them, failures: %zu\n",
                calls.size(), static_cast<long>(flushes), points.size(), failures.size());
    std::map<std::string, int> kinds;  // "call <n> <what> <path>"
    for (const std::string& call : calls) {
        const std::size_t what = call.find(' ', 5) + 1;
        ++kinds[call.substr(what, call.find(' ', what) - what)];
    }
    for (const auto& [what, count] : kinds) std::printf(" %s %d", what.c_str(), count);
    std::printf("\n");
    std::string shown;
    for (std::size_t i = 0; i < failures.size() && i < 30; ++i) shown += failures[i] + "\n";
    EXPECT_TRUE(failures.empty()) << shown;
}

}  // namespace
}  // namespace vx
