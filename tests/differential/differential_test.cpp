// The differential suite's Linux half: runs every sequence through the Linux
// stand-in on a fresh machine folder and compares each transcript with the
// one Wine's real calls gave (the file VX_WINE_TRANSCRIPT names). A listed
// difference must still be there, so that the list never goes stale.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/posix/posix_system_services.h"
#include "tests/differential/sequences.h"

namespace vx::differential {
namespace {

namespace fs = std::filesystem;

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(Differential, TheStandInAgreesWithWine) {
    const char* winePath = std::getenv("VX_WINE_TRANSCRIPT");
    ASSERT_TRUE(winePath && fs::exists(winePath))
        << "VX_WINE_TRANSCRIPT must name the transcript of the Windows runner";
    const auto wine = SplitTranscript(ReadWhole(winePath));

    std::string root = (fs::temp_directory_path() / "vx-differential-XXXXXX").string();
    ASSERT_NE(mkdtemp(root.data()), nullptr);
    const std::string machineFolder = root + "/machine";
    ASSERT_TRUE(posix::PrepareMachineFolder(machineFolder));
    posix::PosixSystemServices sys({machineFolder, "/proc/self/exe"});
    const Workspace workspace{"C:\\vxdiff", machineFolder + "/drive_c/vxdiff",
                              machineFolder + "/drive_c/windows"};
    const std::string transcript = RunAll(sys, workspace);
    std::ofstream(std::string(winePath) + ".linux", std::ios::binary) << transcript;
    const auto standIn = SplitTranscript(transcript);
    std::error_code ec;
    fs::remove_all(root, ec);

    ASSERT_EQ(standIn.size(), Sequences().size());
    for (const Sequence& sequence : Sequences()) {
        SCOPED_TRACE(sequence.name);
        ASSERT_TRUE(wine.count(sequence.name)) << "the Windows runner did not run it";
        const std::string& ours = standIn.at(sequence.name);
        const std::string& theirs = wine.at(sequence.name);
        const auto known = KnownDifferences().find(sequence.name);
        if (known == KnownDifferences().end())
            EXPECT_EQ(ours, theirs) << "the Linux stand-in (first) and Wine (second) differ";
        else
            EXPECT_NE(ours, theirs)
                << "listed as a difference, but both now agree: " << known->second;
    }
}

}  // namespace
}  // namespace vx::differential
