// The game's settings file as the setup program reads and writes it, on a
// real machine folder.
#include "setup/settings_file.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_machine.h"

namespace vx {
namespace {

using testing::ReadFile;
using testing::TempMachine;
using testing::WriteFile;

class SettingsFileTest : public ::testing::Test {
protected:
    std::filesystem::path settingsPath() const { return machine_.windowsFolder() / "vornalux.ini"; }
    void Store(const std::string& text) { WriteFile(settingsPath(), text); }

    TempMachine machine_;
    SettingsFile settings_{machine_.sys()};
};

TEST_F(SettingsFileTest, WithoutAFileTheDefaultsHold) {
    EXPECT_EQ(settings_.ReadDirectory(), "c:\\vornalux\\");
    EXPECT_FALSE(settings_.IsInstalled());
    EXPECT_FALSE(settings_.HasScreenSetting());
    EXPECT_FALSE(std::filesystem::exists(settingsPath())) << "reads must not create the file";
}

TEST_F(SettingsFileTest, OnlyAPositiveMarkerCountsAsInstalled) {
    const struct {
        const char* stored;
        bool installed;
    } cases[] = {{"0", false}, {"-1", false}, {"-7", false},  {"abc", false},
                 {"1", true},  {"2", true},   {"\"3\"", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        Store(std::string("[Installation]\r\nVornaluxInstalled=") + c.stored + "\r\n");
        EXPECT_EQ(settings_.IsInstalled(), c.installed);
    }
}

TEST_F(SettingsFileTest, ADirectoryOfTheFieldsFullLengthReadsBackWhole) {
    const std::string directory = "C:\\" + std::string(124, 'g') + "\\";
    ASSERT_EQ(directory.size(), 128u);
    ASSERT_TRUE(settings_.WriteInstallation(directory));
    EXPECT_EQ(settings_.ReadDirectory(), directory);

    // Stored by another program, in any case of section and key.
    Store("[installation]\r\ndirectory = D:\\Spiele\\Vornalux\\ \r\n");
    EXPECT_EQ(settings_.ReadDirectory(), "D:\\Spiele\\Vornalux\\");
}

TEST_F(SettingsFileTest, AnyPresentScreenWidthButMinusOneCounts) {
    const struct {
        const char* stored;  // nullptr: no such key
        bool has;
    } cases[] = {{nullptr, false}, {"-1", false}, {"414", true}, {"abc", true}, {"0", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "(absent)");
        Store(c.stored ? std::string("[ScreenMode]\r\nWindowWidth=") + c.stored + "\r\n"
                       : "[ScreenMode]\r\nWindowHeight=300\r\n");
        EXPECT_EQ(settings_.HasScreenSetting(), c.has);
    }
}

TEST_F(SettingsFileTest, TheInstallWritesLandInTheWindowsDirectory) {
    ASSERT_TRUE(settings_.WriteAudio("MIDIMusic", "0"));
    ASSERT_TRUE(settings_.WriteScreenSetting());
    ASSERT_TRUE(settings_.WriteInstallation("C:\\VORNALUX"));
    EXPECT_EQ(ReadFile(settingsPath()),
              "[Audio]\r\nMIDIMusic=0\r\n[ScreenMode]\r\nWindowWidth=414\r\n"
              "[Installation]\r\nVornaluxInstalled=1\r\nDirectory=C:\\VORNALUX\r\n");
    EXPECT_TRUE(settings_.IsInstalled());
    EXPECT_TRUE(settings_.HasScreenSetting());
    EXPECT_EQ(settings_.ReadDirectory(), "C:\\VORNALUX");

    // An earlier section is replaced whole and in place, its keys in order.
    Store("[Installation]\r\nDirectory=C:\\OLD\r\nVornaluxInstalled=0\r\n[Audio]\r\nSoundFx=1\r\n");
    ASSERT_TRUE(settings_.WriteInstallation("D:\\New"));
    EXPECT_EQ(ReadFile(settingsPath()),
              "[Installation]\r\nVornaluxInstalled=1\r\nDirectory=D:\\New\r\n[Audio]\r\n"
              "SoundFx=1\r\n");
}

}  // namespace
}  // namespace vx
