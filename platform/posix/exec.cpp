// WinExec and CreateProcessA on the host: the program is looked up in the
// Windows order and started in the same machine (WINEPREFIX), either directly
// (a host program) or through Wine (a Windows program); WinExec does not
// wait, a process CreateProcessA started can be waited for.
#include "platform/posix/exec.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/host/spawn.h"
#include "platform/posix/posix_system_services.h"

extern char** environ;

namespace vx::posix {

namespace {

using host::IsExecutableFile;
using host::IsRegularFile;

// What WinExec gives back once the program runs; any value above 31 does.
constexpr UINT kStarted = 33;
constexpr UINT ERROR_BAD_FORMAT = 11;
constexpr const char* kWine64Launcher = "/usr/lib/wine/wine64";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string ParentFolder(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A name holding a drive or a separator is a path, not a bare name.
bool HoldsPath(std::string_view name) {
    return name.find_first_of("\\/:") != std::string_view::npos;
}

bool HasExtension(std::string_view name) {
    const auto lastSeparator = name.find_last_of("\\/:");
    const auto dot = name.find_last_of('.');
    return dot != std::string_view::npos &&
           (lastSeparator == std::string_view::npos || dot > lastSeparator);
}

// The arguments after the program name, split on blanks; double quotes
// group blanks into one argument and are removed.
std::vector<std::string> SplitArguments(std::string_view text) {
    std::vector<std::string> arguments;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i == text.size()) break;
        std::string argument;
        bool quoted = false;
        for (; i < text.size() && (quoted || !IsBlank(text[i])); ++i) {
            if (text[i] == '"')
                quoted = !quoted;
            else
                argument += text[i];
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

// A program name and the text after it.
struct CommandSplit {
    std::string name;
    std::string_view rest;
};

// The ways the command line can be read: a quoted first token is the name;
// otherwise, as Windows does for an unquoted name, each blank in turn ends
// it, shortest first, so that "C:\Program Files\x.exe" can still be found.
std::vector<CommandSplit> CandidateSplits(std::string_view line) {
    while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
    if (line.empty()) return {};
    if (line.front() == '"') {
        const auto close = line.find('"', 1);
        if (close == std::string_view::npos) return {{std::string(line.substr(1)), {}}};
        return {{std::string(line.substr(1, close - 1)), line.substr(close + 1)}};
    }
    std::vector<CommandSplit> splits;
    for (std::size_t end = 0; end <= line.size(); ++end) {
        if (end < line.size() && !IsBlank(line[end])) continue;
        if (end > 0 && !IsBlank(line[end - 1]))
            splits.push_back({std::string(line.substr(0, end)), line.substr(end)});
    }
    return splits;
}

class ProgramSearch {
public:
    explicit ProgramSearch(const Machine& machine) : machine_(machine) {}

    // The host path of the program `name` names, or nullopt when none exists.
    std::optional<std::string> Find(const std::string& name) const {
        if (name.empty()) return std::nullopt;
        std::vector<std::string> spellings{name};
        if (!HasExtension(name)) spellings.push_back(name + ".exe");
        if (HoldsPath(name)) return FindMapped(spellings);
        char cwd[4096];
        const std::string current = getcwd(cwd, sizeof cwd) ? cwd : "";
        for (const std::string& folder : {ParentFolder(machine_.programPath()), current}) {
            if (folder.empty()) continue;
            if (auto found = FindInHostFolder(folder, spellings)) return found;
        }
        for (const char* folder : {"C:\\windows\\system32\\", "C:\\windows\\"}) {
            std::vector<std::string> paths;
            for (const std::string& spelling : spellings) paths.push_back(folder + spelling);
            if (auto found = FindMapped(paths)) return found;
        }
        // On the host's PATH only a name with an extension counts: an
        // extensionless "grpconv" there is an unrelated host tool.
        std::vector<std::string> hostSpellings;
        for (const std::string& spelling : spellings)
            if (HasExtension(spelling)) hostSpellings.push_back(spelling);
        return FindOnHostPath(hostSpellings);
    }

private:
    std::optional<std::string> FindMapped(const std::vector<std::string>& windowsPaths) const {
        for (const std::string& path : windowsPaths) {
            const auto host = machine_.Map(path);
            if (host && host->exists && IsRegularFile(host->path)) return host->path;
        }
        return std::nullopt;
    }

    // A host folder is searched as Windows would search it: through its
    // Windows path (case-insensitive, short names), else by its host name.
    std::optional<std::string> FindInHostFolder(const std::string& folder,
                                                const std::vector<std::string>& spellings) const {
        if (const auto windowsFolder = machine_.ToWindowsPath(folder)) {
            std::vector<std::string> paths;
            for (const std::string& spelling : spellings)
                paths.push_back(*windowsFolder + "\\" + spelling);
            return FindMapped(paths);
        }
        for (const std::string& spelling : spellings) {
            const auto utf8 = machine_.ToUtf8(spelling);
            if (!utf8) continue;
            const std::string path = folder + "/" + *utf8;
            if (IsRegularFile(path)) return path;
        }
        return std::nullopt;
    }

    std::optional<std::string> FindOnHostPath(const std::vector<std::string>& spellings) const {
        const char* searchPath = std::getenv("PATH");
        if (!searchPath) return std::nullopt;
        for (const std::string& spelling : spellings) {
            const auto utf8 = machine_.ToUtf8(spelling);
            if (!utf8) continue;
            if (auto found = host::FindExecutableOnPath(searchPath, *utf8)) return found;
        }
        return std::nullopt;
    }

    const Machine& machine_;
};

std::vector<std::string> EnvironmentWithPrefix(const std::string& machineFolder) {
    std::vector<std::string> environment;
    for (char** entry = environ; entry && *entry; ++entry) {
        if (std::string_view(*entry).starts_with("WINEPREFIX=")) continue;
        environment.emplace_back(*entry);
    }
    environment.push_back("WINEPREFIX=" + machineFolder);
    return environment;
}

// The host program and arguments a Windows command line starts: the
// program found as Windows finds it (`applicationName`, when given, names
// it and the command line only gives the arguments), run directly or through
// Wine. ERROR_SUCCESS or a WinExec error code.
UINT ResolveCommand(const Machine& machine, const char* applicationName, const char* commandLine,
                    std::string& launcher, std::vector<std::string>& arguments) {
    const ProgramSearch search(machine);
    std::optional<std::string> program;
    std::string_view rest;
    if (applicationName) {
        program = search.Find(applicationName);
        const auto splits = CandidateSplits(commandLine ? commandLine : "");
        if (!splits.empty()) rest = splits.front().rest;
    } else if (commandLine) {
        for (const CommandSplit& split : CandidateSplits(commandLine)) {
            program = search.Find(split.name);
            if (program) {
                rest = split.rest;
                break;
            }
        }
    }
    if (!program) return ERROR_FILE_NOT_FOUND;

    arguments.clear();
    if (IsWindowsProgram(*program)) {
        const auto wine = WineLauncher();
        if (!wine) return ERROR_BAD_FORMAT;
        launcher = *wine;
        arguments = {launcher, *program};
    } else if (IsExecutableFile(*program)) {
        launcher = *program;
        arguments = {launcher};
    } else {
        return ERROR_BAD_FORMAT;
    }
    // Arguments reach the host as host text.
    for (std::string& argument : SplitArguments(rest)) {
        const auto utf8 = machine.ToUtf8(argument);
        if (!utf8) return ERROR_BAD_FORMAT;
        arguments.push_back(*utf8);
    }
    return ERROR_SUCCESS;
}

UINT StartError(int error) {
    if (error == EACCES || error == EPERM) return ERROR_ACCESS_DENIED;
    // The file was found; what failed is starting it (a missing interpreter, say).
    return ERROR_BAD_FORMAT;
}

// A reaped process's exit code: 128 + the signal's number for one a signal ended.
DWORD ExitCodeOf(pid_t reaped, int status) {
    if (reaped < 0) return 1;  // reaped by someone else: its status is lost
    if (WIFEXITED(status)) return static_cast<DWORD>(WEXITSTATUS(status));
    return 128 + static_cast<DWORD>(WTERMSIG(status));
}

}  // namespace

bool IsWindowsProgram(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char magic[2] = {};
    const bool mz = read(fd, magic, sizeof magic) == 2 && magic[0] == 'M' && magic[1] == 'Z';
    close(fd);
    return mz;
}

std::optional<std::string> WineLauncher() {
    if (const char* searchPath = std::getenv("PATH"))
        if (auto wine = host::FindExecutableOnPath(searchPath, "wine")) return wine;
    if (IsExecutableFile(kWine64Launcher)) return std::string(kWine64Launcher);
    return std::nullopt;
}

UINT PosixSystemServices::WinExec(const char* commandLine, UINT) {
    std::string launcher;
    std::vector<std::string> arguments;
    if (const UINT error = ResolveCommand(machine_, nullptr, commandLine, launcher, arguments);
        error != ERROR_SUCCESS)
        return error;
    const int error = host::Spawn(
        {launcher, std::move(arguments), EnvironmentWithPrefix(machine_.folder()), ""}, true);
    return error == 0 ? kStarted : StartError(error);
}

BOOL PosixSystemServices::CreateProcessA(const char* applicationName, char* commandLine, void*,
                                         void*, BOOL, DWORD, void* environment,
                                         const char* currentDirectory, STARTUPINFOA*,
                                         PROCESS_INFORMATION* processInformation) {
    if (!processInformation) return FALSE;
    std::string launcher;
    std::vector<std::string> arguments;
    if (ResolveCommand(machine_, applicationName, commandLine, launcher, arguments) !=
        ERROR_SUCCESS)
        return FALSE;
    std::string folder;
    if (currentDirectory) {
        const std::optional<HostPath> host = machine_.Map(currentDirectory);
        if (!host || !host->exists) return FALSE;
        folder = host->path;
    }
    std::vector<std::string> variables;
    if (environment) {
        // The Windows block: "name=value" strings, each ended by a zero, the list by a second.
        for (const char* entry = static_cast<const char*>(environment); *entry != '\0';
             entry += std::strlen(entry) + 1)
            variables.emplace_back(entry);
        variables.push_back("WINEPREFIX=" + machine_.folder());
    } else {
        variables = EnvironmentWithPrefix(machine_.folder());
    }
    pid_t pid = -1;
    if (host::Spawn({launcher, std::move(arguments), std::move(variables), folder}, false, &pid) !=
        0)
        return FALSE;
    processInformation->hProcess = handles_.Add(Process{pid, false, 0});
    processInformation->hThread = nullptr;  // the stand-in has no thread handles
    processInformation->dwProcessId = static_cast<DWORD>(pid);
    processInformation->dwThreadId = 0;
    return TRUE;
}

std::optional<bool> PosixSystemServices::PollProcess(HANDLE handle, bool block) {
    pid_t pid = 0;
    const bool known = handles_.With<Process>(handle, [&](const Process* process) {
        if (process && !process->ended) pid = process->pid;
        return process != nullptr;
    });
    if (!known) return std::nullopt;
    if (pid == 0) return true;
    // The wait is made outside the table, which other calls go on using.
    int status = 0;
    pid_t reaped;
    do {
        reaped = waitpid(pid, &status, block ? 0 : WNOHANG);
    } while (reaped < 0 && errno == EINTR);
    if (reaped == 0) return false;
    handles_.With<Process>(handle, [&](Process* process) {
        if (process && !process->ended) *process = {pid, true, ExitCodeOf(reaped, status)};
    });
    return true;
}

DWORD PosixSystemServices::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const std::optional<bool> ended = PollProcess(handle, milliseconds == INFINITE);
        if (!ended) return WAIT_FAILED;
        if (*ended) return WAIT_OBJECT_0;
        if (milliseconds != INFINITE && std::chrono::steady_clock::now() >= deadline)
            return WAIT_TIMEOUT;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

BOOL PosixSystemServices::GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
    const std::optional<bool> ended = PollProcess(process, false);
    if (!ended || !exitCode) return FALSE;
    *exitCode = !*ended ? STILL_ACTIVE : handles_.With<Process>(process, [](const Process* p) {
        return p ? p->exitCode : DWORD{1};
    });
    return TRUE;
}

}  // namespace vx::posix
