#include "platform/posix/short_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/temp_machine.h"

namespace vx::posix {
namespace {

TEST(ShortNames, RecognisesNamesThatAlreadyAre83) {
    const struct {
        const char* name;
        bool valid;
    } cases[] = {
        {"VORNALUX.EXE", true},
        {"pathtest.pth", true},
        {"A", true},
        {"README", true},
        {"a.b", true},
        {"ABC~1.TXT", true},
        {"{x}$!#%&.@^`", true},
        {"NINECHARS", false},
        {"A.BCDE", false},
        {"A.B.C", false},
        {".profile", false},
        {"A.", false},
        {"HAS SPACE", false},
        {"A+B", false},
        {"A,B", false},
        {"A;B", false},
        {"A=B", false},
        {"A[B]", false},
        {"", false},
        {"..", false},
        {"caf\xc3\xa9", false},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        EXPECT_EQ(IsValidShortName(item.name), item.valid);
    }
}

TEST(ShortNames, GeneratesTheClassicForm) {
    const struct {
        const char* name;
        const char* shortName;
    } cases[] = {
        {"Long File test.path", "LONGFI~1.PAT"},
        {"Long Directory", "LONGDI~1"},
        {"pathtest.pth", "pathtest.pth"},  // its own short name, as spelled
        {"my.archive.name.tar.gz", "MYARCH~1.GZ"},
        {"a+b,c;d=e[f]g.txt", "A_B_C_~1.TXT"},
        {"a.bcde", "A~1.BCD"},
        {".profile", "PROFIL~1"},
        {"caf\xc3\xa9 menu.doc", "CAF_ME~1.DOC"},
        {"   .txt", "TXT~1"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        EXPECT_EQ(ShortNamesOf({item.name}).at(item.name), item.shortName);
    }
}

TEST(ShortNames, NumbersCollisionsInNameOrder) {
    const auto names = ShortNamesOf({"Long File B.txt", "Long File A.txt", "Long File C.text"});
    EXPECT_EQ(names.at("Long File A.txt"), "LONGFI~1.TXT");
    EXPECT_EQ(names.at("Long File B.txt"), "LONGFI~2.TXT");
    // Another extension is another name: no collision.
    EXPECT_EQ(names.at("Long File C.text"), "LONGFI~1.TEX");
}

TEST(ShortNames, NeverTakesTheNameOfAnExistingEntry) {
    // "longfi~1.txt" sorts after the long name but is its own short name.
    const auto names = ShortNamesOf({"Long File.txt", "longfi~1.txt"});
    EXPECT_EQ(names.at("longfi~1.txt"), "longfi~1.txt");
    EXPECT_EQ(names.at("Long File.txt"), "LONGFI~2.TXT");
}

TEST(ShortNames, ShortensTheBaseOncePastNine) {
    std::vector<std::string> input;
    for (char c = 'a'; c <= 'l'; ++c) input.push_back(std::string("Long File ") + c + ".txt");
    const auto names = ShortNamesOf(input);
    EXPECT_EQ(names.at("Long File i.txt"), "LONGFI~9.TXT");
    EXPECT_EQ(names.at("Long File j.txt"), "LONGF~10.TXT");
    EXPECT_EQ(names.at("Long File l.txt"), "LONGF~12.TXT");
}

TEST(ShortNames, ReadsTheEntriesOfAHostFolder) {
    testing::TempMachine temp;
    const auto folder = temp.root() / "listing";
    for (const char* name : {"Long File test.path", "Long File test.pathology", "SHORT.TXT"})
        testing::WriteFile(folder / name, "");
    std::filesystem::create_directories(folder / "Long Directory");
    const auto names = ShortNamesOfFolder(folder.string());
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names.at("Long Directory"), "LONGDI~1");
    EXPECT_EQ(names.at("Long File test.path"), "LONGFI~1.PAT");
    EXPECT_EQ(names.at("Long File test.pathology"), "LONGFI~2.PAT");
    EXPECT_EQ(names.at("SHORT.TXT"), "SHORT.TXT");
    EXPECT_TRUE(ShortNamesOfFolder((temp.root() / "missing").string()).empty());
}

}  // namespace
}  // namespace vx::posix
