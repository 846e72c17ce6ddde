// The setup program on a machine without a display: the built program runs
// on a temporary machine with its dialogs drawn as text, driven by commands
// on its standard input.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "setup/paths.h"
#include "tests/support/distribution.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_machine.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using testing::ProgramRun;

class TerminalProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::FillDistribution(machine);
        fs::copy_file(fs::path(VX_DIST_DIR) / "install", machine.distFolder() / "install",
                      fs::copy_options::overwrite_existing);
    }

    // The distribution's copy of the program, with `input` on its standard
    // input; a program still waiting for input after the limit fails here.
    ProgramRun Start(const std::string& input) {
        return testing::RunProgram(machine.distFolder() / "install", input, machine.machineFolder(),
                                   machine.root());
    }

    fs::path Target() const { return machine.driveC() / "Games" / "Vornalux"; }

    int AudioKey(const char* key) {
        machine.Restart();
        return static_cast<int>(
            machine.sys().GetPrivateProfileIntA("Audio", key, -1, "vornalux.ini"));
    }

    testing::TempMachine machine;
};

TEST_F(TerminalProgramTest, InstallsIntoTheTypedFolder) {
    // The directory, Enter for "Install", "1" for "Yes!", Enter for the completion message.
    const ProgramRun run = Start("e C:\\Games\\Vornalux\n\n1\n\n");
    ASSERT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_NE(run.output.find("no display"), std::string::npos) << "the fallback is announced";
    EXPECT_NE(run.output.find("[x] Install Vornalux! 1.2 to:"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("\"c:\\vornalux\\\""), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Do you have a soundcard installed under Windows 95?"),
              std::string::npos);
    EXPECT_NE(run.output.find("Vornalux! installation complete."), std::string::npos) << run.output;

    for (const char* name : ProgramFiles) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(fs::exists(Target() / name));
        EXPECT_EQ(testing::ReadFile(Target() / name), testing::PlaceholderContent(name));
    }
    for (const char* name : SystemFiles)
        EXPECT_TRUE(fs::exists(machine.windowsFolder() / "system32" / name)) << name;
    EXPECT_EQ(AudioKey("SoundFx"), 1);
    EXPECT_EQ(AudioKey("MIDIMusic"), 0);
}

TEST_F(TerminalProgramTest, EndOfInputCancelsWithoutTouchingTheMachine) {
    const ProgramRun run = Start("");
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_NE(run.output.find("Vornalux! 1.2 Install/Unistall"), std::string::npos);
    EXPECT_FALSE(fs::exists(machine.windowsFolder() / "vornalux.ini"));
    EXPECT_FALSE(fs::exists(machine.driveC() / "vornalux"));
}

TEST_F(TerminalProgramTest, EndOfInputInTheSoundCardQuestionAnswersNo) {
    // Input ends while the sound-card dialog waits: "No!", then the
    // completion message is dismissed and the program ends.
    const ProgramRun run = Start("e C:\\Games\\Vornalux\n\n");
    ASSERT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_TRUE(fs::exists(Target() / "vornalux.exe")) << run.output;
    EXPECT_EQ(AudioKey("SoundFx"), 0);
    EXPECT_EQ(AudioKey("MIDIMusic"), 0);
}

TEST_F(TerminalProgramTest, BrowseAcceptsOnlyAnExistingFolder) {
    fs::create_directories(machine.driveC() / "Picked");
    // Browse (control 6), a folder that does not exist, then one that does;
    // an unknown command; then install, "No!" and the completion message.
    const ProgramRun run = Start("6\nC:\\Nowhere\nc:\\picked\nzap\n\n2\n\n");
    ASSERT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_NE(run.output.find("There is no folder 'C:\\Nowhere'."), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("\"c:\\picked\""), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Unknown command 'zap'"), std::string::npos);
    EXPECT_TRUE(fs::exists(machine.driveC() / "Picked" / "readme.txt")) << run.output;
    EXPECT_FALSE(fs::exists(machine.driveC() / "Nowhere"));
    EXPECT_EQ(AudioKey("CDMusic"), 0);
}

}  // namespace
}  // namespace vx
