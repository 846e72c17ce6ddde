#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/scripted/scripted_dialog_services.h"
#include "setup/shell_files.h"
#include "tests/support/scoped_state.h"
#include "tests/support/temp_machine.h"
#include "tests/support/unprivileged.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempMachine;
using testing::WriteFile;

constexpr WORD kQuiet = FOF_SILENT | FOF_NOCONFIRMATION;

// A one-entry path list as the setup program builds it.
std::string List(std::string_view path) {
    std::string list(path);
    list.push_back('\0');
    list.push_back('\0');
    return list;
}

std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

bool IsReadOnly(const fs::path& path) {
    const fs::perms write =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    return (fs::status(path).permissions() & write) == fs::perms::none;
}

class FileOperationTest : public ::testing::Test {
protected:
    int Run(UINT func, std::string_view from, const char* to, WORD flags, bool owned = true) {
        const std::string list = List(from);
        request = ShellRequest(owned ? dlg.GetSafeHwnd() : unowned, func, list.c_str(), to, flags);
        return tm.sys().SHFileOperationA(&request);
    }
    int Copy(std::string_view from, const std::string& to, WORD flags = kQuiet, bool owned = true) {
        return Run(FO_COPY, from, to.c_str(), flags, owned);
    }
    int Delete(std::string_view path, WORD flags = kQuiet, bool owned = true) {
        return Run(FO_DELETE, path, nullptr, flags, owned);
    }
    fs::path C(const std::string& relative) const { return tm.driveC() / relative; }

    TempMachine tm;
    ScriptedDialogServices dlg{tm.sys()};
    FileOperationRequest request;
    HWND unowned = nullptr;  // the handle a request names when the dialog does not own it
};

TEST_F(FileOperationTest, CopyCreatesMissingFoldersOnlyWhenAllowed) {
    WriteFile(C("src.txt"), "game data");
    EXPECT_EQ(Copy("C:\\src.txt", "C:\\Games\\New\\Deep\\x.txt"), 0);
    EXPECT_EQ(ReadFile(C("Games/New/Deep/x.txt")), "game data");
    EXPECT_TRUE(dlg.questions.empty());

    // Flags 0: the folder is made only once the user agrees.
    dlg.confirmationAnswers = {false};
    EXPECT_EQ(Copy("C:\\src.txt", "C:\\Other\\x.txt", 0), ERROR_CANCELLED);
    EXPECT_TRUE(request.fAnyOperationsAborted);
    EXPECT_FALSE(fs::exists(C("Other")));
    ASSERT_EQ(dlg.questions.size(), 1u);
    EXPECT_EQ(dlg.questions[0],
              "The folder 'C:\\Other' does not exist.  Do you want to create it?");

    // Nobody to ask is no yes.
    EXPECT_NE(Copy("C:\\src.txt", "C:\\Other\\x.txt", 0, false), 0);
    EXPECT_FALSE(fs::exists(C("Other")));
    // Nor is a handle that names no live dialog: one closed since, or none ever.
    HWND closed = nullptr;
    {
        ScriptedDialogServices gone{tm.sys()};
        closed = gone.GetSafeHwnd();
    }
    for (HWND stale : {closed, reinterpret_cast<HWND>(&request)}) {
        unowned = stale;
        EXPECT_NE(Copy("C:\\src.txt", "C:\\Other\\x.txt", 0, false), 0);
        EXPECT_FALSE(fs::exists(C("Other")));
    }
    unowned = nullptr;

    dlg.confirmationAnswers = {true};
    EXPECT_EQ(Copy("C:\\src.txt", "C:\\Other\\x.txt", 0), 0);
    EXPECT_FALSE(request.fAnyOperationsAborted);
    EXPECT_EQ(ReadFile(C("Other/x.txt")), "game data");

    // An existing folder as destination keeps the file's own name.
    EXPECT_EQ(Copy("C:\\src.txt", "c:/games"), 0);
    EXPECT_EQ(ReadFile(C("Games/src.txt")), "game data");
}

TEST_F(FileOperationTest, CopyReplacesAnExistingFileOnlyWhenAllowed) {
    WriteFile(C("src.txt"), "new");
    WriteFile(C("Games/x.txt"), "old");

    dlg.confirmationAnswers = {false};
    EXPECT_EQ(Copy("C:\\src.txt", "C:\\Games\\x.txt", 0), ERROR_CANCELLED);
    EXPECT_TRUE(request.fAnyOperationsAborted);
    EXPECT_EQ(ReadFile(C("Games/x.txt")), "old");

    dlg.confirmationAnswers = {true};
    EXPECT_EQ(Copy("C:\\src.txt", "C:\\Games\\x.txt", 0), 0);
    EXPECT_EQ(ReadFile(C("Games/x.txt")), "new");
    EXPECT_EQ(dlg.questions,
              std::vector<std::string>(
                  2, "'C:\\Games\\x.txt' already exists.  Do you want to replace it?"));

    WriteFile(C("src.txt"), "newer");
    EXPECT_EQ(Copy("C:\\src.txt", "C:\\GAMES\\X.TXT"), 0);
    EXPECT_EQ(ReadFile(C("Games/x.txt")), "newer");
    EXPECT_EQ(Entries(C("Games")), std::vector<std::string>{"x.txt"});
}

