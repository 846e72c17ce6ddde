#include "ui/resources.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "ui/resource.h"
#include "ui/resource_data.h"

namespace vx {
namespace {

using ByteVector = std::vector<unsigned char>;

void Put16(ByteVector& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<unsigned char>(value);
    out[at + 1] = static_cast<unsigned char>(value >> 8);
}
void Put32(ByteVector& out, std::size_t at, std::uint32_t value) {
    Put16(out, at, value & 0xFFFF);
    Put16(out, at + 2, value >> 16);
}

// The pixel at (x, y), top row first, as "r,g,b".
std::string PixelAt(const Picture& p, int x, int y) {
    const std::size_t at = (static_cast<std::size_t>(y) * p.width + x) * 3;
    return std::to_string(static_cast<unsigned char>(p.rgb[at])) + "," +
           std::to_string(static_cast<unsigned char>(p.rgb[at + 1])) + "," +
           std::to_string(static_cast<unsigned char>(p.rgb[at + 2]));
}

// An 8-bit BMP whose pixel (x, y) (top row first) has index x + 10 * y, and
// whose palette entry i is (i, 2i, 3i) modulo 256.
ByteVector MakeBmp8(int width, int height, bool topDown) {
    const std::size_t stride = (static_cast<std::size_t>(width) + 3) & ~std::size_t{3};
    const std::size_t offset = 14 + 40 + 256 * 4;
    ByteVector out(offset + stride * height, 0);
    out[0] = 'B';
    out[1] = 'M';
    Put32(out, 2, static_cast<std::uint32_t>(out.size()));
    Put32(out, 10, offset);
    Put32(out, 14, 40);
    Put32(out, 18, width);
    Put32(out, 22, static_cast<std::uint32_t>(topDown ? -height : height));
    Put16(out, 26, 1);
    Put16(out, 28, 8);
    for (int i = 0; i < 256; ++i) {
        out[54 + i * 4] = static_cast<unsigned char>(3 * i);  // blue
        out[54 + i * 4 + 1] = static_cast<unsigned char>(2 * i);
        out[54 + i * 4 + 2] = static_cast<unsigned char>(i);  // red
    }
    for (int y = 0; y < height; ++y) {
        const int stored = topDown ? y : height - 1 - y;
        for (int x = 0; x < width; ++x)
            out[offset + stored * stride + x] = static_cast<unsigned char>(x + 10 * y);
    }
    return out;
}

// Decodes from a heap copy of exactly `size` bytes, so that a read past the
// end is caught by the sanitizers.
bool DecodeExactly(const ByteVector& bytes, std::size_t size, Picture& picture) {
    const ByteVector copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
    return DecodeBmp8(copy.empty() ? nullptr : copy.data(), copy.size(), picture);
}

TEST(ResourcesTest, EmbeddedBannerDecodesOnceTo256By96) {
    const AfxResources resources = ProgramResources();
    const Picture* banner = resources.loadImage(IDB_BANNER);
    ASSERT_NE(banner, nullptr);
    EXPECT_EQ(banner->width, 256);
    EXPECT_EQ(banner->height, 96);
    ASSERT_EQ(banner->rgb.size(), 256u * 96u * 3u);
    EXPECT_EQ(resources.loadImage(IDB_BANNER), banner);

    // A real picture, not one colour: a gradient, stars and lettering.
    std::set<std::string> colours;
    for (int y = 0; y < banner->height; y += 3)
        for (int x = 0; x < banner->width; x += 3) colours.insert(PixelAt(*banner, x, y));
    EXPECT_GT(colours.size(), 40u);
    // Its rounded corners show the dialog's face colour.
    EXPECT_EQ(PixelAt(*banner, 0, 0), "192,192,192");
    EXPECT_EQ(PixelAt(*banner, 255, 95), "192,192,192");
    EXPECT_EQ(resources.loadImage(IDD_INSTALL_DIALOG), nullptr);
}

TEST(ResourcesTest, BmpRowsComeOutTopRowFirstInBothStorageOrders) {
    for (const bool topDown : {false, true}) {
        SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
        // Width 5 makes every stored row carry three bytes of padding.
        const ByteVector bytes = MakeBmp8(5, 3, topDown);
        Picture picture;
        ASSERT_TRUE(DecodeBmp8(bytes.data(), bytes.size(), picture));
        EXPECT_EQ(picture.width, 5);
        EXPECT_EQ(picture.height, 3);
        EXPECT_EQ(PixelAt(picture, 0, 0), "0,0,0");
        EXPECT_EQ(PixelAt(picture, 4, 0), "4,8,12");
        EXPECT_EQ(PixelAt(picture, 1, 2), "21,42,63");
    }
}

TEST(ResourcesTest, EveryTruncationOfABmpIsRefused) {
    const ByteVector bytes = MakeBmp8(7, 4, false);
    Picture picture;
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        SCOPED_TRACE(size);
        EXPECT_FALSE(DecodeExactly(bytes, size, picture));
    }
    EXPECT_TRUE(DecodeExactly(bytes, bytes.size(), picture));
}

TEST(ResourcesTest, OtherFormsAndHostileFieldsAreRefused) {
    struct Case {
        const char* what;
        std::size_t at;
        int width;  // 2 or 4 bytes written at `at`
        std::uint32_t value;
    };
    const Case cases[] = {
        {"not BM", 0, 2, 0x4D43},
        {"24 bits per pixel", 28, 2, 24},
        {"4 bits per pixel", 28, 2, 4},
        {"run-length compressed", 30, 4, 1},
        {"bit fields", 30, 4, 3},
        {"two planes", 26, 2, 2},
        {"an OS/2 core header", 14, 4, 12},
        {"a header larger than the file", 14, 4, 0x7FFFFFF0},
        {"more than 256 colours", 46, 4, 257},
        {"pixels past the end", 10, 4, 0xFFFFFFF0},
        {"pixels inside the palette", 10, 4, 60},
        {"zero width", 18, 4, 0},
        {"negative width", 18, 4, static_cast<std::uint32_t>(-7)},
        {"huge width", 18, 4, 0x7FFFFFFF},
        {"zero height", 22, 4, 0},
        {"huge height", 22, 4, 0x7FFFFFFF},
        {"most negative height", 22, 4, 0x80000000},
        {"rows beyond the data", 22, 4, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ByteVector bytes = MakeBmp8(7, 4, false);
        if (c.width == 2)
            Put16(bytes, c.at, c.value);
        else
            Put32(bytes, c.at, c.value);
        Picture picture;
        picture.width = 99;
        EXPECT_FALSE(DecodeExactly(bytes, bytes.size(), picture));
        EXPECT_EQ(picture.width, 99) << "a refused picture must leave the output alone";
    }
}

TEST(ResourcesTest, ASmallPaletteLeavesHigherIndicesBlack) {
    ByteVector bytes = MakeBmp8(7, 4, false);
    Put32(bytes, 46, 4);  // four colours used; the pixel data still starts where it did
    Picture picture;
    ASSERT_TRUE(DecodeExactly(bytes, bytes.size(), picture));
    EXPECT_EQ(PixelAt(picture, 3, 0), "3,6,9");
    EXPECT_EQ(PixelAt(picture, 4, 0), "0,0,0");
}

// A one-image icon file: `width` x `width`, 4 bits per pixel, the VGA colour
// 9 (red) at the top left, colour 0 with the mask set (transparent) at the
// next pixel, and colour 15 (white) elsewhere with the mask clear.
ByteVector MakeIcon4(int width) {
    const std::size_t colourStride = ((width * 4 + 31) / 32) * 4;
    const std::size_t maskStride = ((width + 31) / 32) * 4;
    const std::size_t imageSize = 40 + 16 * 4 + (colourStride + maskStride) * width;
    ByteVector out(6 + 16 + imageSize, 0);
    Put16(out, 2, 1);
    Put16(out, 4, 1);
    out[6] = static_cast<unsigned char>(width);
    out[7] = static_cast<unsigned char>(width);
    out[8] = 16;
    Put16(out, 10, 1);
    Put16(out, 12, 4);
    Put32(out, 14, static_cast<std::uint32_t>(imageSize));
    Put32(out, 18, 22);
    const std::size_t image = 22;
    Put32(out, image, 40);
    Put32(out, image + 4, width);
    Put32(out, image + 8, 2 * width);
    Put16(out, image + 12, 1);
    Put16(out, image + 14, 4);
    const std::size_t palette = image + 40;
    out[palette + 9 * 4 + 2] = 255;  // red
    for (int c = 0; c < 3; ++c) out[palette + 15 * 4 + c] = 255;
    const std::size_t colours = palette + 64;
    const std::size_t mask = colours + colourStride * width;
    for (int y = 0; y < width; ++y) {
        const std::size_t row = colours + (width - 1 - y) * colourStride;
        for (std::size_t i = 0; i < colourStride; ++i) out[row + i] = 0xFF;
        if (y == 0) {
            out[row] = 0x90;  // red, then black
            out[mask + (width - 1) * maskStride] = 0x40;
        }
    }
    return out;
}

TEST(ResourcesTest, IconImagesDrawThroughTheirMasks) {
    const ByteVector bytes = MakeIcon4(8);
    Picture icon;
    ASSERT_TRUE(DecodeIcon4(bytes.data(), bytes.size(), 8, icon));
    EXPECT_EQ(icon.width, 8);
    EXPECT_EQ(icon.height, 8);
    EXPECT_EQ(PixelAt(icon, 0, 0), "255,0,0");
    EXPECT_EQ(PixelAt(icon, 1, 0), "192,192,192");
    EXPECT_EQ(PixelAt(icon, 2, 0), "255,255,255");
    EXPECT_EQ(PixelAt(icon, 1, 7), "255,255,255");
    EXPECT_FALSE(DecodeIcon4(bytes.data(), bytes.size(), 16, icon));

    for (std::size_t size = 0; size < bytes.size(); ++size) {
        SCOPED_TRACE(size);
        const ByteVector copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_FALSE(DecodeIcon4(copy.data(), copy.size(), 8, icon));
    }
}

TEST(ResourcesTest, EmbeddedIconHoldsBothSizes) {
    const AfxResources resources = ProgramResources();
    const Picture* icon = resources.loadImage(IDR_MAINFRAME);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->width, 32);
    EXPECT_EQ(icon->height, 32);
    EXPECT_EQ(icon->rgb.size(), 32u * 32u * 3u);
    // The corners lie outside the drawing: transparent through the mask.
    EXPECT_EQ(PixelAt(*icon, 31, 31), "192,192,192");
    EXPECT_NE(PixelAt(*icon, 16, 16), "192,192,192");

    Picture small;
    EXPECT_TRUE(DecodeIcon4(resource_data::kIconIco, resource_data::kIconIcoSize, 16, small));
    EXPECT_EQ(small.width, 16);
    EXPECT_FALSE(DecodeIcon4(resource_data::kIconIco, resource_data::kIconIcoSize, 48, small));
}

}  // namespace
}  // namespace vx
