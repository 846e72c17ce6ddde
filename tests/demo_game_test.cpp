// The demo's stand-in game, run without a display: it reports where it was
// started from and what the settings file holds.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/program_run.h"
#include "tests/support/temp_machine.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

struct DemoGameTest : ::testing::Test {
    testing::CommandResult Start() {
        const fs::path game = machine.driveC() / "Games" / "Vornalux" / "vornalux.exe";
        fs::create_directories(game.parent_path());
        fs::copy_file(fs::path(VX_DIST_DIR) / "vornalux.exe", game);
        return testing::RunProgram(game, "", machine.machineFolder(), game.parent_path());
    }

    testing::TempMachine machine;
};

TEST_F(DemoGameTest, ReportsItsFolderAndEverySetting) {
    SystemServices& sys = machine.sys();
    ASSERT_TRUE(sys.WritePrivateProfileStringA("Installation", "Directory", "C:\\Games\\Vornalux",
                                               "vornalux.ini"));
    ASSERT_TRUE(sys.WritePrivateProfileStringA("Audio", "SoundFx", "1", "vornalux.ini"));
    ASSERT_TRUE(sys.WritePrivateProfileStringA("Audio", "CDMusic", "0", "vornalux.ini"));

    const testing::CommandResult run = Start();
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("Started from: C:\\Games\\Vornalux\\vornalux.exe"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("Current folder: C:\\Games\\Vornalux"), std::string::npos);
    EXPECT_NE(run.output.find("Machine: " + machine.machineFolder().string() + "\n"),
              std::string::npos);
    EXPECT_NE(run.output.find("  [Installation]\n    Directory=C:\\Games\\Vornalux\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("  [Audio]\n    SoundFx=1\n    CDMusic=0\n"), std::string::npos)
        << run.output;
}

TEST_F(DemoGameTest, SaysSoWhenThereAreNoSettings) {
    const testing::CommandResult run = Start();
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("(missing or empty: run the setup program first)"), std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("  ["), std::string::npos) << run.output;
}

}  // namespace
}  // namespace vx