TEST_F(FileOperationTest, ReadOnlyTravelsWithTheCopyAndNeverBlocksIt) {
    WriteFile(C("ro.txt"), "locked");
    fs::permissions(C("ro.txt"), fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(Copy("C:\\ro.txt", "C:\\Games\\ro.txt"), 0);
    EXPECT_TRUE(IsReadOnly(C("Games/ro.txt")));

    // Onto the read-only copy, as an ordinary user (root ignores permission bits).
    WriteFile(C("src.txt"), "fresh");
    if (!testing::CanDropPrivileges()) GTEST_SKIP() << "needs root to switch to an ordinary user";
    ASSERT_EQ(chown(C("Games").c_str(), 65534, 65534), 0);
    const int result =
        testing::RunAsUnprivileged([&] { return Copy("C:\\src.txt", "C:\\Games\\ro.txt"); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFile(C("Games/ro.txt")), "fresh");
    EXPECT_FALSE(IsReadOnly(C("Games/ro.txt")));
}

TEST_F(FileOperationTest, CopyOntoItselfFailsAndLeavesTheFile) {
    WriteFile(C("Games/x.txt"), "precious");
    fs::create_hard_link(C("Games/x.txt"), C("Games/hard.txt"));
    for (const char* target : {"C:\\Games\\x.txt", "c:/GAMES/X.TXT", "C:\\Games\\.\\x.txt",
                               "C:\\Games\\hard.txt", "C:\\Games"}) {
        SCOPED_TRACE(target);
        EXPECT_EQ(Copy("C:\\Games\\x.txt", target), DE_SAMEFILE);
        EXPECT_EQ(ReadFile(C("Games/x.txt")), "precious");
        EXPECT_EQ(Entries(C("Games")), (std::vector<std::string>{"hard.txt", "x.txt"}));
    }
}

TEST_F(FileOperationTest, MissingSourceCreatesNothing) {
    EXPECT_NE(Copy("C:\\missing.txt", "C:\\Games\\New\\x.txt"), 0);
    EXPECT_FALSE(fs::exists(C("Games")));
}

TEST_F(FileOperationTest, InvalidRequestsAreRefused) {
    WriteFile(C("a.txt"), "a");
    WriteFile(C("b.txt"), "b");
    const std::string unterminated(400, 'a');
    const std::string tooLong = "C:\\" + std::string(MAX_PATH, 'a') + std::string(2, '\0');
    struct Case {
        const char* name;
        UINT func;
        std::string from;  // the whole list, its zeros included
        const char* to;
    };
    const Case cases[] = {
        {"two entries to delete", FO_DELETE, std::string("C:\\a.txt\0C:\\b.txt\0\0", 19), nullptr},
        {"two entries to copy", FO_COPY, std::string("C:\\a.txt\0C:\\b.txt\0\0", 19), "C:\\c.txt"},
        {"not double-terminated", FO_DELETE, unterminated, nullptr},
        {"garbage behind the entry", FO_DELETE, std::string("C:\\a.txt\0", 9) + unterminated,
         nullptr},
        {"entry longer than MAX_PATH", FO_DELETE, tooLong, nullptr},
        {"empty list", FO_DELETE, std::string(2, '\0'), nullptr},
        {"wildcard source", FO_DELETE, List("C:\\?.txt"), nullptr},
        {"wildcard source copy", FO_COPY, List("C:\\*.txt"), "C:\\c.txt"},
        {"wildcard target", FO_COPY, List("C:\\a.txt"), "C:\\*.txt"},
        {"unmapped drive", FO_DELETE, List("Q:\\a.txt"), nullptr},
        {"unmapped target drive", FO_COPY, List("C:\\a.txt"), "Q:\\c.txt"},
        {"no target", FO_COPY, List("C:\\a.txt"), nullptr},
        {"empty target", FO_COPY, List("C:\\a.txt"), ""},
        {"wFunc 0", 0, List("C:\\a.txt"), nullptr},
        {"move", 1, List("C:\\a.txt"), "C:\\c.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileOperationRequest r =
            ShellRequest(dlg.GetSafeHwnd(), c.func, c.from.c_str(), c.to, kQuiet);
        EXPECT_NE(tm.sys().SHFileOperationA(&r), 0);
        EXPECT_EQ(Entries(tm.driveC()), (std::vector<std::string>{"a.txt", "b.txt", "windows"}));
    }
    EXPECT_EQ(Run(0, "C:\\a.txt", nullptr, kQuiet), ERROR_INVALID_PARAMETER);
    EXPECT_NE(tm.sys().SHFileOperationA(nullptr), 0);

    // The longest list the limit allows: 259 characters and both zeros.
    const std::string longest = "C:\\" + std::string(200, 'd') + "\\" + std::string(55, 'f');
    ASSERT_EQ(longest.size(), MAX_PATH - 1);
    WriteFile(C(std::string(200, 'd') + "/" + std::string(55, 'f')), "x");
    EXPECT_EQ(Delete(longest), 0);
    EXPECT_FALSE(fs::exists(C(std::string(200, 'd') + "/" + std::string(55, 'f'))));
}

TEST_F(FileOperationTest, InterruptedCopyNeverLeavesAPartialFile) {
    WriteFile(C("big.bin"), std::string(1 << 20, 'n'));
    for (const bool replacing : {false, true}) {
        SCOPED_TRACE(replacing ? "replacing" : "new");
        if (replacing) WriteFile(C("Games/big.bin"), "old content");
        fs::create_directories(C("Games"));
        const int failed = testing::RunWithFileSizeLimit(
            64 << 10, [&] { return Copy("C:\\big.bin", "C:\\Games\\big.bin") != 0 ? 1 : 0; });
        EXPECT_EQ(failed, 1);
        if (replacing) {
            EXPECT_EQ(ReadFile(C("Games/big.bin")), "old content");
            EXPECT_EQ(Entries(C("Games")), std::vector<std::string>{"big.bin"});
        } else {
            EXPECT_TRUE(Entries(C("Games")).empty());
        }
    }
}

TEST_F(FileOperationTest, LargeCopyShowsProgressUnlessSilent) {
    WriteFile(C("big.bin"), std::string(5 << 20, 'p'));
    EXPECT_EQ(Copy("C:\\big.bin", "C:\\quiet.bin"), 0);
    EXPECT_EQ(dlg.progressWindows, 0);
    EXPECT_EQ(Copy("C:\\big.bin", "C:\\shown.bin", FOF_NOCONFIRMATION), 0);
    EXPECT_EQ(dlg.progressWindows, 1);
    EXPECT_EQ(ReadFile(C("shown.bin")), ReadFile(C("big.bin")));
}

// A copy over several writeback windows keeps every byte in place, by the
// kernel's copy on one file system and by reads and writes from another
// (a drive in memory, where the host has one).
TEST_F(FileOperationTest, LargeCopyKeepsEveryByteWithinAndAcrossFileSystems) {
    std::string bytes(80 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    std::optional<TempMachine> memory;
    if (std::error_code ec; fs::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0) {
        const testing::ScopedEnvironment inMemory("TMPDIR", "/dev/shm");
        memory.emplace();
        tm.MapDrive('d', memory->driveC());
    }
    WriteFile(C("big.bin"), bytes);
    if (memory) WriteFile(memory->driveC() / "big.bin", bytes);
    for (const char* source : {"C:\\big.bin", "D:\\big.bin"}) {
        SCOPED_TRACE(source);
        if (!memory && source[0] == 'D') continue;
        EXPECT_EQ(Copy(source, "C:\\Games\\copy.bin"), 0);
        EXPECT_TRUE(ReadFile(C("Games/copy.bin")) == bytes);
        fs::remove(C("Games/copy.bin"));
    }
}

TEST_F(FileOperationTest, DeleteRemovesFilesAndWholeFolders) {
    WriteFile(C("Games/x.txt"), "x");
    WriteFile(C("Games/Sub/Deeper/y.txt"), "y");
    fs::permissions(C("Games/Sub/Deeper/y.txt"), fs::perms::owner_read);
    WriteFile(C("keep.txt"), "k");

    EXPECT_EQ(Delete("C:\\GAMES\\X.TXT"), 0);
    EXPECT_FALSE(fs::exists(C("Games/x.txt")));
    EXPECT_EQ(Delete("C:\\Games"), 0);
    EXPECT_FALSE(fs::exists(C("Games")));
    EXPECT_TRUE(fs::exists(C("keep.txt")));
    EXPECT_EQ(Delete("C:\\Games"), ERROR_FILE_NOT_FOUND);
    EXPECT_NE(Delete("C:\\Nowhere\\x.txt"), 0);
    EXPECT_NE(Delete("C:\\"), 0);
    EXPECT_TRUE(fs::exists(C("keep.txt")));
    EXPECT_TRUE(dlg.questions.empty());
}

TEST_F(FileOperationTest, DeleteAsksFirstWithoutNoConfirmation) {
    WriteFile(C("Games/x.txt"), "x");
    dlg.confirmationAnswers = {false, false};
    EXPECT_EQ(Delete("C:\\Games", 0), ERROR_CANCELLED);
    EXPECT_TRUE(request.fAnyOperationsAborted);
    EXPECT_EQ(Delete("C:\\Games\\x.txt", 0), ERROR_CANCELLED);
    EXPECT_NE(Delete("C:\\Games", 0, false), 0);
    EXPECT_EQ(ReadFile(C("Games/x.txt")), "x");
    EXPECT_EQ(dlg.questions,
              (std::vector<std::string>{
                  "Are you sure you want to delete the folder 'C:\\Games' and all of its contents?",
                  "Are you sure you want to delete 'C:\\Games\\x.txt'?"}));

    dlg.confirmationAnswers = {true};
    EXPECT_EQ(Delete("C:\\Games", 0), 0);
    EXPECT_FALSE(request.fAnyOperationsAborted);
    EXPECT_FALSE(fs::exists(C("Games")));
}

TEST_F(FileOperationTest, DeleteNeverFollowsALink) {
    const fs::path outside = tm.root() / "outside";
    WriteFile(outside / "a.txt", "a");
    WriteFile(outside / "sub/b.txt", "b");
    WriteFile(C("Games/x.txt"), "x");
    fs::create_directory_symlink(outside, C("Games/linked"));
    fs::create_symlink(outside / "a.txt", C("Games/file-link"));
    fs::create_directory_symlink(outside, C("Top"));

    EXPECT_EQ(Delete("C:\\Games"), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(C("Games"))));
    EXPECT_EQ(Delete("C:\\Top"), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(C("Top"))));
    EXPECT_EQ(ReadFile(outside / "a.txt"), "a");
    EXPECT_EQ(ReadFile(outside / "sub/b.txt"), "b");
    EXPECT_EQ(Entries(outside), (std::vector<std::string>{"a.txt", "sub"}));
}

// A tree deeper than any path string, with a file at every level.
void MakeDeepTree(const fs::path& top, int depth) {
    fs::create_directories(top);
    int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < depth && fd >= 0; ++level) {
        close(openat(fd, "f", O_WRONLY | O_CREAT, 0444));
        mkdirat(fd, "d", 0755);
        const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
    }
    ASSERT_GE(fd, 0);
    close(fd);
}

TEST_F(FileOperationTest, DeepTreeIsDeletedWithFewDescriptors) {
    MakeDeepTree(C("Deep"), 2000);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit few = saved;
    few.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &few), 0);
    const int result = Delete("C:\\Deep");
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(fs::exists(C("Deep")));
}

