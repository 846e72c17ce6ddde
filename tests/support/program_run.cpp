#include "tests/support/program_run.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "tests/support/temp_machine.h"

extern char** environ;

namespace vx::testing {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> ProgramEnvironment(const fs::path& machineFolder) {
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
            entry.rfind("WINEPREFIX=", 0) == 0)
            continue;
        environment.push_back(entry);
    }
    environment.push_back("WINEPREFIX=" + machineFolder.string());
    return environment;
}

}  // namespace

ProgramRun RunProgram(const fs::path& program, const std::string& input,
                      const fs::path& machineFolder, const fs::path& folder, int seconds) {
    const fs::path inputFile = folder / "program-input.txt";
    const fs::path outputFile = folder / "program-output.txt";
    WriteFile(inputFile, input);
    WriteFile(outputFile, "");

    // Everything the child needs is prepared before fork: it only redirects and executes.
    std::vector<std::string> environment = ProgramEnvironment(machineFolder);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    const std::string path = program.string();
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};

    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        if (!std::freopen(inputFile.c_str(), "r", stdin) ||
            !std::freopen(outputFile.c_str(), "w", stdout) ||
            dup2(STDOUT_FILENO, STDERR_FILENO) < 0 || chdir(folder.c_str()) != 0)
            _exit(126);
        execve(path.c_str(), argv, envp.data());
        _exit(127);
    }
    ProgramRun run;
    if (child < 0) return run;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (done == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    } else if (done == child && WIFEXITED(status)) {
        run.exitStatus = WEXITSTATUS(status);
    }
    run.output = ReadFile(outputFile);
    return run;
}

}  // namespace vx::testing
