// Profile reads and writes against the recorded behaviour of the Win32 calls:
// first on text alone, then on real files of a machine folder.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/profile_text.h"
#include "tests/support/temp_machine.h"
#include "tests/support/unprivileged.h"

namespace vx {
namespace {

using namespace std::string_view_literals;
using posix::ProfileDocument;
using testing::ReadFile;
using testing::TempMachine;
using testing::WriteFile;

constexpr char kFiller = '#';
constexpr std::size_t kBufferSize = 300;

// A read into a buffer pre-filled with "kumquat" and filler, as the Win32 tests do.
struct Read {
    DWORD ret;
    std::string bytes;  // as written, the terminator(s) included
};

Read ReadInto(const ProfileDocument& document, const char* section, const char* key,
              const char* defaultValue, DWORD size) {
    std::string buffer(kBufferSize, kFiller);
    buffer.replace(0, 8, "kumquat"sv.data(), 8);
    const DWORD ret = document.GetString(section, key, defaultValue, buffer.data(), size);
    // Nothing may be written past the size given.
    for (std::size_t i = std::max<std::size_t>(size, 8); i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], kFiller) << "byte " << i << " written past size " << size;
    return {ret, buffer};
}

std::string CrOnly(std::string text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        out += text[i] == '\n' ? '\r' : text[i];
    }
    return out;
}

// -------------------------------------------------------------------------
// Reads on text

TEST(ProfileText, StringReadsOfTheFirstFixtureWithCrLfAndCrOnlyLineEnds) {
    const std::string crlf =
        "[section1]\r\nname1=val1\r\nname2=\"val2\"\r\nname3\r\nname4=a\r\n[section2]\r\n";
    struct Case {
        const char* section;
        const char* key;
        const char* defaultValue;
        DWORD size;
        DWORD ret;
        std::string_view bytes;  // the buffer's start afterwards
    };
    const Case cases[] = {
        {"section1", "name1", "default", MAX_PATH, 4, "val1\0"sv},
        {"section1", "NaMe1", "default", MAX_PATH, 4, "val1\0"sv},
        {"SECTION1", "name1", "default", MAX_PATH, 4, "val1\0"sv},
        {" section1 ", " name1 ", "default", MAX_PATH, 4, "val1\0"sv},
        {"section1", "name2", "default", MAX_PATH, 4, "val2\0"sv},
        {"notasection", "name1", "default", MAX_PATH, 7, "default\0"sv},
        {"section1", "notakey", "default", MAX_PATH, 7, "default\0"sv},
        {"section1", "name3", "default", MAX_PATH, 7, "default\0"sv},
        {"", "name1", "default", MAX_PATH, 7, "default\0"sv},
        {"section1", "", "default", MAX_PATH, 7, "default\0"sv},
        {"section1", "notakey", nullptr, MAX_PATH, 0, "\0"sv},
        {"section1", "notakey", "", MAX_PATH, 0, "\0"sv},
        {"section1", "notakey", "default  ", MAX_PATH, 7, "default\0"sv},
        {"section1", "notakey", "one two  ", MAX_PATH, 7, "one two\0"sv},
        {"section1", "notakey", "one two", MAX_PATH, 7, "one two\0"sv},
        {nullptr, "name1", "default", MAX_PATH, 18, "section1\0section2\0\0"sv},
        {"section1", nullptr, "default", MAX_PATH, 18, "name1\0name2\0name4\0\0"sv},
        {"section2", nullptr, "default", MAX_PATH, 7, "default\0"sv},
        {"section1", "name1", "default", 0, 0, "kumquat\0"sv},
        {"section1", "name1", "default", 4, 3, "val\0"sv},
        {"section1", "name1", "default", 5, 4, "val1\0"sv},
        {"section1", "name2", "default", 4, 3, "val\0"sv},
        {"section1", "name4", "default", 1, 0, "\0umquat"sv},
        {"section1", "notakey", "default", 4, 3, "def\0"sv},
        {nullptr, nullptr, "default", 16, 14, "section1\0secti\0\0"sv},
        {"section1", nullptr, "default", 16, 14, "name1\0name2\0na\0\0"sv},
    };
    for (const std::string& text : {crlf, CrOnly(crlf)}) {
        const ProfileDocument document(text);
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message()
                         << (text == crlf ? "CRLF " : "CR ") << (c.section ? c.section : "NULL")
                         << "/" << (c.key ? c.key : "NULL") << " size " << c.size);
            const Read read = ReadInto(document, c.section, c.key, c.defaultValue, c.size);
            EXPECT_EQ(read.ret, c.ret);
            EXPECT_EQ(std::string_view(read.bytes).substr(0, c.bytes.size()), c.bytes);
        }
    }
}

