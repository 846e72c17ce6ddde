#include "tests/support/shortcut_readers.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "tests/support/x_session.h"

namespace vx::testing {

namespace fs = std::filesystem;

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

// The tags exiftool reads from the file, one run for all ("Tag: value" lines);
// a tag it does not find is left out.
std::map<std::string, std::string> ExiftoolTags(const fs::path& file) {
    const CommandResult r = RunCommand(
        {"exiftool", "-s2", "-FileType", "-LocalBasePath", "-WorkingDirectory", file.string()});
    EXPECT_EQ(r.exitCode, 0) << "exiftool (Debian package libimage-exiftool-perl): " << r.output;
    std::map<std::string, std::string> tags;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);)
        if (const std::size_t colon = line.find(": "); colon != std::string::npos)
            tags[line.substr(0, colon)] = line.substr(colon + 2);
    return tags;
}

}  // namespace

void ExpectShortcut(const fs::path& file, const std::string& target, const std::string& workingDir,
                    const std::string& storedTarget) {
    SCOPED_TRACE(file.string());
    ASSERT_TRUE(fs::is_regular_file(file));

    const CommandResult lnkinfo = RunCommand({"lnkinfo", file.string()});
    ASSERT_EQ(lnkinfo.exitCode, 0) << "lnkinfo (Debian package liblnk-utils): " << lnkinfo.output;
    EXPECT_EQ(LnkinfoField(lnkinfo.output, "Local path"), target);
    if (workingDir.empty())
        EXPECT_EQ(lnkinfo.output.find("Working directory"), std::string::npos);
    else
        EXPECT_EQ(LnkinfoField(lnkinfo.output, "Working directory"), workingDir);

    std::map<std::string, std::string> tags = ExiftoolTags(file);
    EXPECT_EQ(tags["FileType"], "LNK");
    EXPECT_EQ(tags["LocalBasePath"], storedTarget.empty() ? target : storedTarget);
    EXPECT_EQ(tags["WorkingDirectory"], workingDir);
}

}  // namespace vx::testing