// Mounts something inside the tree in a private mount namespace of a child
// and deletes the tree there; exit 77 when mounts are not allowed here.
int DeleteAcrossMount(const fs::path& mountPoint, const char* source, const char* type,
                      unsigned long flags, const std::function<int()>& body) {
    const auto mountInside = [&] {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(source, mountPoint.c_str(), type, flags, nullptr) != 0)
            _exit(77);
    };
    return testing::RunInChild(mountInside, body);
}

TEST_F(FileOperationTest, DeleteStopsAtAMountPoint) {
    const fs::path outside = tm.root() / "outside";
    WriteFile(outside / "a.txt", "a");
    struct Case {
        const char* name;
        const char* source;
        const char* type;
        unsigned long flags;
    };
    const std::string outsideText = outside.string();
    const Case cases[] = {{"other file system", "none", "tmpfs", 0},
                          {"bind mount of the same one", outsideText.c_str(), nullptr, MS_BIND}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(C("Games/Sub/x.txt"), "x");
        fs::create_directories(C("Games/Sub/mnt"));
        const int result = DeleteAcrossMount(C("Games/Sub/mnt"), c.source, c.type, c.flags, [&] {
            WriteFile(C("Games/Sub/mnt/inside.txt"), "i");
            if (Delete("C:\\Games") == 0) return 1;
            if (!fs::exists(C("Games/Sub/mnt/inside.txt"))) return 2;
            return 0;
        });
        if (result == 77) GTEST_SKIP() << "mounts are not allowed here";
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(fs::exists(C("Games/Sub/mnt")));
    }
    EXPECT_EQ(ReadFile(outside / "a.txt"), "a");
}

}  // namespace
}  // namespace vx
