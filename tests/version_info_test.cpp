#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/pe_builder.h"
#include "tests/support/temp_machine.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using testing::BuildPeLibrary;
using testing::PeLibraryOptions;
using testing::TempMachine;
using testing::VersionWord;
using testing::WriteFile;

constexpr const char* kLibrary = "C:\\windows\\system32\\test.dll";

// A new file each time: truncating one in place makes the file system flush
// it on close, which slows the loops below to a crawl.
void PlaceLibrary(TempMachine& m, std::string_view bytes) {
    const fs::path path = m.windowsFolder() / "system32" / "test.dll";
    fs::remove(path);
    WriteFile(path, bytes);
}

struct ReadVersion {
    DWORD size = 0;
    bool read = false;
    bool queried = false;
    VS_FIXEDFILEINFO fixed{};
};

// The three calls as the install uses them.
ReadVersion QueryVersion(SystemServices& sys, const char* path) {
    ReadVersion result;
    DWORD handle = 12345;
    result.size = sys.GetFileVersionInfoSizeA(path, &handle);
    EXPECT_EQ(handle, 0u);
    if (result.size == 0) return result;
    std::vector<unsigned char> block(result.size);
    result.read = sys.GetFileVersionInfoA(path, handle, result.size, block.data());
    if (!result.read) return result;
    void* value = nullptr;
    UINT length = 0;
    result.queried = sys.VerQueryValueA(block.data(), "\\", &value, &length);
    if (!result.queried) return result;
    EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_GE(static_cast<unsigned char*>(value), block.data());
    EXPECT_LE(static_cast<unsigned char*>(value) + length, block.data() + block.size());
    result.fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
    return result;
}

TEST(VersionInfo, ReadsTheFileVersionOfPe32AndPe32PlusLibraries) {
    TempMachine m;
    const struct {
        DWORD ms, ls;
        bool pe32Plus;
    } cases[] = {
        {VersionWord(1, 2), VersionWord(3, 4), false},
        {VersionWord(6, 0), VersionWord(8168, 0), true},
        {0xFFFFFFFF, 0xFFFFFFFE, false},
        {0, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << std::hex << c.ms << "." << c.ls << " pe32+ " << c.pe32Plus);
        PlaceLibrary(m, BuildPeLibrary({c.ms, c.ls, c.pe32Plus, true}));
        const ReadVersion v = QueryVersion(m.sys(), kLibrary);
        ASSERT_TRUE(v.queried);
        EXPECT_EQ(v.fixed.dwSignature, VS_FFI_SIGNATURE);
        EXPECT_EQ(v.fixed.dwFileVersionMS, c.ms);
        EXPECT_EQ(v.fixed.dwFileVersionLS, c.ls);
    }
    // The path is a Windows path like any other: any case, either separator.
    const ReadVersion v = QueryVersion(m.sys(), "c:/WINDOWS\\System32/TEST.DLL");
    EXPECT_TRUE(v.queried);
}

TEST(VersionInfo, FilesWithoutAVersionResourceGiveNoVersion) {
    TempMachine m;
    const fs::path system32 = m.windowsFolder() / "system32";
    PeLibraryOptions withoutVersion;
    withoutVersion.withVersionResource = false;
    WriteFile(system32 / "noversion.dll", BuildPeLibrary(withoutVersion));
    WriteFile(system32 / "text.dll", "This is not a library at all, just some text.\r\n");
    WriteFile(system32 / "empty.dll", "");
    WriteFile(system32 / "mz.dll", "MZ");
    fs::create_directories(system32 / "folder.dll");
    for (const char* path : {"C:\\windows\\system32\\noversion.dll",
                             "C:\\windows\\system32\\text.dll", "C:\\windows\\system32\\empty.dll",
                             "C:\\windows\\system32\\mz.dll", "C:\\windows\\system32\\folder.dll",
                             "C:\\windows\\system32\\missing.dll", "Q:\\unmapped.dll"}) {
        SCOPED_TRACE(path);
        const ReadVersion v = QueryVersion(m.sys(), path);
        EXPECT_EQ(v.size, 0u);
        std::vector<unsigned char> block(256);
        EXPECT_FALSE(m.sys().GetFileVersionInfoA(path, 0, block.size(), block.data()));
    }
}

TEST(VersionInfo, ACopyCutShortNeverReadsPastItself) {
    TempMachine m;
    PlaceLibrary(m, BuildPeLibrary({VersionWord(2, 5), VersionWord(0, 1), false, true}));
    DWORD handle = 0;
    const DWORD size = m.sys().GetFileVersionInfoSizeA(kLibrary, &handle);
    ASSERT_GT(size, 92u);
    // Room for the header and the key, but not the whole fixed information.
    const DWORD shortLength = 60;
    std::vector<unsigned char> block(size + 32, 0xAA);
    ASSERT_TRUE(m.sys().GetFileVersionInfoA(kLibrary, 0, shortLength, block.data()));
    for (std::size_t i = shortLength; i < block.size(); ++i) ASSERT_EQ(block[i], 0xAA) << i;
    void* value = nullptr;
    UINT length = 0;
    EXPECT_FALSE(m.sys().VerQueryValueA(block.data(), "\\", &value, &length));

    // A buffer larger than the block receives the block and no more.
    ASSERT_TRUE(m.sys().GetFileVersionInfoA(kLibrary, 0, block.size(), block.data()));
    for (std::size_t i = size; i < block.size(); ++i) ASSERT_EQ(block[i], 0xAA) << i;
    ASSERT_TRUE(m.sys().VerQueryValueA(block.data(), "\\", &value, &length));
    EXPECT_EQ(static_cast<const VS_FIXEDFILEINFO*>(value)->dwFileVersionMS, VersionWord(2, 5));
    EXPECT_FALSE(m.sys().VerQueryValueA(block.data(), "\\NoSuchBlock", &value, &length));
}

