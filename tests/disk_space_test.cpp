#include "setup/disk_space.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/scripted/scripted_dialog_services.h"
#include "setup/paths.h"
#include "setup/procedures.h"
#include "tests/support/distribution.h"
#include "tests/support/temp_machine.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

// A tmpfs of a given size on a folder, in a mount namespace of this test
// process alone, so that no mount outlives it; gone again before the
// machine's folders are removed.
class SmallVolume {
public:
    SmallVolume(const fs::path& folder, const char* size) : folder_(folder) {
        static const bool privateMounts =
            unshare(CLONE_NEWNS) == 0 &&
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        fs::create_directories(folder);
        const std::string options = std::string("size=") + size;
        mounted_ = privateMounts && mount("none", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallVolume() {
        if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

private:
    fs::path folder_;
    bool mounted_ = false;
};

struct statvfs HostVolume(const fs::path& folder) {
    struct statvfs status {};
    statvfs(folder.c_str(), &status);
    return status;
}

PathBuffer Path(std::string_view text) {
    PathBuffer path;
    path.Assign(text);
    return path;
}

TEST(DiskSpace, StandInReadsTheVolumeOfTheNearestExistingFolder) {
    testing::TempMachine machine;
    SmallVolume games(machine.driveC() / "Games", "1m");
    if (!games.mounted()) GTEST_SKIP() << "mounts are not allowed here";
    testing::WriteFile(machine.driveC() / "Games" / "big", std::string(300 * 1024, 'x'));
    const struct statvfs host = HostVolume(machine.driveC() / "Games");
    SystemServices& sys = machine.sys();

    ULARGE_INTEGER available{}, total{}, free{};
    ASSERT_TRUE(sys.GetDiskFreeSpaceExA("C:\\Games\\Not\\Yet", &available, &total, &free));
    EXPECT_EQ(available.QuadPart, host.f_bavail * host.f_frsize);
    EXPECT_EQ(total.QuadPart, host.f_blocks * host.f_frsize);
    EXPECT_EQ(free.QuadPart, host.f_bfree * host.f_frsize);

    DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
    ASSERT_TRUE(sys.GetDiskFreeSpaceA("C:\\Games\\", &sectors, &bytes, &freeClusters, &clusters));
    EXPECT_EQ(std::uint64_t{sectors} * bytes, host.f_frsize);
    EXPECT_EQ(clusters, host.f_blocks);

    // A volume's root is where its file system is mounted, below a drive's root or at it.
    const struct {
        const char* path;
        const char* root;
    } roots[] = {{"C:\\Games\\Not\\Yet", "C:\\Games\\"},
                 {"c:/games/big", "c:\\games\\"},
                 {"C:\\windows\\system32", "C:\\"},
                 {"C:\\Games\\..\\Elsewhere", "C:\\"}};
    for (const auto& c : roots) {
        SCOPED_TRACE(c.path);
        char root[MAX_PATH] = {};
        ASSERT_TRUE(sys.GetVolumePathNameA(c.path, root, MAX_PATH));
        EXPECT_STREQ(root, c.root);
    }

    // A drive that does not map fails as on Windows.
    EXPECT_FALSE(sys.GetDiskFreeSpaceExA("Q:\\Games", &available, nullptr, nullptr));
    EXPECT_EQ(sys.GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
}

TEST(DiskSpace, NeedCountsWhatWillBeCopiedByVolume) {
    struct Expected {
        const char* folder;
        bool onSmallVolume;  // else on C:'s
        std::uint64_t units;
    };
    struct Case {
        const char* name;
        const char* target;
        std::function<void(testing::TempMachine&, std::uint64_t unit)> prepare;
        std::vector<Expected> needs;
    };
    using testing::TempMachine;
    // Each row may change the machine; `unit` is the small volume's allocation unit.
    const auto exeOf = [](std::uint64_t units, std::uint64_t extra) {
        return [=](TempMachine& m, std::uint64_t unit) {
            testing::WriteFile(m.distFolder() / "vornalux.exe",
                               std::string(units * unit + extra, 'x'));
        };
    };
    const Case cases[] = {
        {"libraries and game files on one volume",
         "C:\\Games\\Vornalux",
         nullptr,
         {{"C:\\windows\\system32", false, 7}}},
        {"another drive on C:'s file system",
         "E:\\Vornalux",
         nullptr,
         {{"C:\\windows\\system32", false, 7}}},
        {"rounded up to the allocation unit",
         "D:\\Vornalux",
         exeOf(1, 1),
         {{"C:\\windows\\system32", false, 2}, {"D:\\Vornalux", true, 6}}},
        {"whole units, on a drive whose root is inside the volume",
         "F:\\Vornalux",
         exeOf(3, 0),
         {{"C:\\windows\\system32", false, 2}, {"F:\\Vornalux", true, 7}}},
        {"a replaced file counts whole, not what it adds",
         "D:\\Vornalux",
         [&](TempMachine& m, std::uint64_t unit) {
             exeOf(3, 0)(m, unit);
             testing::WriteFile(m.root() / "small" / "Vornalux" / "vornalux.exe",
                                std::string(2 * unit, 'o'));
         },
         {{"C:\\windows\\system32", false, 2}, {"D:\\Vornalux", true, 7}}},
        {"a library that stays is not counted",
         "D:\\Vornalux",
         [](TempMachine& m, std::uint64_t) {
             testing::WriteFile(m.windowsFolder() / "system32" / "mfc42.dll", "theirs");
         },
         {{"C:\\windows\\system32", false, 1}, {"D:\\Vornalux", true, 5}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempMachine machine;
        SmallVolume small(machine.root() / "small", "4m");
        if (!small.mounted()) GTEST_SKIP() << "mounts are not allowed here";
        testing::FillDistribution(machine, false);
        machine.MapDrive('d', machine.root() / "small");
        machine.MapDrive('e', machine.root() / "elsewhere");
        machine.MapDrive('f', machine.root() / "small" / "F");
        if (c.prepare) c.prepare(machine, HostVolume(machine.root() / "small").f_frsize);
        PathBuffer source;
        TakeSourceDirectory(machine.sys(), source);

        const std::vector<VolumeNeed> needs =
            WorkOutInstallNeeds(machine.sys(), source, Path(c.target));
        ASSERT_EQ(needs.size(), c.needs.size());
        for (std::size_t i = 0; i < needs.size(); ++i) {
            const Expected& e = c.needs[i];
            const struct statvfs host =
                HostVolume(e.onSmallVolume ? machine.root() / "small" : machine.driveC());
            EXPECT_EQ(needs[i].folder.view(), e.folder);
            EXPECT_EQ(needs[i].clusterSize, host.f_frsize);
            EXPECT_EQ(needs[i].copiedBytes, e.units * host.f_frsize);
        }
    }
    EXPECT_EQ(WithMargin(2000000), 2000000 + 100000 + 64 * 1024);
}

struct ShortVolumeInstall : ::testing::Test {
    testing::TempMachine machine;
    SmallVolume small{machine.root() / "small", "256k"};
    ScriptedDialogServices dlg{machine.sys()};
    fs::path target = machine.root() / "small" / "Vornalux";

    void SetUp() override {
        if (!small.mounted()) GTEST_SKIP() << "mounts are not allowed here";
        testing::FillDistribution(machine);
        testing::WriteFile(machine.distFolder() / "vornalux.exe", std::string(1024 * 1024, 'x'));
        machine.MapDrive('d', machine.root() / "small");
    }
    bool Install() {
        PathBuffer source;
        TakeSourceDirectory(machine.sys(), source);
        const std::optional<CheckedDirectory> checked = ConfirmSetupDirectory(
            machine.sys(), dlg, Path("D:\\Vornalux"), SetupAction::Install, source);
        return checked && RunInstall(machine.sys(), dlg, *checked);
    }
};

TEST_F(ShortVolumeInstall, NoEndsTheInstallWithNothingWritten) {
    dlg.messageAnswers = {IDNO};
    EXPECT_FALSE(Install());  // the dialog stays open

    ASSERT_EQ(dlg.messages.size(), 1u);
    EXPECT_EQ(dlg.messages[0].caption, "Installation Error");
    EXPECT_EQ(dlg.messages[0].type, MB_YESNO | MB_DEFBUTTON2);
    EXPECT_EQ(dlg.messages[0].text,
              "There is not enough free space for Vornalux! on the disk holding D:\\Vornalux."
              "\n\nSpace needed: 1.2 MB\nSpace available: 0.2 MB\n\nInstall anyway?");
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(fs::is_empty(machine.windowsFolder() / "system32"));
    EXPECT_FALSE(fs::exists(machine.windowsFolder() / "SETUP.INI"));
    EXPECT_TRUE(dlg.statusTexts.empty());
    // The sound-card answer stays, as after a directory that cannot be made.
    EXPECT_EQ(testing::ReadFile(machine.windowsFolder() / "vornalux.ini").rfind("[Audio]", 0), 0u);
    EXPECT_EQ(testing::ReadFile(machine.windowsFolder() / "vornalux.ini").find("[Installation]"),
              std::string::npos);
}

TEST_F(ShortVolumeInstall, YesGoesOnAndReportsWhatDidNotFit) {
    dlg.messageAnswers = {IDYES};
    EXPECT_TRUE(Install());

    ASSERT_EQ(dlg.messages.size(), 2u);
    EXPECT_EQ(dlg.messages[1].caption, "Installation Error");
    EXPECT_NE(dlg.messages[1].text.find("D:\\Vornalux\\vornalux.exe"), std::string::npos);
    // Nothing half-written under a final name; what fitted is in place.
    EXPECT_FALSE(fs::exists(target / "vornalux.exe"));
    EXPECT_EQ(testing::ReadFile(target / "readme.txt"), testing::PlaceholderContent("readme.txt"));
    EXPECT_TRUE(fs::exists(machine.windowsFolder() / "system32" / "msvcrt.dll"));
}

}  // namespace
}  // namespace vx