TEST(ProfileText, SectionNameListsTrimAndTruncateKeepingADoubleZero) {
    const ProfileDocument document("[ section1 ]\r\n[section2]\r\n[section3]\r\n\0"sv);
    struct Case {
        DWORD size;
        DWORD ret;
        std::string_view bytes;
    };
    const Case cases[] = {
        {29, 27, "section1\0section2\0section3\0\0"sv},
        {28, 26, "section1\0section2\0section3\0\0"sv},  // exact fit counts as cut
        {27, 25, "section1\0section2\0section\0\0"sv},
        {10, 8, "section1\0\0"sv},
        {9, 7, "section\0\0"sv},
        {2, 0, "\0\0"sv},
        {1, 0, "\0umquat"sv},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "size " << c.size);
        const Read read = ReadInto(document, nullptr, nullptr, "default", c.size);
        EXPECT_EQ(read.ret, c.ret);
        EXPECT_EQ(std::string_view(read.bytes).substr(0, c.bytes.size()), c.bytes);
    }

    // No file: an empty list, one zero and nothing after it.
    const Read none = ReadInto(ProfileDocument(""), nullptr, nullptr, "default", 10);
    EXPECT_EQ(none.ret, 0u);
    EXPECT_EQ(none.bytes.substr(0, 3), "\0um"sv);
}

TEST(ProfileText, EmptyValuesTrailingZeroAndEmptyNames) {
    // The file written with its terminating zero byte.
    const std::string withZero =
        std::string("[s]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=val4\r\n\0"sv);
    const ProfileDocument document(withZero);
    Read read = ReadInto(document, "s", nullptr, "", MAX_PATH);
    EXPECT_EQ(read.ret, 18u);
    EXPECT_EQ(read.bytes.substr(0, 19), "name1\0name2\0name4\0\0"sv);
    // A present empty value is the value, not the default.
    read = ReadInto(document, "s", "name2", "default", MAX_PATH);
    EXPECT_EQ(read.ret, 0u);
    EXPECT_EQ(read.bytes[0], '\0');

    const std::optional<std::string> added = document.Write("s", "name5", "val5");
    ASSERT_TRUE(added);
    read = ReadInto(ProfileDocument(*added), "s", nullptr, "", MAX_PATH);
    EXPECT_EQ(read.ret, 24u);
    EXPECT_EQ(read.bytes.substr(0, 25), "name1\0name2\0name4\0name5\0\0"sv);

    // An empty section name matches "[]", an empty key a line "=value"; a
    // key before every header belongs to no section.
    const ProfileDocument names(
        "\r\nkey=val_no_section\r\n[]\r\nkey=val_e_section\r\n[s]\r\n=val_no_key\r\n[t]\r\n\0"sv);
    read = ReadInto(names, "", "key", "default", MAX_PATH);
    EXPECT_EQ(read.ret, 13u);
    EXPECT_EQ(read.bytes.substr(0, 14), "val_e_section\0"sv);
    read = ReadInto(names, "s", "", "default", MAX_PATH);
    EXPECT_EQ(read.ret, 10u);
    EXPECT_EQ(read.bytes.substr(0, 11), "val_no_key\0"sv);
}

TEST(ProfileText, LayoutRulesOfReads) {
    const ProfileDocument document(
        "[Test]\nProfileInt=123\n"
        "[Blanks]\n  spaced key \t=  spaced value  \nsingle='quoted'\nmixed=\"half'\n"
        "; comment=not a key\nlone=\"\n"
        "[Dup]\nk=first\nK=second\n[DUP]\nk=other section\n"
        "[Last]\nend=no line end"sv);
    struct Case {
        const char* section;
        const char* key;
        std::string_view value;
    };
    const Case cases[] = {
        {"Test", "ProfileInt", "123"},
        {"blanks", "Spaced Key", "spaced value"},
        {"Blanks", "single", "quoted"},
        {"Blanks", "mixed", "\"half'"},
        {"Blanks", "; comment", "default"},
        {"Blanks", "lone", "\""},
        {"dup", "k", "first"},
        {"Last", "end", "no line end"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.section << "/" << c.key);
        const Read read = ReadInto(document, c.section, c.key, "default", MAX_PATH);
        EXPECT_EQ(read.ret, c.value.size());
        EXPECT_EQ(std::string_view(read.bytes).substr(0, c.value.size() + 1),
                  std::string(c.value) + '\0');
    }
    const Read keys = ReadInto(document, "Blanks", nullptr, "", MAX_PATH);
    constexpr std::string_view expected = "spaced key\0single\0mixed\0lone\0\0"sv;
    EXPECT_EQ(keys.bytes.substr(0, expected.size()), expected);
}