TEST(VersionInfo, EveryTruncationOfTheFileIsRefused) {
    TempMachine m;
    const std::string image = BuildPeLibrary({VersionWord(4, 1), VersionWord(7, 7), false, true});
    DWORD handle = 0;
    PlaceLibrary(m, image);
    const DWORD fullSize = m.sys().GetFileVersionInfoSizeA(kLibrary, &handle);
    ASSERT_GT(fullSize, 0u);
    // The block sits at the end of the resource data; the file may stop anywhere.
    std::size_t shortestWhole = image.size();
    for (std::size_t length = image.size(); length-- > 0;) {
        PlaceLibrary(m, image.substr(0, length));
        const DWORD size = m.sys().GetFileVersionInfoSizeA(kLibrary, &handle);
        if (size == 0) break;
        ASSERT_EQ(size, fullSize) << length;
        shortestWhole = length;
    }
    for (std::size_t length = 0; length < shortestWhole; ++length) {
        PlaceLibrary(m, image.substr(0, length));
        ASSERT_EQ(QueryVersion(m.sys(), kLibrary).size, 0u) << length;
    }
    // Only the zero padding after the block may go.
    EXPECT_EQ(image.find_first_not_of('\0', shortestWhole), std::string::npos);
}

TEST(VersionInfo, DamagedHeadersAndTablesStayInsideTheFile) {
    TempMachine m;
    const std::string image = BuildPeLibrary({VersionWord(3, 0), 0, false, true});
    const std::string image64 = BuildPeLibrary({VersionWord(3, 0), 0, true, true});
    const std::size_t used = image.find_last_not_of('\0') + 1;
    // The two differ only in their headers, which end at 0x200.
    for (const auto& [original, end] : {std::pair{&image, used}, std::pair{&image64, 0x200ul}}) {
        for (std::size_t offset = 0; offset < end; ++offset) {
            for (const unsigned char damage : {0xFF, 0x00, 0x7F}) {
                std::string damaged = *original;
                damaged[offset] = static_cast<char>(damage);
                PlaceLibrary(m, damaged);
                // Sanitizer builds catch any read outside the file or the block.
                const ReadVersion v = QueryVersion(m.sys(), kLibrary);
                ASSERT_LE(v.size, damaged.size()) << offset;
                if (v.size > 0) {
                    ASSERT_TRUE(v.read) << offset;
                }
                if (v.queried) {
                    ASSERT_EQ(v.fixed.dwSignature, VS_FFI_SIGNATURE) << offset;
                }
            }
        }
    }
    // A few targeted lies, each pointing far outside the file.
    const struct {
        std::size_t offset;
        const char* what;
    } lies[] = {{0x3C, "PE header offset"},
                {0x80 + 24 + 96 + 16, "resource directory RVA"},
                {0x200 + 0x4C, "version data size"},
                {0x200 + 0x48, "version data RVA"},
                {0x80 + 24 + 224 + 20, "section raw data offset"}};
    for (const auto& lie : lies) {
        SCOPED_TRACE(lie.what);
        std::string damaged = image;
        for (std::size_t i = 0; i < 4; ++i) damaged[lie.offset + i] = i == 3 ? '\x7F' : '\xF0';
        PlaceLibrary(m, damaged);
        EXPECT_EQ(QueryVersion(m.sys(), kLibrary).size, 0u);
    }
}

TEST(VersionInfo, TheDistributionLibrariesCarryTheirVersion) {
    const fs::path dist = VX_DIST_DIR;
    if (!fs::exists(dist / "msvcrt.dll") || !fs::exists(dist / "mfc42.dll"))
        GTEST_SKIP() << "the placeholder runtime libraries are not built in " << dist;
    TempMachine m;
    for (const char* name : {"msvcrt.dll", "mfc42.dll"}) {
        SCOPED_TRACE(name);
        fs::copy_file(dist / name, m.windowsFolder() / "system32" / name);
        const std::string path = std::string("C:\\windows\\system32\\") + name;
        const ReadVersion v = QueryVersion(m.sys(), path.c_str());
        ASSERT_TRUE(v.queried);
        EXPECT_EQ(v.fixed.dwFileVersionMS, VersionWord(6, 0));
        EXPECT_EQ(v.fixed.dwFileVersionLS, VersionWord(8168, 0));
    }
}

}  // namespace
}  // namespace vx
