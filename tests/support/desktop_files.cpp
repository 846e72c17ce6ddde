#include "tests/support/desktop_files.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>

namespace vx::testing {

namespace fs = std::filesystem;

std::vector<std::string> FilesBelow(const fs::path& root) {
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
         it.increment(ec))
        if (!it->is_directory() || it->is_symlink())
            files.push_back(it->path().lexically_relative(root).string());
    std::sort(files.begin(), files.end());
    return files;
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char chunk[4096];
    while (const std::size_t n = fread(chunk, 1, sizeof chunk, pipe)) text.append(chunk, n);
    const int status = pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

std::string Quoted(const fs::path& path) {
    std::string quoted = "'";
    for (const char c : path.string())
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

int ExpectValidMenuFiles(const fs::path& root) {
    int checked = 0;
    for (const std::string& relative : FilesBelow(root)) {
        const fs::path file = root / relative;
        const std::string extension = file.extension().string();
        std::string output;
        if (extension == ".desktop" || extension == ".directory") {
            EXPECT_EQ(RunCommand("desktop-file-validate " + Quoted(file), &output), 0)
                << relative << "\n"
                << output;
            EXPECT_EQ(output.find("error"), std::string::npos) << relative << "\n" << output;
            ++checked;
        } else if (extension == ".menu") {
            EXPECT_EQ(RunCommand("xmllint --noout " + Quoted(file), &output), 0) << relative << "\n"
                                                                                 << output;
            const std::string nested =
                "string(/Menu[Name='Applications']/Menu[Name='wine-wine']"
                "/Menu[Name='wine-Programs']/Menu/Include/Filename)";
            RunCommand("xmllint --xpath \"" + nested + "\" " + Quoted(file), &output);
            while (!output.empty() && output.back() == '\n') output.pop_back();
            EXPECT_EQ(output, file.stem().string() + ".desktop") << relative;
            ++checked;
        }
    }
    return checked;
}

}  // namespace vx::testing