TEST(ProfileText, DoubleByteNamesAreNotCaseFolded) {
    // Shift-JIS 0x83 0x41 and 0x83 0x61 are two different characters whose
    // trail bytes happen to be 'A' and 'a'.
    const std::string text = "[\x83\x41]\r\nk=upper\r\n[\x83\x61]\r\nk=lower\r\n";
    const ProfileDocument document(
        text, [](unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); });
    const Read read = ReadInto(document, "\x83\x61", "K", "default", MAX_PATH);
    EXPECT_EQ(read.bytes.substr(0, 6), "lower\0"sv);
}

TEST(ProfileText, IntReadsSignAndLeadingDigitsModulo2To32) {
    struct Case {
        const char* value;  // nullptr: no such key
        UINT expected;
    };
    const int defaultValue = 5;
    const Case cases[] = {
        {"-1", 0xFFFFFFFFu},
        {"1", 1},
        {"+1", 1},
        {"4294967296", 0},
        {"4294967297", 1},
        {"-4294967297", 0xFFFFFFFFu},
        {"42A94967297", 42},
        {"414abc", 414},
        {"B4294967297", 0},
        {"-", 0},
        {"abc", 0},
        {" 12 ", 12},
        {"\"77\"", 77},
        {"", defaultValue},
        {"\"\"", defaultValue},
        {nullptr, defaultValue},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(absent)");
        const std::string text =
            c.value ? std::string("[Test]\r\nProfileInt=") + c.value + "\r\n" : "[Test]\r\n";
        EXPECT_EQ(ProfileDocument(text).GetInt("test", "PROFILEINT", defaultValue), c.expected);
    }
    EXPECT_EQ(ProfileDocument("").GetInt("Test", "ProfileInt", -1), 0xFFFFFFFFu);
    EXPECT_EQ(ProfileDocument("").GetInt("Test", "ProfileInt", 1), 1u);
    EXPECT_EQ(ProfileDocument("").GetInt(nullptr, "ProfileInt", 70), 70u);
    EXPECT_EQ(ProfileDocument("").GetInt("Test", nullptr, 70), 70u);
    EXPECT_EQ(ProfileDocument("[Other]\r\n").GetInt("Test", "ProfileInt", 70), 70u);
}

// -------------------------------------------------------------------------
// Writes on text

std::string Apply(std::string text, const char* section, const char* key, const char* value) {
    const std::optional<std::string> updated = ProfileDocument(text).Write(section, key, value);
    EXPECT_TRUE(updated) << "write refused";
    return updated ? *updated : text;
}

