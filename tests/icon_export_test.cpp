#include "platform/desktop/icon_export.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/image/image_decoding.h"
#include "tests/support/pe_builder.h"
#include "tests/support/temp_machine.h"

namespace vx {
namespace {

using testing::StoredIconImage;

void Put(std::string& out, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<char>(value >> (8 * i));
}

// A `size` x `size` icon DIB: red at the top left, the next pixel transparent
// through the mask (or with `alpha` its alpha), the third half transparent
// with `alpha`, white elsewhere. Indexed forms: white is entry 0, red entry 1.
std::string IconDib(int size, int bits, bool alpha = false) {
    const std::size_t colors = bits <= 8 ? std::size_t{1} << bits : 0;
    const std::size_t stride = (size * bits + 31) / 32 * 4;
    const std::size_t maskStride = (size + 31) / 32 * 4;
    const std::size_t colourAt = 40 + colors * 4;
    std::string out(colourAt + (stride + maskStride) * size, '\0');
    Put(out, 0, 40, 4);
    Put(out, 4, size, 4);
    Put(out, 8, 2 * size, 4);
    Put(out, 12, 1, 2);
    Put(out, 14, bits, 2);
    if (colors) {
        Put(out, 40, 0xFFFFFF, 4);
        Put(out, 44, 0xFF0000, 4);
    }
    for (int y = 0; y < size; ++y) {
        const std::size_t row = colourAt + (size - 1 - y) * stride;
        for (int x = 0; x < size; ++x) {
            const bool red = x == 0 && y == 0;
            if (bits <= 8) {
                if (red) out[row + x * bits / 8] |= static_cast<char>(1 << (8 - bits));
                continue;
            }
            const std::uint32_t bgr = red ? 0xFF0000 : 0xFFFFFF;
            Put(out, row + x * (bits / 8), bgr, 3);
            if (bits == 32 && alpha)
                out[row + x * 4 + 3] = static_cast<char>(y == 0 && x == 1   ? 0
                                                         : y == 0 && x == 2 ? 128
                                                                            : 255);
        }
    }
    out[colourAt + stride * size + (size - 1) * maskStride] = 0x40;  // (1, 0)
    return out;
}

std::string Rgba(const std::string& pixels, int size, int x, int y) {
    const std::size_t at = (static_cast<std::size_t>(y) * size + x) * 4;
    std::string out;
    for (int c = 0; c < 4; ++c)
        out += (c ? "," : "") + std::to_string(static_cast<unsigned char>(pixels[at + c]));
    return out;
}

// A PNG of `size` x `size` through libpng, the pattern of IconDib's with alpha.
std::string Png(int size) {
    std::string rgba(static_cast<std::size_t>(size) * size * 4, '\xFF');
    rgba[1] = rgba[2] = 0;
    rgba[7] = 0;
    rgba[11] = static_cast<char>(128);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = image.height = static_cast<png_uint_32>(size);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t bytes = 0;
    EXPECT_TRUE(png_image_write_get_memory_size(image, bytes, 0, rgba.data(), 0, nullptr));
    std::string out(bytes, '\0');
    EXPECT_TRUE(png_image_write_to_memory(&image, out.data(), &bytes, 0, rgba.data(), 0, nullptr));
    out.resize(bytes);
    return out;
}

struct Decoded {
    int width = 0;
    int height = 0;
    std::string rgba;
};
Decoded ReadPng(const std::string& png) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Decoded out;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return out;
    image.format = PNG_FORMAT_RGBA;
    std::string pixels(PNG_IMAGE_SIZE(image), '\0');
    if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        out = {static_cast<int>(image.width), static_cast<int>(image.height), pixels};
    png_image_free(&image);
    return out;
}

const unsigned char* Data(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

TEST(IconImageTest, DecodesEveryStoredForm) {
    const std::string png = Png(16);
    const struct {
        const char* what;
        std::string bytes;
        int bitCount;
        std::string third;  // the pixel at (2, 0)
    } cases[] = {
        {"1 bit", IconDib(16, 1), 1, "255,255,255,255"},
        {"4 bits", IconDib(16, 4), 4, "255,255,255,255"},
        {"8 bits", IconDib(16, 8), 8, "255,255,255,255"},
        {"24 bits", IconDib(16, 24), 24, "255,255,255,255"},
        {"32 bits, no alpha: the mask", IconDib(16, 32), 32, "255,255,255,255"},
        {"32 bits with alpha", IconDib(16, 32, true), 32, "255,255,255,128"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        IconImage image;
        ASSERT_TRUE(DecodeIconImage(Data(c.bytes), c.bytes.size(), 16, 16, image));
        EXPECT_FALSE(image.png);
        EXPECT_EQ(image.bitCount, c.bitCount);
        ASSERT_EQ(image.pixels.size(), 16u * 16u * 4u);
        EXPECT_EQ(Rgba(image.pixels, 16, 0, 0), "255,0,0,255");
        EXPECT_EQ(image.pixels[7], 0) << "the pixel at (1, 0) is transparent";
        EXPECT_EQ(Rgba(image.pixels, 16, 2, 0), c.third);
        EXPECT_EQ(Rgba(image.pixels, 16, 15, 15), "255,255,255,255");
        // Another size than the directory's, or one byte short of the mask.
        EXPECT_FALSE(DecodeIconImage(Data(c.bytes), c.bytes.size(), 32, 32, image));
        EXPECT_FALSE(DecodeIconImage(Data(c.bytes), c.bytes.size() - 1, 16, 16, image));
    }

    IconImage image;
    ASSERT_TRUE(DecodeIconImage(Data(png), png.size(), 16, 16, image));
    EXPECT_TRUE(image.png);
    EXPECT_EQ(image.pixels, png);
    EXPECT_EQ(image.bitCount, 32);
    EXPECT_FALSE(DecodeIconImage(Data(png), png.size(), 32, 32, image));
}

TEST(ProgramIconPngsTest, FromTheIconGroupOrTheIconFileBeside) {
    testing::TempMachine m;
    const auto folder = m.root();
    // The first group: two depths of 32 (the deeper wins), 16, and a PNG of 48;
    // a second group and an icon file beside are not looked at.
    const std::string png48 = Png(48);
    const std::vector<StoredIconImage> first = {
        {32, IconDib(32, 4)}, {16, IconDib(16, 8)}, {32, IconDib(32, 32, true)}, {48, png48}};
    testing::PeLibraryOptions options;
    options.resources = testing::IconGroupResources(first, 7, 1);
    for (auto& r : testing::IconGroupResources({{24, IconDib(24, 4)}}, 9, 20))
        options.resources.push_back(r);
    testing::WriteFile(folder / "game.exe", testing::BuildPeLibrary(options));
    testing::WriteFile(folder / "game.ico", testing::BuildIconFile({{64, IconDib(64, 4)}}));
    // A host program, its icon file named in other case.
    testing::WriteFile(folder / "Vornalux", "#!/bin/sh\n");
    testing::WriteFile(folder / "VORNALUX.ICO", testing::BuildIconFile({{16, IconDib(16, 1)}}));
    // Without an icon: a library without a group, a program with a FIFO beside.
    testing::WriteFile(folder / "plain.dll", testing::BuildPeLibrary());
    testing::WriteFile(folder / "piped", "#!/bin/sh\n");
    ASSERT_EQ(mkfifo((folder / "piped.ico").c_str(), 0600), 0);

    // Each PNG as read back: its size, then its pixels at (0, 0) and (2, 0).
    const std::string red = " 255,0,0,255";
    const std::string white = " 255,255,255,255", half = " 255,255,255,128";
    const struct {
        const char* program;
        std::vector<std::string> pngs;
    } cases[] = {
        {"game.exe", {"48x48" + red + half, "32x32" + red + half, "16x16" + red + white}},
        {"Vornalux", {"16x16" + red + white}},
        {"plain.dll", {}},
        {"piped", {}},
        {"missing", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        std::vector<std::string> pngs;
        for (const desktop::IconPng& png :
             desktop::ProgramIconPngs((folder / c.program).string())) {
            const Decoded d = ReadPng(png.png);
            std::string seen = std::to_string(d.width) + "x" + std::to_string(d.height);
            if (d.width == png.size && d.height == png.size)
                seen += " " + Rgba(d.rgba, d.width, 0, 0) + " " + Rgba(d.rgba, d.width, 2, 0);
            pngs.push_back(seen);
        }
        EXPECT_EQ(pngs, c.pngs);
    }
    EXPECT_EQ(desktop::ProgramIconPngs((folder / "game.exe").string())[0].png, png48);
}

}  // namespace
}  // namespace vx
