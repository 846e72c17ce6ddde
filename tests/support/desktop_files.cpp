#include "tests/support/desktop_files.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/x_session.h"

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

int ExpectValidMenuFiles(const fs::path& root) {
    int checked = 0;
    for (const std::string& relative : FilesBelow(root)) {
        const fs::path file = root / relative;
        const std::string extension = file.extension().string();
        if (extension == ".desktop" || extension == ".directory") {
            const CommandResult valid = RunCommand({"desktop-file-validate", file.string()});
            EXPECT_EQ(valid.exitCode, 0) << relative << "\n" << valid.output;
            EXPECT_EQ(valid.output.find("error"), std::string::npos) << relative << "\n"
                                                                     << valid.output;
            ++checked;
        } else if (extension == ".menu") {
            const CommandResult valid = RunCommand({"xmllint", "--noout", file.string()});
            EXPECT_EQ(valid.exitCode, 0) << relative << "\n" << valid.output;
            const std::string nested =
                "string(/Menu[Name='Applications']/Menu[Name='wine-wine']"
                "/Menu[Name='wine-Programs']/Menu/Include/Filename)";
            std::string output = RunCommand({"xmllint", "--xpath", nested, file.string()}).output;
            while (!output.empty() && output.back() == '\n') output.pop_back();
            EXPECT_EQ(output, file.stem().string() + ".desktop") << relative;
            ++checked;
        }
    }
    return checked;
}

}  // namespace vx::testing