TEST(ProfileText, WritesBuildAndEditFilesByteForByte) {
    EXPECT_EQ(Apply("", "App", "key", ""), "[App]\r\nkey=\r\n");

    std::string built;
    built = Apply(built, "App1", "key1", "string1");
    built = Apply(built, "App1", "key2", "string2");
    built = Apply(built, "App1", "key3", "string3");
    built = Apply(built, "App2", "key4", "string4");
    built = Apply(built, "App3", "key5", "string5");
    const std::string w3 =
        "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n[App2]\r\nkey4=string4\r\n"
        "[App3]\r\nkey5=string5\r\n";
    EXPECT_EQ(built, w3);

    // A rewritten key keeps one line with the newest value.
    std::string rewritten = w3;
    for (int i = 0; i < 25; ++i)
        rewritten = Apply(rewritten, "App2", "key4", std::to_string(i).c_str());
    EXPECT_EQ(rewritten,
              "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n[App2]\r\nkey4=24\r\n"
              "[App3]\r\nkey5=string5\r\n");

    const std::string withoutKey2 =
        "[App1]\r\nkey1=string1\r\nkey3=string3\r\n[App2]\r\nkey4=string4\r\n"
        "[App3]\r\nkey5=string5\r\n";
    EXPECT_EQ(Apply(w3, "App1", "key2", nullptr), withoutKey2);
    EXPECT_EQ(Apply(withoutKey2, "App1", "key2", nullptr), withoutKey2);

    EXPECT_EQ(Apply(w3, "App1", nullptr, "string1"),
              "[App2]\r\nkey4=string4\r\n[App3]\r\nkey5=string5\r\n");
    EXPECT_EQ(Apply(w3, "app2", nullptr, nullptr),
              "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n"
              "[App3]\r\nkey5=string5\r\n");
    EXPECT_EQ(Apply("[App3]\r\nkey5=string5\r\n", "App3", "key5", nullptr), "[App3]\r\n");

    // Deleting from a file that lacks them changes nothing (an absent file
    // is left as an empty one).
    EXPECT_EQ(Apply("", "App", nullptr, "string"), "");
    EXPECT_EQ(Apply("", "App", "key", nullptr), "");

    EXPECT_FALSE(ProfileDocument(w3).Write(nullptr, "key", "string"));

    // Junk before the first section and no line end at the end: kept verbatim.
    const std::string junk("Data \0 before \0 first \0 section"sv);
    ASSERT_EQ(junk.size(), 31u);
    const std::string extended = Apply(junk, "section1", "key1", "string1");
    EXPECT_EQ(extended, junk + "\r\n[section1]\r\nkey1=string1\r\n");
    EXPECT_EQ(extended.size(), 59u);

    // A section name only in the file counts; an empty one is written as "[]".
    EXPECT_EQ(Apply("", "", "key", "string"), "[]\r\nkey=string\r\n");
}

TEST(ProfileText, AnEditChangesOnlyItsOwnLine) {
    const std::string original =
        "; settings\n"
        "\n"
        "[ScreenMode]\r\n"
        "WindowWidth = 414   \r\n"
        "  Name = \"old value\"\r\n"
        "junk line\r\n"
        "Last=9\r\n"
        "\r\n"
        "; trailing comment\r\n"
        "[Audio]\r"
        "CDMusic=1\r"
        "[Tail]\n"
        "end=x";
    struct Case {
        const char* section;
        const char* key;
        const char* value;
        std::string expected;
    };
    auto replaced = [&](std::string_view from, std::string_view to) {
        std::string text = original;
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos);
        text.replace(at, from.size(), to);
        return text;
    };
    const Case cases[] = {
        // The key keeps its spelling and place; only its value changes.
        {"screenmode", "NAME", "new", replaced(" \"old value\"\r\n", "new\r\n")},
        {"ScreenMode", "WindowWidth", "-1", replaced(" 414   \r\n", "-1\r\n")},
        {"Audio", "cdmusic", "0", replaced("CDMusic=1\r", "CDMusic=0\r")},
        {"Tail", "end", "y", replaced("end=x", "end=y")},
        // A new key follows the section's last key, whatever comes after it.
        {"ScreenMode", "Added", "1", replaced("Last=9\r\n", "Last=9\r\nAdded=1\r\n")},
        {"Audio", "SoundFx", "1", replaced("CDMusic=1\r", "CDMusic=1\rSoundFx=1\r\n")},
        {"Tail", "more", "z", original + "\r\nmore=z\r\n"},
        {"New", "k", "v", original + "\r\n[New]\r\nk=v\r\n"},
        // Deleting a key removes its line with its line end.
        {"ScreenMode", "name", nullptr, replaced("  Name = \"old value\"\r\n", "")},
        {"Audio", nullptr, nullptr, replaced("[Audio]\rCDMusic=1\r", "")},
        {"ScreenMode", "junk line", "v", replaced("Last=9\r\n", "Last=9\r\njunk line=v\r\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.section << "/" << (c.key ? c.key : "NULL") << "="
                                          << (c.value ? c.value : "NULL"));
        EXPECT_EQ(Apply(original, c.section, c.key, c.value), c.expected);
    }
}

TEST(ProfileText, TheFirstOfDuplicateSectionsAndKeysIsEdited) {
    const std::string text = "[A]\r\nk=1\r\nk=2\r\n[a]\r\nk=3\r\n";
    EXPECT_EQ(Apply(text, "a", "K", "9"), "[A]\r\nk=9\r\nk=2\r\n[a]\r\nk=3\r\n");
    EXPECT_EQ(Apply(text, "a", "new", "9"), "[A]\r\nk=1\r\nk=2\r\nnew=9\r\n[a]\r\nk=3\r\n");
}

