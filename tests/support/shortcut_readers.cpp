#include "tests/support/shortcut_readers.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vx::testing {

namespace fs = std::filesystem;

RunResult Run(const std::vector<std::string>& argv, const fs::path& machine) {
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e)
        if (std::string_view(*e).substr(0, 11) != "WINEPREFIX=") environment.emplace_back(*e);
    if (!machine.empty()) environment.push_back("WINEPREFIX=" + machine.string());
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    args.push_back(nullptr);
    envp.push_back(nullptr);

    int out[2];
    if (pipe(out) != 0) return {};
    const pid_t pid = fork();
    if (pid < 0) return {};
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(out[0]);
        close(out[1]);
        execvpe(args[0], args.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    RunResult result;
    char chunk[4096];
    ssize_t n;
    while ((n = read(out[0], chunk, sizeof chunk)) > 0) result.output.append(chunk, n);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

namespace {

// The value lnkinfo prints after "<label> :".
std::string LnkinfoField(const std::string& output, const std::string& label) {
    std::size_t pos = 0;
    while ((pos = output.find("\t" + label, pos)) != std::string::npos) {
        const auto end = output.find('\n', pos);
        const std::string line = output.substr(pos, end - pos);
        const auto colon = line.find(": ");
        if (colon != std::string::npos && line.find_first_not_of("\t ", label.size() + 1) == colon)
            return line.substr(colon + 2);
        pos = end;
    }
    return "<no " + label + ">";
}

std::string ExiftoolTag(const fs::path& file, const std::string& tag) {
    const RunResult r = Run({"exiftool", "-s3", "-" + tag, file.string()});
    EXPECT_EQ(r.status, 0) << "exiftool (Debian package libimage-exiftool-perl): " << r.output;
    std::string value = r.output;
    while (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
}

// Both readers must accept the file and report the target and the working
// directory. lnkinfo decodes the narrow target as windows-1252, the machine's
// code page; exiftool shows its bytes as stored (`storedTarget` when not ASCII).
}  // namespace

void ExpectShortcut(const fs::path& file, const std::string& target, const std::string& workingDir,
                    const std::string& storedTarget) {
    SCOPED_TRACE(file.string());
    ASSERT_TRUE(fs::is_regular_file(file));

    const RunResult lnkinfo = Run({"lnkinfo", file.string()});
    ASSERT_EQ(lnkinfo.status, 0) << "lnkinfo (Debian package liblnk-utils): " << lnkinfo.output;
    EXPECT_EQ(LnkinfoField(lnkinfo.output, "Local path"), target);
    if (workingDir.empty())
        EXPECT_EQ(lnkinfo.output.find("Working directory"), std::string::npos);
    else
        EXPECT_EQ(LnkinfoField(lnkinfo.output, "Working directory"), workingDir);

    EXPECT_EQ(ExiftoolTag(file, "FileType"), "LNK");
    EXPECT_EQ(ExiftoolTag(file, "LocalBasePath"), storedTarget.empty() ? target : storedTarget);
    EXPECT_EQ(ExiftoolTag(file, "WorkingDirectory"), workingDir);
}

}  // namespace vx::testing
