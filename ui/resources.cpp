#include "ui/resources.h"

#include <cstdint>
#include <optional>

#include "ui/dialog_templates.h"
#include "ui/resource.h"
#include "ui/resource_data.h"

namespace vx {

namespace {

// A view of untrusted bytes whose reads fail instead of leaving the buffer.
class Bytes {
public:
    Bytes(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t size() const { return size_; }
    bool Has(std::uint64_t offset, std::uint64_t count) const {
        return offset <= size_ && count <= size_ - offset;
    }
    std::uint32_t U16(std::size_t offset) const {
        return static_cast<std::uint32_t>(data_[offset]) |
               static_cast<std::uint32_t>(data_[offset + 1]) << 8;
    }
    std::uint32_t U32(std::size_t offset) const { return U16(offset) | U16(offset + 2) << 16; }
    std::int32_t I32(std::size_t offset) const { return static_cast<std::int32_t>(U32(offset)); }
    unsigned char At(std::size_t offset) const { return data_[offset]; }
    Bytes Slice(std::size_t offset, std::size_t count) const {
        return Bytes(data_ + offset, count);
    }

private:
    const unsigned char* data_;
    std::size_t size_;
};

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::uint32_t kBiRgb = 0;
// Larger pictures are not resources of ours; the bound keeps sizes far from overflow.
constexpr std::int64_t kMaxSide = 16384;
// The dialog's face colour, what an icon's transparent pixels show.
constexpr unsigned char kFace[3] = {192, 192, 192};

struct InfoHeader {
    std::int64_t width;
    std::int64_t height;  // negative: rows stored top-down
    std::uint32_t bitCount;
    std::uint32_t compression;
    std::uint32_t colorsUsed;
    std::uint32_t headerSize;
};

std::optional<InfoHeader> ReadInfoHeader(const Bytes& b, std::size_t at) {
    if (!b.Has(at, kInfoHeaderSize)) return std::nullopt;
    InfoHeader h{b.I32(at + 4),  b.I32(at + 8),  b.U16(at + 14),
                 b.U32(at + 16), b.U32(at + 32), b.U32(at)};
    if (h.headerSize < kInfoHeaderSize || !b.Has(at, h.headerSize)) return std::nullopt;
    if (b.U16(at + 12) != 1 || h.compression != kBiRgb) return std::nullopt;
    if (h.width <= 0 || h.width > kMaxSide || h.height == 0 || h.height > kMaxSide ||
        h.height < -kMaxSide)
        return std::nullopt;
    return h;
}

// Bytes per stored row: rows are padded to four bytes.
std::uint64_t Stride(std::int64_t width, std::uint32_t bitCount) {
    return ((static_cast<std::uint64_t>(width) * bitCount + 31) / 32) * 4;
}

// Reads `count` palette entries (blue, green, red, unused) into rgb triples.
bool ReadPalette(const Bytes& b, std::uint64_t at, std::uint32_t count,
                 unsigned char (*palette)[3]) {
    if (!b.Has(at, std::uint64_t{count} * 4)) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = static_cast<std::size_t>(at) + i * 4;
        palette[i][0] = b.At(entry + 2);
        palette[i][1] = b.At(entry + 1);
        palette[i][2] = b.At(entry);
    }
    return true;
}

const Picture* LoadBanner() {
    static const std::optional<Picture> banner = [] {
        Picture picture;
        if (!DecodeBmp8(resource_data::kBannerBmp, resource_data::kBannerBmpSize, picture))
            return std::optional<Picture>();
        return std::optional<Picture>(std::move(picture));
    }();
    return banner ? &*banner : nullptr;
}

const Picture* LoadMainIcon() {
    static const std::optional<Picture> icon = [] {
        Picture picture;
        if (!DecodeIcon4(resource_data::kIconIco, resource_data::kIconIcoSize, 32, picture))
            return std::optional<Picture>();
        return std::optional<Picture>(std::move(picture));
    }();
    return icon ? &*icon : nullptr;
}

const Picture* LoadProgramImage(int id) {
    if (id == IDB_BANNER) return LoadBanner();
    if (id == IDR_MAINFRAME) return LoadMainIcon();
    return nullptr;
}

}  // namespace

AfxResources ProgramResources() { return {&FindDialogTemplate, &LoadProgramImage}; }

bool DecodeBmp8(const unsigned char* bytes, std::size_t size, Picture& picture) {
    if (bytes == nullptr) return false;
    const Bytes b(bytes, size);
    if (!b.Has(0, kFileHeaderSize) || b.At(0) != 'B' || b.At(1) != 'M') return false;
    const std::uint32_t pixelOffset = b.U32(10);
    const std::optional<InfoHeader> h = ReadInfoHeader(b, kFileHeaderSize);
    if (!h || h->bitCount != 8) return false;
    const std::uint32_t colors = h->colorsUsed == 0 ? 256 : h->colorsUsed;
    if (colors > 256) return false;

    unsigned char palette[256][3] = {};  // indices past the palette show black
    const std::uint64_t paletteAt = kFileHeaderSize + std::uint64_t{h->headerSize};
    if (!ReadPalette(b, paletteAt, colors, palette)) return false;
    if (pixelOffset < paletteAt + std::uint64_t{colors} * 4) return false;

    const std::uint64_t stride = Stride(h->width, 8);
    const std::int64_t rows = h->height < 0 ? -h->height : h->height;
    if (!b.Has(pixelOffset, stride * static_cast<std::uint64_t>(rows))) return false;

    Picture out;
    out.width = static_cast<int>(h->width);
    out.height = static_cast<int>(rows);
    out.rgb.resize(static_cast<std::size_t>(h->width * rows * 3));
    const bool bottomUp = h->height > 0;
    for (std::int64_t y = 0; y < rows; ++y) {
        const std::int64_t stored = bottomUp ? rows - 1 - y : y;
        const std::size_t row = pixelOffset + static_cast<std::size_t>(stored * stride);
        for (std::int64_t x = 0; x < h->width; ++x) {
            const unsigned char* rgb = palette[b.At(row + static_cast<std::size_t>(x))];
            const std::size_t to = static_cast<std::size_t>((y * h->width + x) * 3);
            out.rgb[to] = static_cast<char>(rgb[0]);
            out.rgb[to + 1] = static_cast<char>(rgb[1]);
            out.rgb[to + 2] = static_cast<char>(rgb[2]);
        }
    }
    picture = std::move(out);
    return true;
}

bool DecodeIcon4(const unsigned char* bytes, std::size_t size, int width, Picture& picture) {
    if (bytes == nullptr || width <= 0 || width > 256) return false;
    const Bytes file(bytes, size);
    if (!file.Has(0, 6) || file.U16(0) != 0 || file.U16(2) != 1) return false;
    const std::uint32_t count = file.U16(4);
    if (!file.Has(6, std::uint64_t{count} * 16)) return false;

    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = 6 + i * 16;
        // A width or height byte of 0 means 256.
        const int entryWidth = file.At(entry) == 0 ? 256 : file.At(entry);
        const int entryHeight = file.At(entry + 1) == 0 ? 256 : file.At(entry + 1);
        if (entryWidth != width || entryHeight != width) continue;
        const std::uint32_t imageSize = file.U32(entry + 8);
        const std::uint32_t imageOffset = file.U32(entry + 12);
        if (!file.Has(imageOffset, imageSize)) return false;
        const Bytes image = file.Slice(imageOffset, imageSize);

        // The image is a DIB without a file header: colours, then the AND mask,
        // so its header counts twice the icon's height.
        const std::optional<InfoHeader> h = ReadInfoHeader(image, 0);
        if (!h || h->bitCount != 4 || h->width != width || h->height != 2 * width) return false;
        const std::uint32_t colors = h->colorsUsed == 0 ? 16 : h->colorsUsed;
        if (colors > 16) return false;
        unsigned char palette[16][3] = {};
        if (!ReadPalette(image, h->headerSize, colors, palette)) return false;

        const std::uint64_t colourAt = std::uint64_t{h->headerSize} + colors * 4;
        const std::uint64_t colourStride = Stride(width, 4);
        const std::uint64_t maskAt = colourAt + colourStride * width;
        const std::uint64_t maskStride = Stride(width, 1);
        if (!image.Has(colourAt, colourStride * width) || !image.Has(maskAt, maskStride * width))
            return false;

        Picture out;
        out.width = width;
        out.height = width;
        out.rgb.resize(static_cast<std::size_t>(width) * width * 3);
        for (int y = 0; y < width; ++y) {
            const int stored = width - 1 - y;  // bottom-up
            const std::size_t colourRow =
                static_cast<std::size_t>(colourAt + stored * colourStride);
            const std::size_t maskRow = static_cast<std::size_t>(maskAt + stored * maskStride);
            for (int x = 0; x < width; ++x) {
                const unsigned char packed = image.At(colourRow + x / 2);
                const unsigned index = x % 2 == 0 ? packed >> 4 : packed & 0x0F;
                const bool keepsScreen = (image.At(maskRow + x / 8) & (0x80 >> (x % 8))) != 0;
                // As the screen draws it: the background kept through the mask, then the colour.
                const std::size_t to = (static_cast<std::size_t>(y) * width + x) * 3;
                for (int c = 0; c < 3; ++c)
                    out.rgb[to + c] =
                        static_cast<char>((keepsScreen ? kFace[c] : 0) ^ palette[index][c]);
            }
        }
        picture = std::move(out);
        return true;
    }
    return false;
}

}  // namespace vx