TEST(ProfileText, LineEndsInsideNamesOrValuesAreRefused) {
    const ProfileDocument document("[App]\r\nkey=1\r\n");
    EXPECT_FALSE(document.Write("App", "key", "1\r\n[Injected]"));
    EXPECT_FALSE(document.Write("App", "k\ney", "1"));
    EXPECT_FALSE(document.Write("A\rpp", "key", "1"));
}

// -------------------------------------------------------------------------
// Real files

std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ProfileFiles, ABareNameMeansTheWindowsDirectory) {
    TempMachine machine;
    auto& sys = machine.sys();
    EXPECT_TRUE(sys.WritePrivateProfileStringA("App", "key", "string", "win1.tmp"));
    EXPECT_EQ(ReadFile(machine.windowsFolder() / "win1.tmp"), "[App]\r\nkey=string\r\n");

    char buffer[MAX_PATH];
    EXPECT_EQ(sys.GetPrivateProfileStringA("app", "KEY", "default", buffer, sizeof buffer,
                                           "C:\\WINDOWS\\WIN1.TMP"),
              6u);
    EXPECT_STREQ(buffer, "string");

    // A copy in the current folder is not what a bare name finds.
    const std::filesystem::path before = std::filesystem::current_path();
    WriteFile(machine.distFolder() / "cwd.ini", "[s]\r\nk=cwd\r\n");
    std::filesystem::current_path(machine.distFolder());
    EXPECT_EQ(sys.GetPrivateProfileStringA("s", "k", "default", buffer, sizeof buffer, "cwd.ini"),
              7u);
    EXPECT_STREQ(buffer, "default");
    EXPECT_EQ(
        sys.GetPrivateProfileStringA("s", "k", "default", buffer, sizeof buffer, ".\\cwd.ini"), 3u);
    EXPECT_STREQ(buffer, "cwd");
    std::filesystem::current_path(before);

    // Missing file or empty name: the default; an empty name cannot be written.
    EXPECT_EQ(
        sys.GetPrivateProfileStringA("s", "k", "default", buffer, sizeof buffer, "nonexistent"),
        7u);
    EXPECT_EQ(sys.GetPrivateProfileStringA("s", "k", "default", buffer, sizeof buffer, ""), 7u);
    EXPECT_EQ(sys.GetPrivateProfileIntA("s", "k", 33, "nonexistent"), 33u);
    EXPECT_FALSE(sys.WritePrivateProfileStringA("s", "k", "v", ""));
    EXPECT_FALSE(sys.WritePrivateProfileStringA(nullptr, "k", "v", "nosection.ini"));
    EXPECT_FALSE(std::filesystem::exists(machine.windowsFolder() / "nosection.ini"));
}

TEST(ProfileFiles, WritesEditTheExistingFileWhateverTheCaseOfItsName) {
    TempMachine machine;
    auto& sys = machine.sys();
    const auto settings = machine.windowsFolder() / "vornalux.ini";
    const std::string original = "[Installation]\nDirectory=C:\\Games\\\n\n[Audio]\nCDMusic=1\n";
    WriteFile(settings, original);
    chmod(settings.c_str(), 0640);

    EXPECT_TRUE(sys.WritePrivateProfileStringA("installation", "VornaluxInstalled", "1",
                                               "C:\\Windows\\VORNALUX.INI"));
    EXPECT_EQ(
        ReadFile(settings),
        "[Installation]\nDirectory=C:\\Games\\\nVornaluxInstalled=1\r\n\n[Audio]\nCDMusic=1\n");
    EXPECT_EQ(sys.GetPrivateProfileIntA("INSTALLATION", "vornaluxinstalled", 0, "vornalux.ini"),
              1u);

    // Replaced, not rewritten in place: the mode stays, no stray files remain.
    struct stat status {};
    ASSERT_EQ(stat(settings.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    const auto entries = FolderEntries(machine.windowsFolder());
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const std::string& n) { return n.rfind("vornalux", 0) == 0; }),
              1);

    // Deleting from a missing file leaves an empty file, as Windows does.
    EXPECT_TRUE(sys.WritePrivateProfileStringA("App", "key", nullptr, "empty.ini"));
    EXPECT_EQ(ReadFile(machine.windowsFolder() / "empty.ini"), "");
}

