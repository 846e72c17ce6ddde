// The shortcut bytes, read field by field at the offsets the Shell Link
// format documents, independently of how the writer lays them out.
#include "platform/grpconv/shell_link.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace vx::grpconv {
namespace {

std::uint32_t U32(const std::string& b, std::size_t at) {
    EXPECT_LE(at + 4, b.size());
    if (at + 4 > b.size()) return 0;
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}

std::uint16_t U16(const std::string& b, std::size_t at) {
    EXPECT_LE(at + 2, b.size());
    if (at + 2 > b.size()) return 0;
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}

std::string CString(const std::string& b, std::size_t at) {
    const auto end = b.find('\0', at);
    EXPECT_NE(end, std::string::npos);
    return end == std::string::npos ? std::string() : b.substr(at, end - at);
}

TEST(ShellLinkBytes, HeaderFieldsSitWhereTheFormatPutsThem) {
    const auto bytes = ShellLinkBytes("C:\\GAMES\\VORNALUX\\VORNALUX.EXE", "C:\\GAMES\\VORNALUX");
    ASSERT_TRUE(bytes);
    const std::string& b = *bytes;
    ASSERT_GE(b.size(), 0x4Cu);

    EXPECT_EQ(U32(b, 0x00), 0x4Cu);  // HeaderSize
    // LinkCLSID 00021401-0000-0000-C000-000000000046: Data1..3 little-endian, Data4 as bytes.
    EXPECT_EQ(U32(b, 0x04), 0x00021401u);
    EXPECT_EQ(U16(b, 0x08), 0x0000);
    EXPECT_EQ(U16(b, 0x0A), 0x0000);
    EXPECT_EQ(b.substr(0x0C, 8), std::string("\xC0\0\0\0\0\0\0\x46", 8));

    const std::uint32_t flags = U32(b, 0x14);
    EXPECT_EQ(flags & 0x01, 0u) << "no LinkTargetIDList is written";
    EXPECT_NE(flags & 0x02, 0u) << "HasLinkInfo";
    EXPECT_NE(flags & 0x10, 0u) << "HasWorkingDir";
    EXPECT_NE(flags & 0x80, 0u) << "IsUnicode";
    EXPECT_EQ(flags & ~0x92u, 0u) << "no string or block the file does not hold";

    EXPECT_EQ(U32(b, 0x3C), 1u);  // ShowCommand SW_SHOWNORMAL
    EXPECT_EQ(U16(b, 0x40), 0);   // HotKey
    EXPECT_EQ(U16(b, 0x42), 0);   // Reserved1
    EXPECT_EQ(U32(b, 0x44), 0u);  // Reserved2
    EXPECT_EQ(U32(b, 0x48), 0u);  // Reserved3
}

TEST(ShellLinkBytes, LinkInfoNamesTheLocalPathOnAFixedDrive) {
    const std::string target = "C:\\PLAYAR~1\\LONGFO~1\\VORNALUX.EXE";
    const auto bytes = ShellLinkBytes(target, "C:\\PLAY AREA\\LONG FOLDER NAME");
    ASSERT_TRUE(bytes);
    const std::string& b = *bytes;

    const std::size_t info = 0x4C;  // no LinkTargetIDList: LinkInfo follows the header
    const std::uint32_t infoSize = U32(b, info);
    ASSERT_LE(info + infoSize, b.size());
    const std::uint32_t infoHeaderSize = U32(b, info + 4);
    EXPECT_TRUE(infoHeaderSize == 0x1C || infoHeaderSize >= 0x24);
    EXPECT_EQ(U32(b, info + 8) & 0x1, 1u) << "VolumeIDAndLocalBasePath";
    EXPECT_EQ(U32(b, info + 8) & 0x2, 0u) << "no CommonNetworkRelativeLink";
    EXPECT_EQ(U32(b, info + 0x14), 0u);

    const std::uint32_t volume = U32(b, info + 0x0C);
    ASSERT_LT(volume, infoSize);
    const std::uint32_t volumeSize = U32(b, info + volume);
    EXPECT_GT(volumeSize, 0x10u);
    EXPECT_LE(volume + volumeSize, infoSize);
    EXPECT_EQ(U32(b, info + volume + 4), 3u);  // DRIVE_FIXED
    EXPECT_EQ(U32(b, info + volume + 8), 0u);  // serial number
    const std::uint32_t label = U32(b, info + volume + 0x0C);
    ASSERT_LT(label, volumeSize);
    EXPECT_EQ(CString(b, info + volume + label), "");

    const std::uint32_t basePath = U32(b, info + 0x10);
    ASSERT_LT(basePath, infoSize);
    EXPECT_EQ(CString(b, info + basePath), target);
    const std::uint32_t suffix = U32(b, info + 0x18);
    ASSERT_LT(suffix, infoSize);
    EXPECT_EQ(CString(b, info + suffix), "");

    // StringData: only WORKING_DIR, a count of UTF-16 units and no terminator.
    const std::size_t strings = info + infoSize;
    const std::u16string expected = u"C:\\PLAY AREA\\LONG FOLDER NAME";
    ASSERT_EQ(U16(b, strings), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(U16(b, strings + 2 + 2 * i), expected[i]) << "unit " << i;

    // ExtraData ends in the terminal block, and the file with it.
    const std::size_t extra = strings + 2 + 2 * expected.size();
    EXPECT_EQ(U32(b, extra), 0u);
    EXPECT_EQ(b.size(), extra + 4);
}

TEST(ShellLinkBytes, WorkingDirectoryBeyondAsciiBecomesUtf16) {
    // "Ü" is one unit, "𝄞" (beyond the basic plane) a surrogate pair.
    const auto bytes = ShellLinkBytes("C:\\A.EXE", "C:\\\xC3\x9C\xF0\x9D\x84\x9E");
    ASSERT_TRUE(bytes);
    const std::size_t strings = 0x4C + U32(*bytes, 0x4C);
    ASSERT_EQ(U16(*bytes, strings), 6);
    const char16_t expected[] = {u'C', u':', u'\\', 0x00DC, 0xD834, 0xDD1E};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(U16(*bytes, strings + 2 + 2 * i), expected[i]);
}

TEST(ShellLinkBytes, NoWorkingDirectoryLeavesNoString) {
    const auto bytes = ShellLinkBytes("C:\\A.EXE", "");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(U32(*bytes, 0x14) & 0x10, 0u);
    const std::size_t end = 0x4C + U32(*bytes, 0x4C);
    EXPECT_EQ(bytes->size(), end + 4);
    EXPECT_EQ(U32(*bytes, end), 0u);
}

TEST(ShellLinkBytes, RefusesWhatTheFormatCannotHold) {
    const struct {
        const char* name;
        std::string target;
        std::string workingDir;
    } cases[] = {
        {"empty target", "", "C:\\"},
        {"zero byte in the target", std::string("C:\\A\0B.EXE", 10), "C:\\"},
        {"zero byte in the working directory", "C:\\A.EXE", std::string("C:\\\0", 4)},
        {"truncated UTF-8", "C:\\A.EXE", "C:\\\xC3"},
        {"overlong UTF-8", "C:\\A.EXE", "C:\\\xE0\x80\xAF"},
        {"encoded surrogate", "C:\\A.EXE", "C:\\\xED\xA0\x80"},
        {"working directory longer than a count holds", "C:\\A.EXE", std::string(0x10000, 'a')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(ShellLinkBytes(c.target, c.workingDir));
    }
    EXPECT_TRUE(ShellLinkBytes("C:\\A.EXE", std::string(0xFFFF, 'a')));
}

}  // namespace
}  // namespace vx::grpconv