TEST(ProfileFiles, AWriteThroughALinkEditsTheLinkedFile) {
    TempMachine machine;
    const auto real = machine.root() / "elsewhere.ini";
    WriteFile(real, "[A]\r\nk=1\r\n");
    const auto link = machine.windowsFolder() / "linked.ini";
    std::filesystem::create_symlink(real, link);
    EXPECT_TRUE(machine.sys().WritePrivateProfileStringA("A", "k", "2", "linked.ini"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(real), "[A]\r\nk=2\r\n");
}

TEST(ProfileFiles, AReadOnlySettingsFileRefusesWritesEvenForRoot) {
    TempMachine machine;
    const auto settings = machine.windowsFolder() / "vornalux.ini";
    const std::string original = "[Installation]\r\nVornaluxInstalled=1\r\n";
    WriteFile(settings, original);
    chmod(settings.c_str(), 0444);
    EXPECT_FALSE(machine.sys().WritePrivateProfileStringA("Installation", "VornaluxInstalled", "0",
                                                          "vornalux.ini"));
    EXPECT_FALSE(machine.sys().WritePrivateProfileStringA("Audio", "SoundFx", "1", "vornalux.ini"));
    EXPECT_EQ(ReadFile(settings), original);
    // Reading it still works.
    EXPECT_EQ(
        machine.sys().GetPrivateProfileIntA("Installation", "VornaluxInstalled", 0, "vornalux.ini"),
        1u);
}

TEST(ProfileFiles, AFullDiskLeavesTheSettingsFileWhole) {
    TempMachine machine;
    const auto settings = machine.windowsFolder() / "vornalux.ini";
    const std::string original =
        "[Installation]\r\nVornaluxInstalled=1\r\nDirectory=C:\\vornalux\\\r\n[Audio]\r\n"
        "CDMusic=1\r\n";
    WriteFile(settings, original);
    const std::string longDirectory = "C:\\" + std::string(200, 'd');
    const std::size_t limit = original.size() + 100;
    // The new content cannot be written whole under the limit; the old can.
    ASSERT_GT(original.size() - std::strlen("C:\\vornalux\\") + longDirectory.size(), limit);

    const int result = testing::RunWithFileSizeLimit(limit, [&] {
        return machine.sys().WritePrivateProfileStringA("Installation", "Directory",
                                                        longDirectory.c_str(), "vornalux.ini")
                   ? 1
                   : 0;
    });
    EXPECT_EQ(result, 0) << "the write must report the failure";
    EXPECT_EQ(ReadFile(settings), original);
    const auto entries = FolderEntries(machine.windowsFolder());
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const std::string& n) { return n.rfind("vornalux", 0) == 0; }),
              1)
        << "the temporary file must be removed";

    // Within the limit the same write goes through.
    const int fits = testing::RunWithFileSizeLimit(original.size() + 1000, [&] {
        return machine.sys().WritePrivateProfileStringA("Installation", "Directory",
                                                        longDirectory.c_str(), "vornalux.ini")
                   ? 1
                   : 0;
    });
    EXPECT_EQ(fits, 1);
    char buffer[MAX_PATH];
    machine.sys().GetPrivateProfileStringA("Installation", "Directory", "", buffer, sizeof buffer,
                                           "vornalux.ini");
    EXPECT_EQ(buffer, longDirectory);
}

TEST(ProfileFiles, AReadOnlyFolderRefusesWritesAndGainsNothing) {
    if (!testing::CanDropPrivileges()) GTEST_SKIP() << "needs root to switch to another user";
    TempMachine machine;
    const auto locked = machine.driveC() / "locked";
    std::filesystem::create_directories(locked);
    ASSERT_EQ(chown(locked.c_str(), 0, 0), 0);
    ASSERT_EQ(chmod(locked.c_str(), 0755), 0);
    const std::string original = "[A]\r\nk=1\r\n";
    WriteFile(locked / "existing.ini", original);

    const int result = testing::RunAsUnprivileged([&] {
        auto& sys = machine.sys();
        const bool created = sys.WritePrivateProfileStringA("A", "k", "v", "C:\\locked\\new.ini");
        const bool edited =
            sys.WritePrivateProfileStringA("A", "k", "2", "C:\\locked\\existing.ini");
        char buffer[16];
        // Reading is still allowed.
        sys.GetPrivateProfileStringA("A", "k", "", buffer, sizeof buffer,
                                     "C:\\locked\\existing.ini");
        return (created ? 1 : 0) | (edited ? 2 : 0) | (std::string_view(buffer) == "1" ? 0 : 4);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(FolderEntries(locked), std::vector<std::string>{"existing.ini"});
    EXPECT_EQ(ReadFile(locked / "existing.ini"), original);
}

}  // namespace
}  // namespace vx
